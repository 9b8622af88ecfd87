// Images and sprites: pictures loaded from PNG files and drawn tiled, turned, scaled and in
// the alpha, light (additive) and shade (multiplying) blend modes. Space pauses the turning;
// Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-sprites (the pictures lie in assets/examples
// beside it; tools/make-example-images.py draws them).
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "runtime/Log.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
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

// [docs:log-handler]
// The framework's warnings (a damaged chunk in a picture, a fall-back to silent audio), one
// line each, marked with the program's name.
void ReportFrameworkLine(LogLevel level, const String& text) {
  std::fprintf(stderr, "sprites: %s: %s\n", LogLevelName(level), text.ToBytes().c_str());
}
// [/docs:log-handler]

// [docs:load-image]
// A picture from a file with its handle in the middle, so that it turns about its centre.
// LoadImage answers Null when the file is missing or no loader reads it; LastErrorText says
// which ("assets/examples/ship.png: no such file").
Ref<TImage> LoadSprite(const char* path) {
  const Ref<TImage> image = LoadImage(path, ImgFiltered);
  if (!image) throw TRuntimeException("Unable to load " + LastErrorText());
  CentreImageHandle(image);
  return image;
}
// [/docs:load-image]

// A caption centred under a picture whose centre is at x.
void Caption(const char* text, float x, float y) {
  DrawText(text, x - TextWidth(text) / 2, y);
}

void RunExample() {
  // Set-up: the window, then the pictures (images need no window to load, only to draw).
  InitFrameworkModules();
  SetLogHandler(&ReportFrameworkLine, LogLevel::Warning);
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  const Ref<TImage> tile = LoadImage("assets/examples/tile.png", 0);
  if (!tile) throw TRuntimeException("Unable to load assets/examples/tile.png");
  const Ref<TImage> ship = LoadSprite("assets/examples/ship.png");
  const Ref<TImage> rock = LoadSprite("assets/examples/rock.png");
  const Ref<TImage> glow = LoadSprite("assets/examples/glow.png");
  float angle = 0;
  bool paused = false;

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // Update: one degree a frame unless paused.
    if (KeyHitCount(KEY_SPACE) != 0) paused = !paused;
    if (!paused) angle = std::fmod(angle + 1, 360.0f);
    const float pulse = 1.0f + 0.5f * std::sin(angle * 3.14159265f / 90);

    // Draw: a tiled floor, then sprites; the draw colour tints, the alpha fades.
    SetBlendMode(BlendSolid);
    SetDrawColor(255, 255, 255);
    SetDrawAlpha(1);
    DrawImageTiled(tile, 0, 0);

    // [docs:draw-sprites]
    SetBlendMode(BlendAlpha);
    SetTransform(angle, 1, 1);  // turned, natural size
    DrawImage(ship, 120, 160);
    SetTransform(-angle, pulse, pulse);  // turned the other way, pulsing
    DrawImage(rock, 320, 160);
    SetTransform(0, 3, 1.5f);  // stretched, not turned
    SetDrawColor(120, 200, 255);
    DrawImage(ship, 520, 160);
    SetDrawAlpha(0.4f);  // faded
    SetTransform(0, 1, 1);
    DrawImage(rock, 120, 340);
    SetDrawAlpha(1);
    SetDrawColor(255, 255, 255);
    SetBlendMode(BlendLight);  // adds: the glows brighten what is under them
    DrawImage(glow, 300 + 40 * std::cos(angle * 3.14159265f / 180), 340);
    DrawImage(glow, 340, 340);
    SetBlendMode(BlendShade);  // multiplies: a red filter over the floor
    SetDrawColor(255, 120, 120);
    DrawRect(450, 290, 140, 100);
    // [/docs:draw-sprites]

    SetBlendMode(BlendAlpha);
    SetDrawColor(255, 255, 255);
    Caption("turned", 120, 230);
    Caption("pulsing", 320, 230);
    Caption("stretched + tinted", 520, 230);
    Caption("faded", 120, 410);
    Caption("light (added)", 320, 410);
    Caption("shade", 520, 410);
    DrawText("Space pauses, Escape quits", 8, 8);
    FlipPage(-1);
  }

  // Clean-up: images free themselves with their last reference; close the window.
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}
