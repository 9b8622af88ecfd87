// Default-font DrawText on a real window (run it on a display, e.g. through
// tools/with-display.sh), in glyphs per second, against a plain OpenGL 1.1 immediate-mode loop
// in the same run that draws the same glyph quads from the same per-glyph textures without the
// framework. Each iteration draws a page of text and waits for the GL to finish it.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "graphics/Graphics.h"
#include "pixmap/PixelFormats.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"
#include "vex2d/ImageFont.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

namespace corvex {
namespace {

constexpr int32_t kLines = 36;
constexpr int32_t kColumns = 96;  // the whole character set on every line: 768 pixels

// Opens an 800 × 600 window through the OpenGL 2D driver; false (with the benchmark marked)
// when there is no display.
bool OpenWindow(benchmark::State& state) {
  InitGLVex2DModule();
  SelectGraphicsDriver(GLVex2DDriverInstance(), GfxBackBuffer);
  if (OpenGraphics(800, 600, 0, 0, 0)) return true;
  state.SkipWithError("no OpenGL window: run on a display");
  return false;
}

String CharacterSet() {
  String line;
  for (int32_t code = 32; code < 32 + kColumns; ++code) line += static_cast<char16_t>(code);
  return line;
}

void BM_DefaultFontDrawText(benchmark::State& state) {
  if (!OpenWindow(state)) return;
  const String line = CharacterSet();
  for (auto _ : state) {
    ClearScreen();
    for (int32_t row = 0; row < kLines; ++row) DrawText(line, 16, static_cast<float>(row * 16));
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kLines * kColumns);
  CloseMainGraphics();
}
BENCHMARK(BM_DefaultFontDrawText)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same quads with one texture per glyph, alpha-tested at one half as blend mode 1 is.
void BM_PlainGLGlyphQuadsBaseline(benchmark::State& state) {
  if (!OpenWindow(state)) return;
  const Ref<TImageFont> font = TImageFont::CreateDefault();
  std::array<GLuint, kColumns> textures{};
  glGenTextures(kColumns, textures.data());
  for (int32_t index = 0; index < kColumns; ++index) {
    const Ref<TPixmap> pixels = font->LoadImageGlyph(index)->image->Lock(0, 1, 0);
    glBindTexture(GL_TEXTURE_2D, textures[index]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels->Pixels());
  }
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  glColor4f(1, 1, 1, 1);
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT);
    for (int32_t row = 0; row < kLines; ++row) {
      const auto y = static_cast<float>(row * 16);
      for (int32_t index = 0; index < kColumns; ++index) {
        const auto x = static_cast<float>(16 + index * 8);
        glBindTexture(GL_TEXTURE_2D, textures[index]);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(x, y);
        glTexCoord2f(1, 0);
        glVertex2f(x + 8, y);
        glTexCoord2f(1, 1);
        glVertex2f(x + 8, y + 16);
        glTexCoord2f(0, 1);
        glVertex2f(x, y + 16);
        glEnd();
      }
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kLines * kColumns);
  glDeleteTextures(kColumns, textures.data());
  CloseMainGraphics();
}
BENCHMARK(BM_PlainGLGlyphQuadsBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvex
