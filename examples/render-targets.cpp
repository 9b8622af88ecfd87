// Render images: the scene is drawn once into a render image, which then goes on screen twice,
// full size and as a minimap in the corner; a sprite's soft glow is made once by drawing it
// spread out into a small render image. Arrow keys move the ship; Escape or closing the window
// quits.
//
// Run: build/release/examples/corvex-example-render-targets (the pictures lie in
// assets/examples beside it). With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by
// itself after N frames.
#include <cmath>
#include <cstdlib>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Image.h"
#include "vex2d/RenderTarget.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"
#include "vex2d/Vex2DDriver.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

Ref<TImage> Load(const char* path, int32_t flags) {
  const Ref<TImage> image = LoadImage(path, flags);
  if (!image) throw TRuntimeException(String("Unable to load ") + path);
  return image;
}

// [docs:make-glow]
// The sprite drawn 25 times, spread out, faint and added together: a blurred copy to draw
// under it. Made once; the render image keeps what was drawn into it.
Ref<TImage> MakeGlow(const Ref<TImage>& sprite) {
  const int32_t margin = 8;
  const Ref<TImage> glow =
      CreateRenderImage(ImageWidth(sprite) + 2 * margin, ImageHeight(sprite) + 2 * margin, ImgFiltered);
  if (!glow) throw TRuntimeException(String("No render images: ") + RenderImageError());
  SetRenderTarget(glow);
  SetClearColor(0, 0, 0);
  ClearScreen();  // transparent black would do as well: the glow is added
  SetBlendMode(BlendLight);
  SetDrawColor(255, 200, 80);
  SetDrawAlpha(0.12f);
  for (int32_t dy = -4; dy <= 4; dy += 2) {
    for (int32_t dx = -4; dx <= 4; dx += 2)
      DrawImage(sprite, static_cast<float>(margin + dx), static_cast<float>(margin + dy));
  }
  SetRenderTarget(Null);  // back to the window
  SetDrawAlpha(1);
  SetDrawColor(255, 255, 255);
  CentreImageHandle(glow);
  return glow;
}
// [/docs:make-glow]

void DrawWorld(const Ref<TImage>& tile, const Ref<TImage>& rock, const Ref<TImage>& ship,
               const Ref<TImage>& glow, float shipX, float shipY, float angle) {
  SetBlendMode(BlendSolid);
  DrawImageTiled(tile, 0, 0);
  SetBlendMode(BlendAlpha);
  for (int32_t i = 0; i < 6; ++i) {
    SetTransform(angle * (i % 2 == 0 ? 1.0f : -1.0f), 1, 1);
    DrawImage(rock, 80.0f + 95 * i, 120.0f + 60 * std::sin(angle / 30 + i));
  }
  SetTransform(0, 1, 1);
  SetBlendMode(BlendLight);
  DrawImage(glow, shipX, shipY);
  SetBlendMode(BlendAlpha);
  DrawImage(ship, shipX, shipY);
}

void RunExample() {
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  const Ref<TImage> tile = Load("assets/examples/tile.png", 0);
  const Ref<TImage> rock = Load("assets/examples/rock.png", ImgFiltered);
  const Ref<TImage> ship = Load("assets/examples/ship.png", ImgFiltered);
  CentreImageHandle(rock);
  const Ref<TImage> glow = MakeGlow(ship);
  CentreImageHandle(ship);
  // [docs:minimap]
  // The world drawn once a frame into a render image of the window's size...
  const Ref<TImage> world = CreateRenderImage(kWidth, kHeight, ImgFiltered);
  if (!world) throw TRuntimeException(String("No render images: ") + RenderImageError());
  // [/docs:minimap]
  float shipX = 320, shipY = 300, angle = 0;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    shipX += 4.0f * static_cast<float>(IsKeyDown(KEY_RIGHT) - IsKeyDown(KEY_LEFT));
    shipY += 4.0f * static_cast<float>(IsKeyDown(KEY_DOWN) - IsKeyDown(KEY_UP));
    angle = std::fmod(angle + 1, 360.0f);

    // [docs:minimap-frame]
    SetRenderTarget(world);
    DrawWorld(tile, rock, ship, glow, shipX, shipY, angle);
    SetRenderTarget(Null);

    // ...then shown full size and, a quarter the size, in the corner.
    SetBlendMode(BlendSolid);
    SetDrawColor(255, 255, 255);
    DrawImage(world, 0, 0);
    SetDrawColor(40, 40, 40);
    DrawRect(kWidth - 170, 6, 164, 124);  // frame behind the map
    SetDrawColor(255, 255, 255);
    SetTransform(0, 0.25f, 0.25f);
    DrawImage(world, kWidth - 168, 8);
    SetTransform(0, 1, 1);
    // [/docs:minimap-frame]

    SetBlendMode(BlendAlpha);
    DrawText("Arrow keys move the ship, Escape quits", 8, 8);
    FlipPage(-1);
  }
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
