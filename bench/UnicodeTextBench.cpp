// FreeType text drawn with DrawText on a real window (run it on a display, e.g. through
// tools/with-display.sh), in characters per second: CJK text of 1440 distinct characters
// (WenQuanYi Micro Hei, fonts-wqy-microhei) beside Latin-1 text (DejaVu Sans) in the same run,
// both at 16 pixels, with every glyph made before timing starts. Each iteration draws a page of
// 36 lines of 40 characters and waits for the GL to finish it.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fonts/FreeTypeFont.h"
#include "graphics/Graphics.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

namespace corvex {
namespace {

constexpr int32_t kLines = 36;
constexpr int32_t kColumns = 40;

void DrawPages(benchmark::State& state, const char* fontPath, const std::vector<String>& lines) {
  InitGLVex2DModule();
  InitFreeTypeModule();
  SelectGraphicsDriver(GLVex2DDriverInstance(), GfxBackBuffer);
  if (!OpenGraphics(800, 600, 0, 0, 0)) {
    state.SkipWithError("no OpenGL window: run on a display");
    return;
  }
  const Ref<TImageFont> font = LoadRendererFont(String(fontPath), 16, 0);
  if (!font) {
    state.SkipWithError("font not installed");
    CloseMainGraphics();
    return;
  }
  SetRendererFont(font);
  SetBlendMode(BlendAlpha);
  const auto page = [&] {
    ClearScreen();
    for (int32_t row = 0; row < kLines; ++row)
      DrawText(lines[row % lines.size()], 8, static_cast<float>(row * 16));
    glFinish();
  };
  page();  // makes every glyph and places it on a page
  for (auto _ : state) page();
  state.SetItemsProcessed(state.iterations() * kLines * kColumns);
  CloseMainGraphics();
}

void BM_Latin1FreeTypeText(benchmark::State& state) {
  // Forty characters from both halves of Latin-1, the same on every line.
  String line;
  for (int32_t i = 0; i < kColumns; ++i)
    line += static_cast<char16_t>(i % 2 == 0 ? 'A' + i / 2 : 0xC0 + i / 2);
  DrawPages(state, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", {line});
}
BENCHMARK(BM_Latin1FreeTypeText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CjkFreeTypeText(benchmark::State& state) {
  // 1440 distinct ideographs from U+4E00 on, each line its own forty.
  std::vector<String> lines;
  char16_t code = 0x4E00;
  for (int32_t row = 0; row < kLines; ++row) {
    std::u16string units;
    while (static_cast<int32_t>(units.size()) < kColumns) units.push_back(code++);
    lines.emplace_back(std::move(units));
  }
  DrawPages(state, "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc", lines);
}
BENCHMARK(BM_CjkFreeTypeText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvex
