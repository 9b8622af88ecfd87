// A window that changes size: drag its frame (it is resizable), press 1, 2 or 3 for a size
// the program asks for, F11 for desktop full screen and back. It shows its size, its pixel
// density and how many "WindowSize" events arrived, and a frame and grid that always fill it.
// Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-window
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <cstdlib>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/Event.h"
#include "system/EventQueue.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

using namespace corvex;

namespace {

// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

// A grid every 40 pixels and a frame around the drawable area: both show at once whether the
// drawing follows the window's size.
void DrawGrid(int32_t width, int32_t height) {
  SetDrawColor(50, 60, 80);
  for (int32_t x = 40; x < width; x += 40)
    DrawLine(static_cast<float>(x), 0, static_cast<float>(x), static_cast<float>(height));
  for (int32_t y = 40; y < height; y += 40)
    DrawLine(0, static_cast<float>(y), static_cast<float>(width), static_cast<float>(y));
  SetDrawColor(240, 180, 60);
  DrawRect(0, 0, static_cast<float>(width), 4);
  DrawRect(0, static_cast<float>(height - 4), static_cast<float>(width), 4);
  DrawRect(0, 0, 4, static_cast<float>(height));
  DrawRect(static_cast<float>(width - 4), 0, 4, static_cast<float>(height));
}

void RunExample() {
  InitFrameworkModules();
  // [docs:open-resizable]
  // GfxResizable gives the window a frame the user can drag; GfxHighDpi asks for every pixel
  // of a high-density display (the drawable may then be larger than the window).
  const Ref<TGraphics> window = OpenGraphics(640, 480, 0, 60, GfxResizable | GfxHighDpi);
  if (!window) throw TRuntimeException("Unable to open a 640 x 480 window");
  // [/docs:open-resizable]
  SetClearColor(20, 24, 34);
  int32_t sizeEvents = 0;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // [docs:window-keys]
    // The program changes the size itself, or switches to desktop full screen and back; the
    // settings, the renderer's viewport and a WindowSize event follow either way.
    if (KeyHitCount(KEY_F11) > 0) SetGraphicsFullScreen(window, GraphicsFullScreen(window) == 0 ? 1 : 0);
    if (KeyHitCount('1') > 0) SetGraphicsSize(window, 480, 360);
    if (KeyHitCount('2') > 0) SetGraphicsSize(window, 800, 600);
    if (KeyHitCount('3') > 0) SetGraphicsSize(window, 1000, 400);
    // [/docs:window-keys]

    // [docs:window-events]
    // Every new size also arrives as an event: data 0, x the new width, y the new height.
    for (int32_t id = NextEvent(); id != 0; id = NextEvent()) {
      if (id == EVENT_WINDOWSIZE) ++sizeEvents;
    }
    const int32_t width = CurrentGraphicsWidth();
    const int32_t height = CurrentGraphicsHeight();
    // [/docs:window-events]

    ClearScreen();
    DrawGrid(width, height);
    SetDrawColor(255, 255, 255);
    SetRendererFont(Null);
    DrawText(String("Size ") + String::FromInt(width) + " x " + String::FromInt(height) + ", pixel scale " +
                 String::FromFloat(GraphicsPixelScale()).Slice(0, 4) +
                 (GraphicsFullScreen(window) != 0 ? ", full screen" : ""),
             20, 20);
    DrawText(String("WindowSize events: ") + String::FromInt(sizeEvents), 20, 40);
    DrawText("Drag the frame; 1, 2, 3: sizes; F11: full screen; Escape quits", 20,
             static_cast<float>(height - 30));
    FlipPage(-1);
  }

  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
