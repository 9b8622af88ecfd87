// Sprite-sheet text on a real window (run it on a display, e.g. through tools/with-display.sh):
// frames of 40 strings × 128 glyphs, in glyphs per second of wall time including glFinish,
// drawn
// - with DrawImageStretched of a 256-frame strip (a 256 × 256 sheet of 16 × 16 cells loaded
//   with LoadImageStrip), each glyph an 8 × 8 quad;
// - with the renderer's DrawText and the built-in 8 × 16 font;
// and, alternating with them frame by frame, the same quads from one atlas texture in plain
// OpenGL 1.1: one glBegin/glEnd per string, and the whole frame as one vertex array. Each framework case runs
// with batching and shared texture pages on and off (argument 1 and 0). Also the framework's own CPU cost of
// one DrawImage call, with OpenGL's work kept out of the timing.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <vector>

#include "graphics/Graphics.h"
#include "vex2d/GLTexturePages.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Image.h"
#include "vex2d/ImageFont.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

namespace corvex {
namespace {

constexpr int32_t kStrings = 40;
constexpr int32_t kGlyphs = 128;
constexpr int32_t kLineStep = 14;  // 40 lines fit the window's height

bool OpenWindow(benchmark::State& state) {
  InitGLVex2DModule();
  InitImageModule();
  SelectGraphicsDriver(GLVex2DDriverInstance(), GfxBackBuffer);
  if (OpenGraphics(800, 600, 0, 0, 0)) return true;
  state.SkipWithError("no OpenGL window: run on a display");
  return false;
}

// The glyph of string s at position g: spread over the whole sheet.
int32_t GlyphAt(int32_t s, int32_t g, int32_t count) {
  return (s * 7 + g * 13) % count;
}

// A 256 × 256 sheet of 16 × 16 cells, each a different half-transparent pattern.
Ref<TPixmap> Sheet() {
  const Ref<TPixmap> sheet = NewPixmap(256, 256, PIXEL_RGBA8888, 4);
  for (int32_t y = 0; y < 256; ++y) {
    for (int32_t x = 0; x < 256; ++x) {
      const uint32_t cell = uint32_t(y / 16 * 16 + x / 16);
      const bool ink = ((x % 16) * (y % 16) + cell) % 5 < 3;
      sheet->SetPixel(x, y, (ink ? 0xFF000000u : 0u) | (cell * 0x010307u & 0xFFFFFFu));
    }
  }
  return sheet;
}

// A texture of the pixmap for the plain loops, filtered as the framework's image is.
GLuint AtlasTexture(const Ref<TPixmap>& pixmap, GLint filter) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, pixmap->Pitch() / 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pixmap->Width(), pixmap->Height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
               pixmap->Pixels());
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  return name;
}

// What the plain loops draw: glyph quads of one size from cells of one atlas.
struct PlainText {
  float glyphW, glyphH;
  int32_t cells, across;  // cells in the atlas and per atlas row
  float cellU, cellV;     // one cell's size in texture coordinates
};

void SetPlainState(GLuint texture) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glDisable(GL_BLEND);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  glColor4ub(255, 255, 255, 255);
}

// The quad corners of glyph (s, g): x, y, u, v for each of four corners.
void GlyphCorners(const PlainText& text, int32_t s, int32_t g, float (&out)[16]) {
  const int32_t cell = GlyphAt(s, g, text.cells);
  const float u = static_cast<float>(cell % text.across) * text.cellU;
  const float v = static_cast<float>(cell / text.across) * text.cellV;
  const float x = static_cast<float>(g) * text.glyphW;
  const float y = static_cast<float>(s * kLineStep);
  const float corners[16] = {x,
                             y,
                             u,
                             v,
                             x + text.glyphW,
                             y,
                             u + text.cellU,
                             v,
                             x + text.glyphW,
                             y + text.glyphH,
                             u + text.cellU,
                             v + text.cellV,
                             x,
                             y + text.glyphH,
                             u,
                             v + text.cellV};
  std::copy(std::begin(corners), std::end(corners), std::begin(out));
}

void PlainPerStringFrame(const PlainText& text) {
  glClear(GL_COLOR_BUFFER_BIT);
  for (int32_t s = 0; s < kStrings; ++s) {
    glBegin(GL_QUADS);
    for (int32_t g = 0; g < kGlyphs; ++g) {
      float c[16];
      GlyphCorners(text, s, g, c);
      for (int i = 0; i < 16; i += 4) {
        glTexCoord2f(c[i + 2], c[i + 3]);
        glVertex2f(c[i], c[i + 1]);
      }
    }
    glEnd();
  }
}

void PlainOneArrayFrame(const PlainText& text, std::vector<float>& vertices) {
  glClear(GL_COLOR_BUFFER_BIT);
  vertices.clear();
  for (int32_t s = 0; s < kStrings; ++s) {
    for (int32_t g = 0; g < kGlyphs; ++g) {
      float c[16];
      GlyphCorners(text, s, g, c);
      vertices.insert(vertices.end(), std::begin(c), std::end(c));
    }
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), vertices.data());
  glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), vertices.data() + 2);
  glDrawArrays(GL_QUADS, 0, kStrings * kGlyphs * 4);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

// Runs, in every iteration, one frame of each of the plain loops and one of the framework,
// each finished with glFinish and timed on its own, so that the ratios hold however the load
// of the machine changes during the run. Reports glyphs per second of each and the
// framework's ratios to the plain loops.
template <class Framework>
void RunSideBySide(benchmark::State& state, const PlainText& text, GLuint atlas, Framework framework) {
  std::vector<float> vertices;
  vertices.reserve(kStrings * kGlyphs * 16);
  double perString = 0, oneArray = 0, ours = 0;
  const auto timed = [](double& total, auto frame) {
    const auto start = std::chrono::steady_clock::now();
    frame();
    glFinish();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const auto frames = [&](auto timing) {
    SetPlainState(atlas);
    timing(perString, [&] { PlainPerStringFrame(text); });
    timing(oneArray, [&] { PlainOneArrayFrame(text, vertices); });
    MakeGraphicsCurrent(MainGraphics());  // the driver's caches forget what the plain loops did
    timing(ours, [&] {
      framework();
      FlushGLDrawing();
    });
  };
  // Untimed first frames: the rasteriser compiles its shaders for each way of drawing.
  frames([](double&, auto frame) {
    frame();
    glFinish();
  });
  for (auto _ : state) frames(timed);
  const double glyphs = static_cast<double>(state.iterations()) * kStrings * kGlyphs;
  state.counters["plain_per_string_glyphs_per_s"] = glyphs / perString;
  state.counters["plain_one_array_glyphs_per_s"] = glyphs / oneArray;
  state.counters["framework_glyphs_per_s"] = glyphs / ours;
  state.counters["ratio_to_per_string"] = perString / ours;
  state.counters["ratio_to_one_array"] = oneArray / ours;
}

constexpr PlainText kSheetText{8, 8, 256, 16, 1.0f / 16, 1.0f / 16};

// DrawImageStretched of a 256-frame strip; argument 1: batching and pages on, 0: off.
void BM_SheetDrawImage(benchmark::State& state) {
  if (!OpenWindow(state)) return;
  SetGLBatching(static_cast<int32_t>(state.range(0)));
  SetGLTexturePages(static_cast<int32_t>(state.range(0)));
  const Ref<TImage> strip = LoadImageStrip(Sheet(), 16, 16, 0, 256, -1);
  const GLuint atlas = AtlasTexture(Sheet(), GL_LINEAR);
  RunSideBySide(state, kSheetText, atlas, [&] {
    ClearScreen();
    for (int32_t s = 0; s < kStrings; ++s) {
      const auto y = static_cast<float>(s * kLineStep);
      for (int32_t g = 0; g < kGlyphs; ++g)
        DrawImageStretched(strip, static_cast<float>(g * 8), y, 8, 8, GlyphAt(s, g, 256));
    }
  });
  glDeleteTextures(1, &atlas);
  SetGLBatching(1);
  SetGLTexturePages(1);
  CloseMainGraphics();
}

// The built-in font's 96 glyphs side by side in one 1024 × 16 atlas.
constexpr PlainText kFontText{8, 16, 96, 128, 8.0f / 1024, 1.0f};

// The renderer's DrawText with the built-in font; argument 1: batching and pages on, 0: off.
void BM_FontDrawText(benchmark::State& state) {
  if (!OpenWindow(state)) return;
  SetGLBatching(static_cast<int32_t>(state.range(0)));
  SetGLTexturePages(static_cast<int32_t>(state.range(0)));
  const Ref<TImageFont> font = TImageFont::CreateDefault();
  const Ref<TPixmap> atlasPixels = NewPixmap(1024, 16, PIXEL_RGBA8888, 4);
  atlasPixels->Fill(0);
  for (int32_t i = 0; i < 96; ++i)
    atlasPixels->PasteFrom(font->LoadImageGlyph(i)->image->Lock(0, 1, 0), i * 8, 0);
  const GLuint atlas = AtlasTexture(atlasPixels, GL_NEAREST);
  std::vector<String> lines;
  for (int32_t s = 0; s < kStrings; ++s) {
    String line;
    for (int32_t g = 0; g < kGlyphs; ++g) line += static_cast<char16_t>(32 + GlyphAt(s, g, 96));
    lines.push_back(line);
  }
  RunSideBySide(state, kFontText, atlas, [&] {
    ClearScreen();
    for (int32_t s = 0; s < kStrings; ++s) DrawText(lines[s], 0, static_cast<float>(s * kLineStep));
  });
  glDeleteTextures(1, &atlas);
  SetGLBatching(1);
  SetGLTexturePages(1);
  CloseMainGraphics();
}

// The CPU time of DrawImageStretched itself: 4096 calls per iteration, with OpenGL's drawing
// of them (the flush and glFinish) outside the timing.
void BM_DrawImageCallCost(benchmark::State& state) {
  if (!OpenWindow(state)) return;
  SetGLBatching(static_cast<int32_t>(state.range(0)));
  SetGLTexturePages(static_cast<int32_t>(state.range(0)));
  const Ref<TImage> strip = LoadImageStrip(Sheet(), 16, 16, 0, 256, -1);
  constexpr int32_t kCalls = 4096;
  for (auto _ : state) {
    for (int32_t i = 0; i < kCalls; ++i)
      DrawImageStretched(strip, static_cast<float>(i % 100 * 8), static_cast<float>(i / 100 * 8), 8, 8,
                         i & 255);
    state.PauseTiming();
    FlushGLDrawing();
    glFinish();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kCalls);
  SetGLBatching(1);
  SetGLTexturePages(1);
  CloseMainGraphics();
}

BENCHMARK(BM_SheetDrawImage)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_SheetDrawImage)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_FontDrawText)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FontDrawText)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_DrawImageCallCost)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvex
