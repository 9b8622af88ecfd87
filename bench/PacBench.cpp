// The demo and its packed font on a real window (run it on a display, e.g. through
// tools/with-display.sh):
// - a whole demo frame (clear, diagonals, caption, paragraph, present) in both styles, without
//   the 60 Hz pacing sleep, with the OpenGL 2D driver's batching on and off: CPU time is the
//   program's own cost per frame;
// - TPacImage::DrawText in glyphs per second against the renderer's own DrawImage of the same
//   glyph quads at the same places (the atlas cut into one image frame per glyph), in the same
//   run. Each iteration draws a page of the demo's paragraph and waits for the GL to finish it.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "demo/Demo.h"
#include "demo/DemoModule.h"
#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"
#include "vex2d/Renderer.h"

namespace corvex {
namespace {

constexpr int32_t kCopies = 8;  // paragraphs on a page: 8 × 125 glyphs

// The demo's window and font; Null (with the benchmark marked) when there is no display.
Ref<TPacImage> OpenDemo(benchmark::State& state) {
  RegisterDemoFiles();
  InitPacModule();
  InitFrameworkModules();
  try {
    return SetUpDemo();
  } catch (const TRuntimeException&) {
    state.SkipWithError("no OpenGL window: run on a display");
    return Null;
  }
}

int32_t GlyphCount(const String& text) {
  int32_t glyphs = 0;
  for (const char16_t c : text.Units()) glyphs += c != kPacLineFeed ? 1 : 0;
  return glyphs;
}

void BM_DemoFrame(benchmark::State& state) {
  const Ref<TPacImage> image = OpenDemo(state);
  if (!image) return;
  DemoState demo{static_cast<int32_t>(state.range(0)), 0};
  SetGLBatching(static_cast<int32_t>(state.range(1)));
  for (auto _ : state) {
    demo.angle = NextDemoAngle(demo.angle);
    DrawDemoFrame(image, demo);
    FlipPage(0);  // presented at once: no pacing sleep
  }
  SetGLBatching(1);
  CloseMainGraphics();
}
// Arguments: the text style, and batching on (1) or off (0).
BENCHMARK(BM_DemoFrame)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond);

void BM_PacDrawText(benchmark::State& state) {
  const Ref<TPacImage> image = OpenDemo(state);
  if (!image) return;
  const String paragraph(kDemoParagraph);
  image->DrawText(paragraph, 0, 0, 0, 0, 0);  // the atlas texture is made at the first draw
  glFinish();
  for (auto _ : state) {
    ClearScreen();
    for (int32_t copy = 0; copy < kCopies; ++copy) {
      image->DrawText(paragraph, 20, static_cast<float>(copy * 70), 0, 0, 0);
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kCopies * GlyphCount(paragraph));
  CloseMainGraphics();
}
BENCHMARK(BM_PacDrawText)->Unit(benchmark::kMillisecond)->UseRealTime();

// Where DrawText puts the paragraph's glyph cells (block style, identity, handle 0, drawn at
// (20, 0)): the top-left corner of each cell and its frame.
struct Quad {
  float x, y;
  int32_t frame;
};
std::vector<Quad> ParagraphQuads(const Ref<TPacImage>& image) {
  std::vector<Quad> quads;
  int32_t cursor = 0;
  int32_t line = 0;
  const String paragraph(kDemoParagraph);
  for (const char16_t c : paragraph.Units()) {
    if (c == kPacLineFeed) {
      cursor = 0;
      ++line;
      continue;
    }
    const int32_t k = c - kPacFirstCharacter;
    const int32_t offset = (image->pac->widths[k] - image->pac->charW[k]) / 2;
    quads.push_back({static_cast<float>(20 + cursor - offset), static_cast<float>(47 * line), k});
    cursor += image->pac->charW[k];
  }
  return quads;
}

// The same quads through DrawImage. With range 1 every glyph cell of the atlas is a frame of
// one image (a texture per glyph, as images cut from a strip are); with range 0 every quad shows
// frame 0 (one texture, the renderer's bare cost per quad).
void BM_DrawImageSameQuadsBaseline(benchmark::State& state) {
  const Ref<TPacImage> image = OpenDemo(state);
  if (!image) return;
  const bool perGlyphFrames = state.range(0) != 0;
  const Ref<TImage> cells = LoadImageStrip("incbin::pactwo.png", 30, 47, 0, 95, -1);
  const std::vector<Quad> quads = ParagraphQuads(image);
  for (int32_t frame = 0; frame < cells->FrameCount(); ++frame)
    DrawImage(cells, 0, 0, frame);  // textures made
  glFinish();
  for (auto _ : state) {
    ClearScreen();
    for (int32_t copy = 0; copy < kCopies; ++copy) {
      for (const Quad& quad : quads) {
        DrawImage(cells, quad.x, quad.y + static_cast<float>(copy * 70), perGlyphFrames ? quad.frame : 0);
      }
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kCopies * static_cast<int64_t>(quads.size()));
  CloseMainGraphics();
}
BENCHMARK(BM_DrawImageSameQuadsBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvex
