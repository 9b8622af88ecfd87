// Window and input: a square that moves with the arrow keys (or W, A, S, D), jumps to the
// mouse pointer while the left button is held and changes colour with each right click or
// wheel notch. Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-input
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <algorithm>
#include <cstdlib>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr float kSize = 40;
constexpr float kSpeed = 4;  // pixels a frame

// [docs:keep-running]
// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}
// [/docs:keep-running]

// A key is held: arrows or their W, A, S, D twins.
bool Held(int32_t arrow, char letter) {
  return IsKeyDown(arrow) != 0 || IsKeyDown(letter) != 0;
}

void RunExample() {
  // Set-up: the framework, a 640 x 480 window paced at 60 frames a second.
  // [docs:open-window]
  InitFrameworkModules();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  SetClearColor(30, 30, 40);
  // [/docs:open-window]
  float x = (kWidth - kSize) / 2;
  float y = (kHeight - kSize) / 2;
  int32_t colour = 0;
  const int32_t palette[4][3] = {{240, 200, 60}, {90, 200, 250}, {240, 90, 120}, {120, 230, 120}};
  int32_t wheelSeen = WheelPosition();

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // [docs:polled-input]
    // Update: keys held move the square; the left button drags it to the pointer.
    if (Held(KEY_LEFT, 'A')) x -= kSpeed;
    if (Held(KEY_RIGHT, 'D')) x += kSpeed;
    if (Held(KEY_UP, 'W')) y -= kSpeed;
    if (Held(KEY_DOWN, 'S')) y += kSpeed;
    if (IsMouseDown(MOUSE_LEFT)) {
      x = static_cast<float>(PointerX()) - kSize / 2;
      y = static_cast<float>(PointerY()) - kSize / 2;
    }
    // Hits are counted between calls, so a click shorter than a frame is never missed.
    colour += MouseHitCount(MOUSE_RIGHT);
    colour += WheelPosition() - wheelSeen;
    wheelSeen = WheelPosition();
    // [/docs:polled-input]
    x = std::min(std::max(x, 0.0f), kWidth - kSize);
    y = std::min(std::max(y, 0.0f), kHeight - kSize);
    const int32_t* rgb = palette[((colour % 4) + 4) % 4];

    // [docs:draw-shapes]
    // Draw: clear, the square, a cross at the pointer and a line of help.
    ClearScreen();
    SetDrawColor(rgb[0], rgb[1], rgb[2]);
    DrawRect(x, y, kSize, kSize);
    SetDrawColor(255, 255, 255);
    DrawLine(static_cast<float>(PointerX() - 6), static_cast<float>(PointerY()),
             static_cast<float>(PointerX() + 6), static_cast<float>(PointerY()));
    DrawLine(static_cast<float>(PointerX()), static_cast<float>(PointerY() - 6),
             static_cast<float>(PointerX()), static_cast<float>(PointerY() + 6));
    DrawText("Arrows or WASD move, the left button drags,", 8, 8);
    DrawText("a right click or the wheel recolours, Escape quits", 8, 26);
    FlipPage(-1);
    // [/docs:draw-shapes]
  }

  // Clean-up: close the window (it would also close at exit).
  CloseMainGraphics();
}

}  // namespace

// [docs:main]
int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
// [/docs:main]
