// Sprite-sheet text on a real window (run it on a display, e.g. through tools/with-display.sh),
// in glyphs per second of wall time including glFinish, drawn
// - with DrawImage of a 256-frame strip (a 256 × 256 RGBA sheet of 16 × 16 cells loaded with
//   LoadImageStrip and ImgFiltered, handle (0, 0)) at SetScale(0.5, 0.5): 40 or 160 strings of
//   128 glyphs, each string with its own SetDrawColor and SetDrawAlpha, blended, each glyph
//   advancing 6 pixels; batched quads submitted as quads, indexed triangles or triangles;
// - with the renderer's DrawText and the built-in 8 × 16 font, 40 strings of 128 glyphs;
// and, alternating with them frame by frame, the same quads with the same texture, colours and
// blending in plain OpenGL 1.1: one glBegin/glEnd per string, and the whole frame as one
// client-side array drawn with glDrawArrays(GL_QUADS). Each framework case runs with batching
// and shared texture pages on and off. Also the framework's own CPU cost of one DrawImage call,
// with OpenGL's work kept out of the timing.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <vector>

#include "graphics/Graphics.h"
#include "vex2d/GLQuadBatch.h"
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

// The sheet workload: strings of 8 × 8 glyphs (16 × 16 cells at half scale) advancing 6
// pixels, each string with its own colour and alpha, blended.
struct SheetColor {
  GLubyte rgba[4];
};
SheetColor StringColor(int32_t s) {
  return SheetColor{{static_cast<GLubyte>(96 + s * 37 % 160), static_cast<GLubyte>(96 + s * 91 % 160),
                     static_cast<GLubyte>(96 + s * 53 % 160), static_cast<GLubyte>(128 + s % 8 * 16)}};
}
float StringAlpha(int32_t s) {
  return static_cast<float>(StringColor(s).rgba[3]) / 255.0f;
}
// Lines 14 pixels apart; past the window's height they start again 3 pixels lower.
float StringY(int32_t s) {
  return static_cast<float>(s % 40 * kLineStep + s / 40 * 3);
}
constexpr int32_t kAdvance = 6;
constexpr float kGlyphSide = 8;
constexpr float kCell = 1.0f / 16;

void SetPlainSheetState(GLuint texture) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_ALPHA_TEST);
}

// The corners of glyph (s, g): x, y, u, v each, top-left first, clockwise.
void SheetCorners(int32_t s, int32_t g, float (&out)[16]) {
  const int32_t cell = GlyphAt(s, g, 256);
  const float u = static_cast<float>(cell % 16) * kCell;
  const float v = static_cast<float>(cell / 16) * kCell;
  const float x = static_cast<float>(g * kAdvance);
  const float y = StringY(s);
  const float corners[16] = {x,
                             y,
                             u,
                             v,
                             x + kGlyphSide,
                             y,
                             u + kCell,
                             v,
                             x + kGlyphSide,
                             y + kGlyphSide,
                             u + kCell,
                             v + kCell,
                             x,
                             y + kGlyphSide,
                             u,
                             v + kCell};
  std::copy(std::begin(corners), std::end(corners), std::begin(out));
}

void PlainSheetPerString(int32_t strings) {
  glClear(GL_COLOR_BUFFER_BIT);
  for (int32_t s = 0; s < strings; ++s) {
    glColor4ubv(StringColor(s).rgba);
    glBegin(GL_QUADS);
    for (int32_t g = 0; g < kGlyphs; ++g) {
      float c[16];
      SheetCorners(s, g, c);
      for (int i = 0; i < 16; i += 4) {
        glTexCoord2f(c[i + 2], c[i + 3]);
        glVertex2f(c[i], c[i + 1]);
      }
    }
    glEnd();
  }
}

// x, y, u, v floats and a colour per vertex, built every frame like the framework's.
struct SheetVertex {
  float x, y, u, v;
  SheetColor color;
};

void PlainSheetOneArray(int32_t strings, std::vector<SheetVertex>& vertices) {
  glClear(GL_COLOR_BUFFER_BIT);
  vertices.clear();
  for (int32_t s = 0; s < strings; ++s) {
    const SheetColor color = StringColor(s);
    for (int32_t g = 0; g < kGlyphs; ++g) {
      float c[16];
      SheetCorners(s, g, c);
      for (int i = 0; i < 16; i += 4)
        vertices.push_back(SheetVertex{c[i], c[i + 1], c[i + 2], c[i + 3], color});
    }
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(SheetVertex), &vertices[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(SheetVertex), &vertices[0].u);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(SheetVertex), vertices[0].color.rgba);
  glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(vertices.size()));
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

// Runs, in every iteration, one frame of each plain loop and one of the framework (and, while
// batching is on, one of the framework with batching off), each finished with glFinish and
// timed on its own, so that the ratios hold however the load of the machine changes during the
// run. Reports glyphs per second of each and the framework's ratios to the others.
template <class PerString, class OneArray, class Framework>
void RunSideBySide(benchmark::State& state, int32_t glyphsPerFrame, PerString perStringFrame,
                   OneArray oneArrayFrame, Framework framework) {
  double perString = 0, oneArray = 0, ours = 0, oursOff = 0;
  const bool batching = GLBatching() != 0;
  const auto timed = [](double& total, auto frame) {
    const auto start = std::chrono::steady_clock::now();
    frame();
    glFinish();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const auto off = [&](auto timing) {
    SetGLBatching(0);
    timing(oursOff, framework);
    SetGLBatching(1);
  };
  // The frame right after another program's pays for the switch: the two framework frames
  // take turns at coming first.
  bool offFirst = false;
  const auto frames = [&](auto timing) {
    timing(perString, perStringFrame);
    timing(oneArray, oneArrayFrame);
    MakeGraphicsCurrent(MainGraphics());  // the driver's caches forget what the plain loops did
    if (batching && offFirst) off(timing);
    timing(ours, [&] {
      framework();
      FlushGLDrawing();
    });
    if (batching && !offFirst) off(timing);
    offFirst = !offFirst;
  };
  // Untimed first frames: the rasteriser compiles its shaders for each way of drawing.
  frames([](double&, auto frame) {
    frame();
    glFinish();
  });
  for (auto _ : state) frames(timed);
  const double glyphs = static_cast<double>(state.iterations()) * glyphsPerFrame;
  state.counters["plain_per_string_glyphs_per_s"] = glyphs / perString;
  state.counters["plain_one_array_glyphs_per_s"] = glyphs / oneArray;
  state.counters["framework_glyphs_per_s"] = glyphs / ours;
  state.counters["ratio_to_per_string"] = perString / ours;
  state.counters["ratio_to_one_array"] = oneArray / ours;
  if (batching) state.counters["ratio_to_batching_off"] = oursOff / ours;
}

// DrawImage of a 256-frame strip at half scale. Arguments: 1 batching on, plus 2 shared
// texture pages on; strings a frame; how batched quads go to OpenGL (QuadSubmission).
void BM_SheetDrawImage(benchmark::State& state) {
  if (!OpenWindow(state)) return;
  const auto strings = static_cast<int32_t>(state.range(1));
  SetGLBatching(static_cast<int32_t>(state.range(0) & 1));
  SetGLTexturePages(static_cast<int32_t>(state.range(0) & 2));
  glvex2d::SetQuadSubmission(static_cast<glvex2d::QuadSubmission>(state.range(2)));
  const Ref<TImage> font = LoadImageStrip(Sheet(), 16, 16, 0, 256, ImgFiltered);
  SetImageHandle(font, 0, 0);
  const GLuint atlas = AtlasTexture(Sheet(), GL_LINEAR);
  std::vector<SheetVertex> vertices;
  vertices.reserve(static_cast<size_t>(strings) * kGlyphs * 4);
  RunSideBySide(
      state, strings * kGlyphs,
      [&] {
        SetPlainSheetState(atlas);
        PlainSheetPerString(strings);
      },
      [&] {
        SetPlainSheetState(atlas);
        PlainSheetOneArray(strings, vertices);
      },
      [&] {
        ClearScreen();
        SetBlendMode(BlendAlpha);
        SetScale(0.5f, 0.5f);
        for (int32_t s = 0; s < strings; ++s) {
          const SheetColor color = StringColor(s);
          SetDrawColor(color.rgba[0], color.rgba[1], color.rgba[2]);
          SetDrawAlpha(StringAlpha(s));
          const float y = StringY(s);
          for (int32_t g = 0; g < kGlyphs; ++g)
            DrawImage(font, static_cast<float>(g * kAdvance), y, GlyphAt(s, g, 256));
        }
        SetScale(1, 1);
      });
  glDeleteTextures(1, &atlas);
  SetGLBatching(1);
  SetGLTexturePages(1);
  glvex2d::SetQuadSubmission(glvex2d::QuadSubmission::kDefault);
  CloseMainGraphics();
}

// The built-in font's 96 glyphs side by side in one 1024 × 16 atlas, drawn by the plain loops
// as 8 × 16 quads, white and masked as DrawText's defaults draw them.
constexpr float kFontCell = 8.0f / 1024;

void FontCorners(int32_t s, int32_t g, float (&out)[16]) {
  const float u = static_cast<float>(GlyphAt(s, g, 96)) * kFontCell;
  const float x = static_cast<float>(g * 8);
  const float y = static_cast<float>(s * kLineStep);
  const float corners[16] = {x, y, u,      0, x + 8, y, u + kFontCell, 0, x + 8, y + 16, u + kFontCell,
                             1, x, y + 16, u, 1};
  std::copy(std::begin(corners), std::end(corners), std::begin(out));
}

void SetPlainFontState(GLuint texture) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glDisable(GL_BLEND);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  glColor4ub(255, 255, 255, 255);
}

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
  std::vector<float> vertices;
  vertices.reserve(kStrings * kGlyphs * 16);
  RunSideBySide(
      state, kStrings * kGlyphs,
      [&] {
        SetPlainFontState(atlas);
        glClear(GL_COLOR_BUFFER_BIT);
        for (int32_t s = 0; s < kStrings; ++s) {
          glBegin(GL_QUADS);
          for (int32_t g = 0; g < kGlyphs; ++g) {
            float c[16];
            FontCorners(s, g, c);
            for (int i = 0; i < 16; i += 4) {
              glTexCoord2f(c[i + 2], c[i + 3]);
              glVertex2f(c[i], c[i + 1]);
            }
          }
          glEnd();
        }
      },
      [&] {
        SetPlainFontState(atlas);
        glClear(GL_COLOR_BUFFER_BIT);
        vertices.clear();
        for (int32_t s = 0; s < kStrings; ++s) {
          for (int32_t g = 0; g < kGlyphs; ++g) {
            float c[16];
            FontCorners(s, g, c);
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
      },
      [&] {
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

// Batching and pages on with each way of submitting quads, then batching off with pages on
// and off; 40 and 160 strings a frame. Five repetitions each, reported as their median.
BENCHMARK(BM_SheetDrawImage)
    ->ArgsProduct({{3}, {40, 160}, {0, 1, 2}})
    ->ArgsProduct({{2, 1, 0}, {40, 160}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FontDrawText)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FontDrawText)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_DrawImageCallCost)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvex
