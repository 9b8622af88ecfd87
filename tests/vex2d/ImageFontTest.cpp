// Image fonts and the renderer's text functions. The built-in font is checked as data and as
// drawn: every glyph pixel is compared with the font's bits at the place the renderer's
// position, handle, origin and matrix put it. An image font over a made-up source font checks
// glyph offsets, advances, missing glyphs and the glyph cache.
#include "vex2d/ImageFont.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <utility>

#include "graphics/Graphics.h"
#include "pixmap/PixelFormats.h"
#include "stream/EmbeddedFiles.h"
#include "tests/vex2d/SceneCapture.h"
#include "vex2d/Image.h"
#include "vex2d/RendererText.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

using scene_testing::AreaIs;
using scene_testing::BoundsOfNot;
using scene_testing::Box;
using scene_testing::CaptureScene;
using scene_testing::Rgb;

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kRed = 0xFF0000;

// Bit `column` of row `row` of the built-in glyph for `code`, straight from "tarnfont.bin".
bool FontBit(char16_t code, int32_t row, int32_t column) {
  const uint8_t* bits = EmbeddedFileData(String("tarnfont.bin"));
  return ((bits[row * 96 + (code - 32)] >> column) & 1) != 0;
}

// Whether the glyph for `code` appears at `cell`, a function from glyph pixel (column, row) to
// the screen pixel it covers: white where the font has a bit, black elsewhere. Reports the first
// pixel that differs.
template <class Place>
::testing::AssertionResult GlyphDrawnAt(const Ref<TPixmap>& scene, char16_t code, Place cell) {
  for (int32_t row = 0; row < 16; ++row) {
    for (int32_t column = 0; column < 8; ++column) {
      const auto [x, y] = cell(column, row);
      const uint32_t expected = FontBit(code, row, column) ? kWhite : kBlack;
      if (Rgb(scene, x, y) != expected) {
        return ::testing::AssertionFailure() << "glyph " << static_cast<int>(code) << " pixel (" << column
                                             << ", " << row << ") at screen (" << x << ", " << y << ")";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A source font of three glyphs: 'a' and 'b' a 4 × 4 red square placed at (2, 3) from the pen,
// 'c' a picture-less glyph with a fractional advance; 'z' maps to an index the font does not
// have.
class TSquareGlyph : public TGlyph {
 public:
  TSquareGlyph(Ref<TPixmap> picture, float glyphAdvance)
      : pixels(std::move(picture)), advance(glyphAdvance) {}
  Ref<Object> Pixels() override { return pixels; }
  float Advance() override { return advance; }
  void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override {
    x = 2;
    y = 3;
    width = pixels ? 4 : 0;
    height = pixels ? 4 : 0;
  }
  Ref<TPixmap> pixels;
  float advance;
};

class TSquareFont : public TFont {
 public:
  explicit TSquareFont(int32_t fontStyle) : style(fontStyle) {
    square = NewPixmap(4, 4, PIXEL_RGBA8888, 4);
    square->Fill(0xFFFF0000u);
  }
  int32_t Style() override { return style; }
  int32_t Height() override { return 21; }
  int32_t CountGlyphs() override { return 3; }
  int32_t CharToGlyph(int32_t code) override {
    if (code >= 'a' && code <= 'c') return code - 'a';
    return code == 'z' ? 7 : -1;
  }
  Ref<TGlyph> LoadGlyph(int32_t index) override {
    ++glyphsMade;
    if (index < 0 || index >= 3) return Null;
    return New<TSquareGlyph>(index < 2 ? square : Ref<TPixmap>(), index < 2 ? 10.0f : 10.75f);
  }
  int32_t style;
  int32_t glyphsMade = 0;
  Ref<TPixmap> square;
};

// Opens "square-font::" URLs as a TSquareFont with the asked style.
class TSquareFontLoader : public TFontLoader {
 public:
  Ref<TFont> LoadFont(const Url& url, int32_t, int32_t style) override {
    if (url.Text() != String("square-font::")) return Null;
    lastFont = New<TSquareFont>(style);
    return lastFont;
  }
  Ref<TSquareFont> lastFont;
};

Ref<TSquareFontLoader> SquareFontLoader() {
  static TSquareFontLoader* loader = [] {
    InitFontModule();
    const Ref<TSquareFontLoader> made = New<TSquareFontLoader>();
    AddFontLoader(made);
    return made.Get();  // the chain keeps it
  }();
  return Ref<TSquareFontLoader>(loader);
}

TEST(DefaultFont, Covers96CharactersOf8By16) {
  const Ref<TImageFont> font = TImageFont::CreateDefault();
  EXPECT_EQ(EmbeddedFileSize(String("tarnfont.bin")), 1536);
  EXPECT_FALSE(font->source);
  EXPECT_EQ(font->CountGlyphs(), 96);
  EXPECT_EQ(font->Height(), 16);
  EXPECT_EQ(font->Style(), 0);
  EXPECT_EQ(font->CharToGlyph(32), 0);
  EXPECT_EQ(font->CharToGlyph('A'), 33);
  EXPECT_EQ(font->CharToGlyph(127), 95);
  for (const int32_t missing : {31, 128, 10, 0, -1, 0xFFFF})
    EXPECT_EQ(font->CharToGlyph(missing), -1) << missing;

  for (int32_t index = 0; index < 96; ++index) {
    const Ref<TImageGlyph> glyph = font->LoadImageGlyph(index);
    ASSERT_TRUE(glyph);
    EXPECT_EQ(glyph->Advance(), 8.0f);
    int32_t x = -1, y = -1, width = -1, height = -1;
    glyph->GetRect(x, y, width, height);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 16);
    ASSERT_TRUE(glyph->image);
    EXPECT_EQ(glyph->Pixels(), glyph->image);
    EXPECT_EQ(glyph->image->width, 8);
    EXPECT_EQ(glyph->image->height, 16);
    EXPECT_EQ(glyph->image->flags, 0);
    EXPECT_EQ(glyph->image->handleX, 0.0f);
    EXPECT_EQ(glyph->image->handleY, 0.0f);
  }
  EXPECT_EQ(font->LoadGlyph(33), font->LoadGlyph(33)) << "glyphs are made once";
  EXPECT_FALSE(font->LoadGlyph(-1));
  EXPECT_FALSE(font->LoadGlyph(96));
}

TEST(DefaultFont, GlyphsAreWhiteOnTransparentWithColumnZeroAtTheLeft) {
  const Ref<TImageFont> font = TImageFont::CreateDefault();
  const auto pixels = [&](char16_t code) { return font->LoadImageGlyph(code - 32)->image->Lock(0, 1, 0); };
  // 'F' has its stem in column 1 and its bars reaching right: a mirrored decode would not.
  const Ref<TPixmap> f = pixels('F');
  EXPECT_EQ(f->GetPixel(1, 3), 0xFFFFFFFFu);
  EXPECT_EQ(f->GetPixel(1, 11), 0xFFFFFFFFu);
  EXPECT_EQ(f->GetPixel(7, 3), 0xFFFFFFFFu);
  EXPECT_EQ(f->GetPixel(0, 3), 0u);
  EXPECT_EQ(f->GetPixel(7, 4), 0u);
  EXPECT_EQ(f->GetPixel(1, 12), 0u);
  // '_' lies on row 13, near the bottom of its cell.
  EXPECT_EQ(pixels('_')->GetPixel(3, 13), 0xFFFFFFFFu);
  EXPECT_EQ(pixels('_')->GetPixel(3, 2), 0u);

  // No bit of the file is lost or added: the lit pixels of all glyphs are its set bits.
  const uint8_t* bits = EmbeddedFileData(String("tarnfont.bin"));
  int32_t setBits = 0;
  for (int32_t n = 0; n < 1536; ++n) setBits += std::popcount(bits[n]);
  int32_t lit = 0;
  for (int32_t index = 0; index < 96; ++index) {
    const Ref<TPixmap> glyph = font->LoadImageGlyph(index)->image->Lock(0, 1, 0);
    for (int32_t y = 0; y < 16; ++y) {
      for (int32_t x = 0; x < 8; ++x) {
        const uint32_t pixel = glyph->GetPixel(x, y);
        ASSERT_TRUE(pixel == 0u || pixel == 0xFFFFFFFFu) << index;
        lit += pixel != 0 ? 1 : 0;
      }
    }
  }
  EXPECT_EQ(lit, setBits);
  EXPECT_GT(setBits, 500);
}

TEST(ImageFontOverSource, TakesMetricsFromTheSourceAndMakesEachGlyphOnce) {
  const Ref<TSquareFontLoader> loader = SquareFontLoader();
  const Ref<TImageFont> font = TImageFont::Load(String("square-font::"), 12, 0);
  ASSERT_TRUE(font);
  const Ref<TSquareFont> source = loader->lastFont;
  EXPECT_EQ(font->source, source);
  EXPECT_EQ(font->CountGlyphs(), 3);
  EXPECT_EQ(font->Height(), 21);
  EXPECT_EQ(font->imageFlags, 0);
  EXPECT_EQ(font->CharToGlyph('b'), 1);
  EXPECT_EQ(font->CharToGlyph('q'), -1);

  const Ref<TImageGlyph> a = font->LoadImageGlyph(0);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->advance, 10.0f);
  EXPECT_EQ(a->offsetX, 2);
  EXPECT_EQ(a->offsetY, 3);
  EXPECT_EQ(a->glyphWidth, 4);
  EXPECT_EQ(a->glyphHeight, 4);
  ASSERT_TRUE(a->image);
  EXPECT_EQ(a->image->width, 4);
  EXPECT_EQ(a->image->flags, 0);
  EXPECT_EQ(font->LoadImageGlyph(0), a);
  EXPECT_EQ(source->glyphsMade, 1);

  // The image holds a copy: the source's pixmap may change afterwards.
  source->square->Fill(0xFF00FF00u);
  EXPECT_EQ(a->image->Lock(0, 1, 0)->GetPixel(1, 1), 0xFFFF0000u);

  const Ref<TImageGlyph> c = font->LoadImageGlyph(2);
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->image);
  EXPECT_EQ(c->advance, 10.75f);

  EXPECT_FALSE(font->LoadImageGlyph(3));
  EXPECT_FALSE(font->LoadImageGlyph(7));
  EXPECT_FALSE(font->LoadImageGlyph(-1));
}

TEST(ImageFontOverSource, SmoothStyleAsksForFilteredMipmappedGlyphs) {
  SquareFontLoader();
  const Ref<TImageFont> font = TImageFont::Load(String("square-font::"), 12, FontSmooth | 1);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->imageFlags, ImgFiltered | ImgMipmapped);
  EXPECT_EQ(font->Style(), FontSmooth | 1);
  EXPECT_EQ(font->LoadImageGlyph(0)->image->flags, ImgFiltered | ImgMipmapped);
}

TEST(ImageFontOverSource, NoLoaderOpeningTheUrlGivesNull) {
  SquareFontLoader();
  EXPECT_FALSE(TImageFont::Load(String("no-such-font::anything"), 12, 0));
  EXPECT_FALSE(LoadRendererFont(String("no-such-font::anything"), 12, 0));
}

class RendererTextTest : public scene_testing::Vex2DDisplayTest {};

TEST_F(RendererTextTest, DefaultFontMeasuresEightPixelsACharacterAndSixteenHigh) {
  EXPECT_EQ(GetRendererFont(), DefaultRendererFont());
  EXPECT_EQ(TextWidth(String("Hello")), 40);
  EXPECT_EQ(TextWidth(String("")), 0);
  EXPECT_EQ(TextHeight(String("")), 16);
  EXPECT_EQ(TextHeight(String("two\nlines")), 16);
  // Characters without a glyph (line feeds, codes 31 and 128 and above) measure nothing.
  EXPECT_EQ(TextWidth(String("a\nb")), 16);
  EXPECT_EQ(TextWidth(String(u"\x1f\x80\xe9x")), 8);
}

TEST_F(RendererTextTest, DrawTextPutsEveryGlyphPixelInItsCell) {
  const String text("Hello, F_!");
  ClearScreen();
  DrawText(text, 10, 20);
  const Ref<TPixmap> scene = CaptureScene();
  for (int32_t j = 0; j < text.Length(); ++j) {
    EXPECT_TRUE(GlyphDrawnAt(scene, text.At(j), [&](int32_t column, int32_t row) {
      return std::pair{10 + 8 * j + column, 20 + row};
    }));
  }
  // Nothing outside the text's 80 × 16 box.
  const Box ink = BoundsOfNot(scene, kBlack);
  EXPECT_GE(ink.x0, 10);
  EXPECT_GE(ink.y0, 20);
  EXPECT_LE(ink.x1, 90);
  EXPECT_LE(ink.y1, 36);
}

TEST_F(RendererTextTest, ScaleTwoMakesGlyphs16By32And16PixelsApart) {
  SetScale(2, 2);
  ClearScreen();
  DrawText(String("FL"), 10, 10);
  const Ref<TPixmap> scene = CaptureScene();
  for (int32_t j = 0; j < 2; ++j) {
    for (const auto& [dx, dy] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{0, 1}, std::pair{1, 1}}) {
      EXPECT_TRUE(GlyphDrawnAt(scene, j == 0 ? 'F' : 'L', [&](int32_t column, int32_t row) {
        return std::pair{10 + 16 * j + 2 * column + dx, 10 + 2 * row + dy};
      }));
    }
  }
}

TEST_F(RendererTextTest, RotationNinetyRunsTheTextDownTheScreen) {
  SetRotation(90);
  ClearScreen();
  DrawText(String("FL"), 100, 50);
  const Ref<TPixmap> scene = CaptureScene();
  // Glyph pixel (column, row) lands left of x = 100 by its row and below the pen by its column;
  // the pen moves down by 8 for the second glyph.
  for (int32_t j = 0; j < 2; ++j) {
    EXPECT_TRUE(GlyphDrawnAt(scene, j == 0 ? 'F' : 'L', [&](int32_t column, int32_t row) {
      return std::pair{99 - row, 50 + 8 * j + column};
    }));
  }
}

TEST_F(RendererTextTest, HandleAndOriginMoveTheText) {
  SetOrigin(5, 7);
  SetHandle(8, 16);
  ClearScreen();
  DrawText(String("F"), 50, 50);
  const Ref<TPixmap> scene = CaptureScene();
  // The cell's top left is at (50 + 5 - 8, 50 + 7 - 16); 'F' lights columns 1-7, rows 3-11.
  EXPECT_TRUE(GlyphDrawnAt(scene, 'F', [](int32_t column, int32_t row) {
    return std::pair{47 + column, 41 + row};
  }));
  EXPECT_EQ(BoundsOfNot(scene, kBlack), (Box{48, 44, 55, 53}));
}

TEST_F(RendererTextTest, HandleAndRotationTurnTheTextTogether) {
  // Turned by 90 degrees, the handle (8, 0) lies 8 pixels above the drawing point, where the
  // glyph's top-left corner goes, and the glyph's rows run from right to left.
  SetHandle(8, 0);
  SetRotation(90);
  ClearScreen();
  DrawText(String("F"), 50, 50);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_TRUE(GlyphDrawnAt(scene, 'F', [](int32_t column, int32_t row) {
    return std::pair{49 - row, 42 + column};
  }));
  EXPECT_TRUE(AreaIs(scene, 0, 0, kWidth, 42, kBlack));
  EXPECT_TRUE(AreaIs(scene, 50, 0, kWidth, kHeight, kBlack));
}

TEST_F(RendererTextTest, SourceGlyphOffsetsAndAdvancesTurnWithTheHandle) {
  SquareFontLoader();
  SetRendererFont(LoadRendererFont(String("square-font::"), 12, 0));
  SetHandle(4, 0);
  SetRotation(90);
  ClearScreen();
  DrawText(String("aa"), 100, 100);
  const Ref<TPixmap> scene = CaptureScene();
  // The pen starts at (100, 96); the offset (2, 3) turns into (-3, 2) and the 4 × 4 square
  // into a square to the left of its corner; the advance of 10 moves the pen down.
  EXPECT_TRUE(AreaIs(scene, 93, 98, 97, 102, kRed));
  EXPECT_TRUE(AreaIs(scene, 93, 108, 97, 112, kRed));
  EXPECT_EQ(BoundsOfNot(scene, kBlack), (Box{93, 98, 97, 112}));
}

TEST_F(RendererTextTest, ASecondContextKeepsItsOwnFont) {
  SquareFontLoader();
  const Ref<TImageFont> square = LoadRendererFont(String("square-font::"), 12, 0);
  ASSERT_TRUE(square);
  SetRendererFont(square);
  const Ref<TGraphics> second = NewGraphics(64, 48, 0, 0, 0);
  ASSERT_TRUE(second);
  MakeGraphicsCurrent(second);
  EXPECT_EQ(GetRendererFont(), DefaultRendererFont()) << "a new state starts with the default font";
  EXPECT_EQ(TextWidth(String("aa")), 16);
  MakeGraphicsCurrent(graphics_);
  EXPECT_EQ(GetRendererFont(), square);
  EXPECT_EQ(TextWidth(String("aa")), 20);
  MakeGraphicsCurrent(second);
  EXPECT_EQ(GetRendererFont(), DefaultRendererFont());
  CloseGraphics(second);
  MakeGraphicsCurrent(graphics_);
}

TEST_F(RendererTextTest, SourceGlyphsDrawAtTheirOffsetsAndSkipMissingOnes) {
  SquareFontLoader();
  const Ref<TImageFont> font = LoadRendererFont(String("square-font::"), 12, 0);
  ASSERT_TRUE(font);
  SetRendererFont(font);
  EXPECT_EQ(GetRendererFont(), font);
  EXPECT_EQ(TextHeight(String("")), 21);
  // 'z' maps past the font's glyphs and 'q' to none: both skipped; 'c' truncates 10.75 to 10.
  EXPECT_EQ(TextWidth(String("azbqc")), 30);

  ClearScreen();
  DrawText(String("azbac"), 20, 20);
  const Ref<TPixmap> scene = CaptureScene();
  EXPECT_TRUE(AreaIs(scene, 22, 23, 26, 27, kRed));
  EXPECT_TRUE(AreaIs(scene, 32, 23, 36, 27, kRed));
  EXPECT_TRUE(AreaIs(scene, 42, 23, 46, 27, kRed));
  EXPECT_EQ(BoundsOfNot(scene, kBlack), (Box{22, 23, 46, 27}));
}

TEST_F(RendererTextTest, TextWidthTruncatesEachRunningSumNotEachAdvance) {
  const Ref<TImageFont> font = TImageFont::CreateDefault();
  const auto setAdvance = [&](char16_t code, float advance) {
    font->LoadImageGlyph(font->CharToGlyph(code))->advance = advance;
  };
  setAdvance('a', -0.5f);        // 8 - 0.5 truncates to 7, where a truncated advance adds 0
  setAdvance('b', 0.99999994f);  // 8 + 0.99999994 rounds to 9 in single precision
  setAdvance('c', 3e9f);         // beyond any int: saturates
  setAdvance('d', -3e9f);
  SetRendererFont(font);
  EXPECT_EQ(TextWidth(String("Ha")), 7);
  EXPECT_EQ(TextWidth(String("Hb")), 9);
  EXPECT_EQ(TextWidth(String("Hc")), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TextWidth(String("d")), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(TextWidth(String("HH")), 16);
}

TEST_F(RendererTextTest, NullFontSelectsTheDefaultFont) {
  SquareFontLoader();
  SetRendererFont(LoadRendererFont(String("square-font::"), 12, 0));
  ASSERT_NE(GetRendererFont(), DefaultRendererFont());
  SetRendererFont(LoadRendererFont(String("no-such-font::"), 12, 0));
  EXPECT_EQ(GetRendererFont(), DefaultRendererFont());
  EXPECT_EQ(TextWidth(String("Hello")), 40);
}

}  // namespace
}  // namespace corvex
