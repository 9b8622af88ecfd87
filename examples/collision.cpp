// Pixel-exact collision between turned and scaled sprites: a ship that follows the mouse (or
// moves with the arrow keys) and turns with Z and X, against three spinning rocks. A rock that
// shares a visible pixel with the ship turns red; their boxes overlapping is not enough.
// Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-collision (the pictures lie in assets/examples).
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <cmath>
#include <cstdlib>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Collision.h"
#include "vex2d/Image.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"
#include "vex2d/Vex2DDriver.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

struct Sprite {
  float x, y, angle, scale;
};

Ref<TImage> LoadCentred(const char* path) {
  const Ref<TImage> image = LoadImage(path, ImgFiltered);
  if (!image) throw TRuntimeException(String("Unable to load ") + path);
  CentreImageHandle(image);
  return image;
}

void RunExample() {
  // Set-up.
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  SetBlendMode(BlendAlpha);
  SetClearColor(20, 24, 36);
  const Ref<TImage> shipImage = LoadCentred("assets/examples/ship.png");
  const Ref<TImage> rockImage = LoadCentred("assets/examples/rock.png");
  Sprite ship{kWidth / 2.0f, kHeight - 80.0f, -90, 1.5f};
  Sprite rocks[3] = {{160, 180, 0, 1.0f}, {330, 200, 40, 1.8f}, {500, 170, 80, 1.3f}};
  int32_t lastPointerX = PointerX();
  int32_t lastPointerY = PointerY();

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // Update: the pointer moves the ship when it moves; keys move and turn it.
    if (PointerX() != lastPointerX || PointerY() != lastPointerY) {
      lastPointerX = PointerX();
      lastPointerY = PointerY();
      ship.x = static_cast<float>(lastPointerX);
      ship.y = static_cast<float>(lastPointerY);
    }
    ship.x += 3.0f * static_cast<float>(IsKeyDown(KEY_RIGHT) - IsKeyDown(KEY_LEFT));
    ship.y += 3.0f * static_cast<float>(IsKeyDown(KEY_DOWN) - IsKeyDown(KEY_UP));
    ship.angle += 3.0f * static_cast<float>(IsKeyDown('X') - IsKeyDown('Z'));
    for (int32_t i = 0; i < 3; ++i) rocks[i].angle += 0.5f * static_cast<float>(i + 1);

    // Draw: every rock, red when it touches the ship, then the ship.
    ClearScreen();
    int32_t hits = 0;
    for (const Sprite& rock : rocks) {
      // [docs:collide]
      // Both sprites as they are drawn: position, frame, rotation and scale of each.
      const bool hit =
          ImagesCollideTransformed(shipImage, ship.x, ship.y, 0, ship.angle, ship.scale, ship.scale,
                                   rockImage, rock.x, rock.y, 0, rock.angle, rock.scale, rock.scale) != 0;
      // [/docs:collide]
      hits += hit ? 1 : 0;
      if (hit) {
        SetDrawColor(255, 80, 80);
      } else {
        SetDrawColor(255, 255, 255);
      }
      SetTransform(rock.angle, rock.scale, rock.scale);
      DrawImage(rockImage, rock.x, rock.y);
    }
    SetDrawColor(255, 255, 255);
    SetTransform(ship.angle, ship.scale, ship.scale);
    DrawImage(shipImage, ship.x, ship.y);
    SetTransform(0, 1, 1);
    DrawText("Mouse or arrows move, Z and X turn, Escape quits", 8, 8);
    DrawText(String("Rocks touched: ") + String::FromInt(hits), 8, 26);
    FlipPage(-1);
  }

  // Clean-up.
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
