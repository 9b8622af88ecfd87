// DrawImage throughput on a real window (run it on a display, e.g. through
// tools/with-display.sh): frames of 20,000 rotated, colour-modulated, alpha-blended 32 × 32
// images, against a plain OpenGL 1.1 immediate-mode loop that issues the same quads (one
// glBegin/glEnd each) with the same texture, colour and blending, frame by frame in the same
// run. The benchmark reports the framework's speed as a ratio of the plain loop's.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include "graphics/Graphics.h"
#include "vex2d/GLImageFrame.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"
#include "vex2d/Renderer.h"

namespace {

using namespace corvex;

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kQuadsPerFrame = 20000;
constexpr float kDegrees = 30.0f;

struct Position {
  float x, y;
};

// Positions spread over the window, the same every run.
std::vector<Position> Positions() {
  std::vector<Position> positions(kQuadsPerFrame);
  uint32_t seed = 12345;
  for (Position& p : positions) {
    seed = seed * 1664525u + 1013904223u;
    p.x = static_cast<float>(seed % kWidth);
    seed = seed * 1664525u + 1013904223u;
    p.y = static_cast<float>(seed % kHeight);
  }
  return positions;
}

// A 32 × 32 image, mid-handled, whose alpha falls from the centre outwards.
Ref<TImage> BlendedImage() {
  const Ref<TImage> image = CreateImage(32, 32, 1, ImgFiltered);
  CentreImageHandle(image);
  const Ref<TPixmap> pixels = LockImageFrame(image, 0, 1, 1);
  for (int32_t y = 0; y < 32; ++y) {
    for (int32_t x = 0; x < 32; ++x) {
      const auto alpha = static_cast<uint32_t>(std::max(0.0, 255.0 - 14.0 * std::hypot(x - 15.5, y - 15.5)));
      pixels->SetPixel(x, y, alpha << 24 | 0x00FF8040u | uint32_t(x * 8) << 8);
    }
  }
  return image;
}

// Opens the window with the renderer set for the run: alpha blending, a 30° rotation.
bool OpenScene(benchmark::State& state) {
  InitGLVex2DModule();
  InitImageModule();
  SelectGraphicsDriver(GLVex2DDriverInstance(), GfxBackBuffer);
  if (!OpenGraphics(kWidth, kHeight, 0, 0, 0)) {
    state.SkipWithError("no OpenGL window: run on a display");
    return false;
  }
  SetBlendMode(BlendAlpha);
  SetRotation(kDegrees);
  SetDrawColor(255, 224, 192);
  return true;
}

// The plain loop: the texture, blending and colour set once, one glBegin/glEnd per quad.
void PlainFrame(const Ref<TGLImageFrame>& frame, const std::vector<Position>& positions) {
  const double radians = kDegrees * std::numbers::pi / 180.0;
  const auto c = static_cast<float>(std::cos(radians));
  const auto s = static_cast<float>(std::sin(radians));
  // The corners of the mid-handled quad, turned.
  const float local[4][2] = {{-16, -16}, {16, -16}, {16, 16}, {-16, 16}};
  const float uv[4][2] = {{frame->uLeft, frame->vTop},
                          {frame->uRight, frame->vTop},
                          {frame->uRight, frame->vBottom},
                          {frame->uLeft, frame->vBottom}};
  float corner[4][2];
  for (int i = 0; i < 4; ++i) {
    corner[i][0] = local[i][0] * c - local[i][1] * s;
    corner[i][1] = local[i][0] * s + local[i][1] * c;
  }
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(frame->textureName));
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4ub(255, 224, 192, 255);
  glClear(GL_COLOR_BUFFER_BIT);
  for (const Position& p : positions) {
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
      glTexCoord2f(uv[i][0], uv[i][1]);
      glVertex2f(p.x + corner[i][0], p.y + corner[i][1]);
    }
    glEnd();
  }
}

// Every iteration draws one frame with the plain loop and one with DrawImage, each finished
// with glFinish and timed on its own, so that the ratio holds however the load of the machine
// changes during the run.
void BM_DrawImageAgainstPlainQuads(benchmark::State& state) {
  if (!OpenScene(state)) return;
  const Ref<TImage> image = BlendedImage();
  DrawImage(image, 0, 0);  // builds the texture once, as the framework's first draw does
  FlushGLDrawing();
  const Ref<TGLImageFrame> frame = Cast<TGLImageFrame>(image->frames[0]);
  const std::vector<Position> positions = Positions();
  double plain = 0.0, framework = 0.0;
  const auto timed = [](double& total, auto draw) {
    const auto start = std::chrono::steady_clock::now();
    draw();
    glFinish();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const auto frames = [&](auto timing) {
    timing(plain, [&] { PlainFrame(frame, positions); });
    MakeGraphicsCurrent(MainGraphics());  // the driver's caches forget what the plain loop did
    timing(framework, [&] {
      ClearScreen();
      for (const Position& p : positions) DrawImage(image, p.x, p.y);
      FlushGLDrawing();
    });
  };
  // Untimed first frames: the rasteriser compiles its shaders for each way of drawing.
  frames([](double&, auto draw) {
    draw();
    glFinish();
  });
  for (auto _ : state) frames(timed);
  const double quads = static_cast<double>(state.iterations()) * kQuadsPerFrame;
  state.counters["plain_quads_per_s"] = quads / plain;
  state.counters["framework_quads_per_s"] = quads / framework;
  state.counters["ratio_to_plain_gl"] = plain / framework;
  CloseMainGraphics();
}

BENCHMARK(BM_DrawImageAgainstPlainQuads)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
