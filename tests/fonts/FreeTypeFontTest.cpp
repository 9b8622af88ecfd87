// The FreeType loader on Debian's DejaVu fonts (fonts-dejavu-core) and on a 12-pixel bitmap
// font the test writes: opening by path and through incbin::, the size search, glyph pictures
// and placement, the smooth border, rejected files, and DejaVu text drawn through the renderer.
#include "fonts/FreeTypeFont.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "pixmap/PixelFormats.h"
#include "stream/EmbeddedFiles.h"
#include "stream/RamStream.h"
#include "tests/vex2d/SceneCapture.h"
#include "vex2d/ImageFont.h"
#include "vex2d/RendererText.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

static_assert(!std::is_copy_constructible_v<FreeTypeFace> && !std::is_copy_assignable_v<FreeTypeFace>);
static_assert(std::is_nothrow_move_constructible_v<FreeTypeFace> &&
              std::is_nothrow_move_assignable_v<FreeTypeFace>);

const std::string kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kDejaVuMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// A BDF bitmap font with one size, 12 pixels (ascent 10, descent 2): 'A' a 5 × 7 one-bit
// picture placed one pixel right of the pen on the baseline, and a picture-less space.
constexpr const char* kBitmapFont = R"(STARTFONT 2.1
FONT -corvex-test-medium-r-normal--12-120-75-75-c-80-iso10646-1
SIZE 12 75 75
FONTBOUNDINGBOX 8 12 0 -2
STARTPROPERTIES 5
PIXEL_SIZE 12
FONT_ASCENT 10
FONT_DESCENT 2
CHARSET_REGISTRY "ISO10646"
CHARSET_ENCODING "1"
ENDPROPERTIES
CHARS 2
STARTCHAR space
ENCODING 32
SWIDTH 666 0
DWIDTH 8 0
BBX 0 0 0 0
BITMAP
ENDCHAR
STARTCHAR A
ENCODING 65
SWIDTH 666 0
DWIDTH 8 0
BBX 5 7 1 0
BITMAP
20
50
88
88
F8
88
88
ENDCHAR
ENDFONT
)";
constexpr uint8_t kBitmapA[7] = {0x20, 0x50, 0x88, 0x88, 0xF8, 0x88, 0x88};

// The same size with two bits a pixel: 'A' is one row of the four grey levels 3, 2, 1, 0.
constexpr const char* kGreyBitmapFont = R"(STARTFONT 2.1
FONT -corvex-grey-medium-r-normal--12-120-75-75-c-80-iso10646-1
SIZE 12 75 75 2
FONTBOUNDINGBOX 8 12 0 -2
STARTPROPERTIES 5
PIXEL_SIZE 12
FONT_ASCENT 10
FONT_DESCENT 2
CHARSET_REGISTRY "ISO10646"
CHARSET_ENCODING "1"
ENDPROPERTIES
CHARS 1
STARTCHAR A
ENCODING 65
SWIDTH 666 0
DWIDTH 8 0
BBX 4 1 0 0
BITMAP
E4
ENDCHAR
ENDFONT
)";

// A fresh folder under the test temporary directory.
std::filesystem::path FreshFolder() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path folder =
      std::filesystem::path(::testing::TempDir()) / ("corvex-freetype-" + std::string(info->name()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

std::string WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Ref<TFreeTypeGlyph> Glyph(const Ref<TFreeTypeFont>& font, char16_t code) {
  return Cast<TFreeTypeGlyph>(font->LoadGlyph(font->CharToGlyph(code)));
}

class FreeTypeFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFreeTypeModule();
    InitRamStreamModule();
    ASSERT_TRUE(std::filesystem::exists(kDejaVuSans)) << "fonts-dejavu-core is not installed";
  }
};

TEST_F(FreeTypeFontTest, OpensAFileByPathWithItsSizeMetrics) {
  const Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(kDejaVuSans.c_str()), 32, 3);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->Style(), 3);
  EXPECT_EQ(font->PixelSize(), 32);
  // DejaVu Sans: ascender 0.93 em, descender -0.24 em, line gap 1.16 em.
  EXPECT_NEAR(font->Ascender(), 30, 1);
  EXPECT_NEAR(font->Descender(), -8, 1);
  EXPECT_NEAR(font->Height(), 37, 1);
  EXPECT_GT(font->CountGlyphs(), 3000);
}

TEST_F(FreeTypeFontTest, GlyphsAreAlphaPicturesOnTheBaseline) {
  const Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(kDejaVuSans.c_str()), 32, 0);
  ASSERT_TRUE(font);
  const Ref<TFreeTypeGlyph> h = Glyph(font, 'H');
  ASSERT_TRUE(h);
  const Ref<TPixmap> picture = Cast<TPixmap>(h->Pixels());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Format(), PIXEL_ALPHA8);
  EXPECT_EQ(picture->Width(), h->width);
  EXPECT_EQ(picture->Height(), h->height);
  // A capital sits on the baseline (the ascender below the line top) and rises about 0.73 em.
  EXPECT_EQ(h->y + h->height, font->Ascender());
  EXPECT_NEAR(h->height, 23, 1);
  EXPECT_GT(h->x, 0);
  EXPECT_GE(h->advance, h->x + h->width);
  // 'H' at this size: two solid stems, and nothing between them above and below the bar.
  EXPECT_EQ(picture->PixelAddress(1, h->height / 4)[0], 255);
  EXPECT_EQ(picture->PixelAddress(h->width - 2, h->height / 4)[0], 255);
  EXPECT_EQ(picture->PixelAddress(h->width / 2, h->height / 4)[0], 0);
  EXPECT_EQ(Glyph(font, 'H'), h) << "glyphs are loaded once";

  const Ref<TFreeTypeGlyph> g = Glyph(font, 'g');
  EXPECT_GT(g->y + g->height, font->Ascender()) << "a descender reaches below the baseline";

  const Ref<TFreeTypeGlyph> space = Glyph(font, ' ');
  ASSERT_TRUE(space);
  EXPECT_EQ(space->width, 0);
  EXPECT_FALSE(space->Pixels());
  EXPECT_GT(space->Advance(), 0.0f);
}

TEST_F(FreeTypeFontTest, CharactersAndIndicesOutsideTheFontAreChecked) {
  const Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(kDejaVuSans.c_str()), 16, 0);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->CharToGlyph(0xFFFF), -1);
  EXPECT_EQ(font->CharToGlyph(0), -1);
  EXPECT_EQ(font->CharToGlyph(-5), -1);
  EXPECT_GE(font->CharToGlyph('A'), 0);
  EXPECT_FALSE(font->LoadGlyph(-1));
  EXPECT_FALSE(font->LoadGlyph(font->CountGlyphs()));
  // The last index is FreeType's glyph count, one past its glyphs: an empty glyph.
  const Ref<TGlyph> last = font->LoadGlyph(font->CountGlyphs() - 1);
  ASSERT_TRUE(last);
  EXPECT_FALSE(last->Pixels());
  EXPECT_EQ(last->Advance(), 0.0f);
}

TEST_F(FreeTypeFontTest, SmoothStyleAddsATransparentBorder) {
  const Ref<TFreeTypeFont> plain = TFreeTypeFont::Load(String(kDejaVuSans.c_str()), 20, 0);
  const Ref<TFreeTypeFont> smooth = TFreeTypeFont::Load(String(kDejaVuSans.c_str()), 20, FontSmooth);
  ASSERT_TRUE(plain && smooth);
  for (const char16_t code : {u'R', u'j', u'.'}) {
    const Ref<TFreeTypeGlyph> a = Glyph(plain, code);
    const Ref<TFreeTypeGlyph> b = Glyph(smooth, code);
    EXPECT_EQ(b->x, a->x - 1);
    EXPECT_EQ(b->y, a->y - 1);
    EXPECT_EQ(b->width, a->width + 2);
    EXPECT_EQ(b->height, a->height + 2);
    EXPECT_EQ(b->advance, a->advance);
    const Ref<TPixmap> inner = a->pixels;
    const Ref<TPixmap> framed = b->pixels;
    ASSERT_EQ(framed->Width(), b->width);
    ASSERT_EQ(framed->Height(), b->height);
    for (int32_t y = 0; y < framed->Height(); ++y) {
      for (int32_t x = 0; x < framed->Width(); ++x) {
        const bool border = x == 0 || y == 0 || x == framed->Width() - 1 || y == framed->Height() - 1;
        const uint8_t expected = border ? 0 : inner->PixelAddress(x - 1, y - 1)[0];
        ASSERT_EQ(framed->PixelAddress(x, y)[0], expected) << static_cast<char>(code) << " " << x << "," << y;
      }
    }
  }
  // Image fonts over a smooth font build filtered, mipmapped glyph images.
  const Ref<TImageFont> image = TImageFont::Load(String(kDejaVuSans.c_str()), 20, FontSmooth);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->imageFlags, 6);
}

TEST_F(FreeTypeFontTest, IncbinUrlIsReadIntoMemory) {
  // The registry keeps the pointer for the rest of the process.
  static const std::string bytes = ReadFile(kDejaVuMono);
  AddEmbeddedFile(String("freetype-test-mono.ttf"), bytes.data(), static_cast<int32_t>(bytes.size()));
  const Ref<TFreeTypeFont> memory = TFreeTypeFont::Load(String("incbin::freetype-test-mono.ttf"), 24, 0);
  const Ref<TFreeTypeFont> file = TFreeTypeFont::Load(String(kDejaVuMono.c_str()), 24, 0);
  ASSERT_TRUE(memory && file);
  EXPECT_EQ(memory->Height(), file->Height());
  EXPECT_EQ(memory->CountGlyphs(), file->CountGlyphs());
  const Ref<TFreeTypeGlyph> fromMemory = Glyph(memory, 'W');
  const Ref<TFreeTypeGlyph> fromFile = Glyph(file, 'W');
  EXPECT_EQ(fromMemory->width, fromFile->width);
  EXPECT_EQ(fromMemory->advance, fromFile->advance);

  // Through the loader chain as well.
  EXPECT_TRUE(IsA<TFreeTypeFont>(LoadFont(String("incbin::freetype-test-mono.ttf"), 24, 0)));
}

TEST_F(FreeTypeFontTest, BitmapFontOpensAtItsLargestSizeNotAboveTheRequest) {
  const std::string path = WriteFile(FreshFolder() / "bitmap12.bdf", kBitmapFont);
  const Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(path.c_str()), 16, 0);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->PixelSize(), 12);
  EXPECT_EQ(font->Height(), 12);
  EXPECT_EQ(font->Ascender(), 10);
  EXPECT_FALSE(TFreeTypeFont::Load(String(path.c_str()), 11, 0)) << "no size at or below 11";
  EXPECT_FALSE(TFreeTypeFont::Load(String(path.c_str()), 0, 0));

  // The one-bit picture expands most significant bit first, set bits opaque.
  const Ref<TFreeTypeGlyph> a = Glyph(font, 'A');
  ASSERT_TRUE(a && a->pixels);
  EXPECT_EQ(a->x, 1);
  EXPECT_EQ(a->y, 3);
  EXPECT_EQ(a->width, 5);
  EXPECT_EQ(a->height, 7);
  EXPECT_EQ(a->advance, 8.0f);
  for (int32_t y = 0; y < 7; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(a->pixels->PixelAddress(x, y)[0], (kBitmapA[y] >> (7 - x)) & 1 ? 255 : 0) << x << "," << y;
    }
  }
  const Ref<TFreeTypeFont> smooth = TFreeTypeFont::Load(String(path.c_str()), 12, FontSmooth);
  const Ref<TFreeTypeGlyph> framed = Glyph(smooth, 'A');
  EXPECT_EQ(framed->x, 0);
  EXPECT_EQ(framed->y, 2);
  EXPECT_EQ(framed->width, 7);
  EXPECT_EQ(framed->height, 9);
  EXPECT_EQ(font->CharToGlyph('B'), -1);
}

TEST_F(FreeTypeFontTest, LargeSizesOpenAndGlyphsTooLargeForAPixmapKeepTheirMetrics) {
  const String path(kDejaVuSans.c_str());
  const Ref<TFreeTypeFont> large = TFreeTypeFont::Load(path, 3000, 0);
  ASSERT_TRUE(large);
  EXPECT_EQ(large->PixelSize(), 3000);
  const Ref<TFreeTypeGlyph> dot = Glyph(large, '.');
  ASSERT_TRUE(dot && dot->pixels);
  EXPECT_GT(dot->width, 300);
  EXPECT_EQ(dot->pixels->Width(), dot->width);

  // FreeType's largest size takes any larger request; a letter there would need gigabytes, so
  // it comes without a picture but with its place and advance.
  const Ref<TFreeTypeFont> huge = TFreeTypeFont::Load(path, 2000000, 0);
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->PixelSize(), kMaxFreeTypePixelSize);
  const Ref<TFreeTypeGlyph> w = Glyph(huge, 'W');
  ASSERT_TRUE(w);
  EXPECT_FALSE(w->pixels);
  EXPECT_GT(w->advance, 60000.0f);
  EXPECT_GT(w->width, 60000);
  EXPECT_GT(w->height, 40000);
  EXPECT_LT(w->y, huge->Ascender());
}

TEST_F(FreeTypeFontTest, BitmapGlyphWithABoxButNoBitsIsEmptyButKeepsItsPlace) {
  // 'A' declares a 5 × 7 box and then no BITMAP section: FreeType hands back a bitmap of that
  // size whose buffer is null.
  std::string font = kBitmapFont;
  const std::size_t bits = font.find("BITMAP\n20");
  ASSERT_NE(bits, std::string::npos);
  font.erase(bits, font.find("ENDCHAR", bits) - bits);
  for (const int32_t style : {0, FontSmooth}) {
    const std::string path = WriteFile(FreshFolder() / "nobits.bdf", font);
    const Ref<TFreeTypeFont> loaded = TFreeTypeFont::Load(String(path.c_str()), 12, style);
    ASSERT_TRUE(loaded);
    const Ref<TFreeTypeGlyph> a = Glyph(loaded, 'A');
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->pixels);
    EXPECT_EQ(a->advance, 8.0f);
    EXPECT_EQ(a->x, 1);
    EXPECT_EQ(a->y, 3);
    const Ref<TImageFont> image = TImageFont::Load(String(path.c_str()), 12, style);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->LoadImageGlyph(image->CharToGlyph('A'))->advance, 8.0f);
  }
}

TEST_F(FreeTypeFontTest, TwoBitGreyBitmapsSpreadOverTheWholeAlphaRange) {
  const std::string path = WriteFile(FreshFolder() / "grey12.bdf", kGreyBitmapFont);
  const Ref<TFreeTypeFont> font = TFreeTypeFont::Load(String(path.c_str()), 12, 0);
  ASSERT_TRUE(font);
  const Ref<TFreeTypeGlyph> a = Glyph(font, 'A');
  ASSERT_TRUE(a && a->pixels);
  ASSERT_EQ(a->pixels->Width(), 4);
  ASSERT_EQ(a->pixels->Height(), 1);
  const uint8_t* row = a->pixels->PixelAddress(0, 0);
  EXPECT_EQ(row[0], 255);
  EXPECT_EQ(row[1], 170);
  EXPECT_EQ(row[2], 85);
  EXPECT_EQ(row[3], 0);
}

TEST_F(FreeTypeFontTest, UnreadableFontsGiveNullAndTheRendererKeepsItsDefault) {
  const std::filesystem::path folder = FreshFolder();
  const std::string garbage = WriteFile(folder / "garbage.ttf", std::string(4096, '\x5a'));
  const std::string truncated = WriteFile(folder / "truncated.ttf", ReadFile(kDejaVuSans).substr(0, 600));
  const std::string empty = WriteFile(folder / "empty.ttf", "");
  static const char kNothing[1] = {0};
  AddEmbeddedFile(String("freetype-test-empty.ttf"), kNothing, 0);
  for (const std::string& url :
       {garbage, truncated, empty, (folder / "missing.ttf").string(), std::string("incbin::no-such-font.ttf"),
        std::string("incbin::freetype-test-empty.ttf"), std::string("::") + kDejaVuSans, std::string("")}) {
    EXPECT_FALSE(TFreeTypeFont::Load(String(url.c_str()), 16, 0)) << url;
    EXPECT_FALSE(TImageFont::Load(String(url.c_str()), 16, 0)) << url;
  }
  // Sizes no font is opened at.
  for (const int32_t size : {0, -1, -2147483647 - 1}) {
    EXPECT_FALSE(TFreeTypeFont::Load(String(kDejaVuSans.c_str()), size, 0)) << size;
  }
  // The loader takes string URLs only.
  TFreeTypeFontLoader loader;
  EXPECT_FALSE(loader.LoadFont(Url(), 16, 0));
  EXPECT_FALSE(loader.LoadFont(Url(New<TStringObject>(String(""))), 16, 0));
}

class FreeTypeTextTest : public scene_testing::Vex2DDisplayTest {
 protected:
  void SetUp() override {
    InitFreeTypeModule();
    scene_testing::Vex2DDisplayTest::SetUp();
  }
};

TEST_F(FreeTypeTextTest, DejaVuTextIsDrawnAntialiasedWithinItsMeasure) {
  const Ref<TImageFont> font = LoadRendererFont(String(kDejaVuSans.c_str()), 32, 0);
  ASSERT_TRUE(font);
  SetRendererFont(font);
  SetBlendMode(BlendAlpha);
  const String text("Corvex lily");
  const int32_t width = TextWidth(text);
  EXPECT_EQ(TextHeight(text), font->Height());
  // DejaVu Sans is about 0.55 em a character on average.
  EXPECT_GT(width, 11 * 12);
  EXPECT_LT(width, 11 * 24);

  ClearScreen();
  DrawText(text, 20, 40);
  const Ref<TPixmap> scene = scene_testing::CaptureScene();
  const scene_testing::Box ink = scene_testing::BoundsOfNot(scene, 0);
  EXPECT_GE(ink.x0, 20);
  EXPECT_LE(ink.x1, 20 + width);
  EXPECT_GE(ink.y0, 40);
  EXPECT_LE(ink.y1, 40 + font->Height());
  EXPECT_GT(ink.x1 - ink.x0, width - 8);
  // Antialiased edges: grey between the white strokes and the black background.
  int32_t white = 0, grey = 0;
  for (int32_t y = ink.y0; y < ink.y1; ++y) {
    for (int32_t x = ink.x0; x < ink.x1; ++x) {
      const uint32_t rgb = scene_testing::Rgb(scene, x, y);
      white += rgb == 0xFFFFFF ? 1 : 0;
      grey += rgb != 0xFFFFFF && rgb != 0 ? 1 : 0;
    }
  }
  EXPECT_GT(white, 200);
  EXPECT_GT(grey, 100);
}

TEST_F(FreeTypeTextTest, MonospacedDejaVuMeasuresTheSameForEveryLetter) {
  const Ref<TImageFont> font = LoadRendererFont(String(kDejaVuMono.c_str()), 32, FontSmooth);
  ASSERT_TRUE(font);
  SetRendererFont(font);
  const int32_t one = TextWidth(String("H"));
  // DejaVu Sans Mono advances 0.6 em.
  EXPECT_NEAR(one, 19, 1);
  EXPECT_EQ(TextWidth(String("iiiii")), 5 * one);
  EXPECT_EQ(TextWidth(String("WWWWW")), 5 * one);

  // A smooth font draws through filtered, mipmapped images: the glyphs land where measured.
  SetBlendMode(BlendAlpha);
  ClearScreen();
  DrawText(String("MMMM"), 30, 30);
  const Ref<TPixmap> scene = scene_testing::CaptureScene();
  const scene_testing::Box ink = scene_testing::BoundsOfNot(scene, 0);
  EXPECT_GE(ink.x0, 30);
  EXPECT_LE(ink.x1, 30 + 4 * one + 1);
  EXPECT_GT(ink.x1 - ink.x0, 3 * one);
}

}  // namespace
}  // namespace corvex
