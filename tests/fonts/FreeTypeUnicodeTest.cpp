// Unicode text through FreeType fonts and the renderer: what is drawn is compared pixel by
// pixel with glyphs FreeType renders directly here (DejaVu Sans, with and without kerning),
// widths with FreeType's advances, and ten thousand CJK characters fill the shared texture
// pages (WenQuanYi Micro Hei, fonts-wqy-microhei).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fonts/FreeTypeFont.h"
#include "tests/vex2d/SceneCapture.h"
#include "vex2d/GLTexturePages.h"
#include "vex2d/ImageFont.h"
#include "vex2d/RendererText.h"

namespace corvex {
namespace {

const std::string kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kMicroHei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// The text as FreeType itself lays it out: the pen starts at (x, y), y being the line's top;
// each glyph's coverage is added to `canvas` (width × height, clipped) and the answer is the
// pen's travel in whole pixels.
class FreeTypeReference {
 public:
  FreeTypeReference(const std::string& path, int size) {
    if (FT_Init_FreeType(&library_) != 0 || FT_New_Face(library_, path.c_str(), 0, &face_) != 0 ||
        FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(size)) != 0) {
      face_ = nullptr;
    }
  }
  ~FreeTypeReference() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }
  FreeTypeReference(const FreeTypeReference&) = delete;
  FreeTypeReference& operator=(const FreeTypeReference&) = delete;

  bool Ok() const { return face_ != nullptr; }

  int32_t Lay(const String& text, bool kerning, int32_t x, int32_t y, std::vector<uint8_t>* canvas = nullptr,
              int32_t width = 0, int32_t height = 0) {
    const int32_t ascender = static_cast<int32_t>(face_->size->metrics.ascender >> 6);
    int32_t pen = 0;
    FT_UInt previous = 0;
    for (int32_t at = 0, units = 1; at < text.Length(); at += units) {
      const FT_UInt index = FT_Get_Char_Index(face_, static_cast<FT_ULong>(text.CodePointAt(at, units)));
      if (index == 0) continue;
      if (kerning && previous != 0) {
        FT_Vector delta{};
        FT_Get_Kerning(face_, previous, index, FT_KERNING_DEFAULT, &delta);
        pen += static_cast<int32_t>(delta.x >> 6);
      }
      previous = index;
      if (FT_Load_Glyph(face_, index, FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot slot = face_->glyph;
      for (int32_t row = 0; canvas != nullptr && row < static_cast<int32_t>(slot->bitmap.rows); ++row) {
        for (int32_t column = 0; column < static_cast<int32_t>(slot->bitmap.width); ++column) {
          const int32_t px = x + pen + slot->bitmap_left + column;
          const int32_t py = y + ascender - slot->bitmap_top + row;
          if (px < 0 || py < 0 || px >= width || py >= height) continue;
          const int32_t sum =
              (*canvas)[py * width + px] + slot->bitmap.buffer[row * slot->bitmap.pitch + column];
          (*canvas)[py * width + px] = static_cast<uint8_t>(std::min(sum, 255));
        }
      }
      pen += static_cast<int32_t>(slot->advance.x >> 6);
    }
    return pen;
  }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

// Whether white text drawn with alpha blending over black shows FreeType's coverage: every
// pixel's red within two levels of it.
::testing::AssertionResult InkMatches(const Ref<TPixmap>& scene, const std::vector<uint8_t>& expected) {
  int32_t inked = 0;
  for (int32_t y = 0; y < scene->Height(); ++y) {
    for (int32_t x = 0; x < scene->Width(); ++x) {
      const int32_t want = expected[y * scene->Width() + x];
      const int32_t red = static_cast<int32_t>((scene->GetPixel(x, y) >> 16) & 0xFF);
      inked += want > 0 ? 1 : 0;
      if (std::abs(red - want) > 2) {
        return ::testing::AssertionFailure()
               << "pixel (" << x << ", " << y << ") is " << red << ", FreeType has " << want;
      }
    }
  }
  if (inked < 100) return ::testing::AssertionFailure() << "hardly any ink expected";
  return ::testing::AssertionSuccess();
}

class FreeTypeUnicodeTest : public scene_testing::Vex2DDisplayTest {
 protected:
  void SetUp() override {
    InitFreeTypeModule();
    scene_testing::Vex2DDisplayTest::SetUp();
    SetBlendMode(BlendAlpha);
    ClearScreen();
  }
};

TEST_F(FreeTypeUnicodeTest, UnicodeAndKernedTextMatchFreeTypesGlyphsAndAdvances) {
  FreeTypeReference reference(kDejaVuSans, 24);
  ASSERT_TRUE(reference.Ok()) << "fonts-dejavu-core is not installed";
  const Ref<TImageFont> plain = LoadRendererFont(String(kDejaVuSans.c_str()), 24, 0);
  const Ref<TImageFont> kerned = LoadRendererFont(String(kDejaVuSans.c_str()), 24, FontKerning);
  ASSERT_TRUE(plain && kerned);
  const String unicode =
      String::FromUtf8("caf\xC3\xA9 \xE2\x9C\x93 \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xD0\x96");
  const String avatar("AVATAR To");

  std::vector<uint8_t> expected(kWidth * kHeight, 0);
  SetRendererFont(plain);
  EXPECT_EQ(TextWidth(unicode), reference.Lay(unicode, false, 10, 20, &expected, kWidth, kHeight));
  EXPECT_EQ(TextWidth(avatar), reference.Lay(avatar, false, 0, 0));
  DrawText(unicode, 10, 20);
  SetRendererFont(kerned);
  const int32_t kernedWidth = reference.Lay(avatar, true, 10, 80, &expected, kWidth, kHeight);
  EXPECT_EQ(TextWidth(avatar), kernedWidth);
  EXPECT_LT(kernedWidth, reference.Lay(avatar, false, 0, 0));  // A-V, V-A, T-o pull together
  DrawText(avatar, 10, 80);
  EXPECT_TRUE(InkMatches(scene_testing::CaptureScene(), expected));
}

TEST_F(FreeTypeUnicodeTest, TenThousandCjkCharactersFillTheTexturePagesAndDrawRight) {
  if (!std::filesystem::exists(kMicroHei)) GTEST_SKIP() << "fonts-wqy-microhei is not installed";
  const Ref<TImageFont> font = LoadRendererFont(String(kMicroHei.c_str()), 16, 0);
  ASSERT_TRUE(font);
  SetRendererFont(font);
  std::u16string units;
  for (char16_t code = 0x4E00; code <= 0x9FFF && units.size() < 10000; ++code) {
    if (font->CharToGlyph(code) != -1) units.push_back(code);
  }
  ASSERT_EQ(units.size(), 10000u);
  int32_t pagesBefore = 0, cellsBefore = 0;
  GLTexturePageUsage(pagesBefore, cellsBefore);
  // A hundred lines of a hundred characters, drawn and then measured.
  for (std::size_t line = 0; line < 100; ++line) {
    DrawText(String(units.substr(line * 100, 100)), 0, 0);
  }
  FlipPage(0);
  int32_t pages = 0, cells = 0;
  GLTexturePageUsage(pages, cells);
  EXPECT_GE(cells - cellsBefore, 10000);
  EXPECT_GT(pages, pagesBefore);

  // Characters made last still draw as FreeType has them.
  FreeTypeReference reference(kMicroHei, 16);
  ASSERT_TRUE(reference.Ok());
  const String tail(units.substr(units.size() - 12));
  std::vector<uint8_t> expected(kWidth * kHeight, 0);
  EXPECT_EQ(TextWidth(tail), reference.Lay(tail, false, 20, 100, &expected, kWidth, kHeight));
  ClearScreen();
  DrawText(tail, 20, 100);
  EXPECT_TRUE(InkMatches(scene_testing::CaptureScene(), expected));
}

}  // namespace
}  // namespace corvex
