// Making packed fonts: layout checks, where glyphs land in their cells, the written index and
// atlas read back through TPac, and the packing tool on a real font.
#include "pac/PackedFontWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "pac/PacImage.h"
#include "runtime/Exceptions.h"
#include "tests/pac/PacTestSupport.h"

namespace corvex {
namespace {

using pac_testing::TempFolder;

// A glyph of a solid picture at a given offset from the pen.
class FakeGlyph : public TGlyph {
 public:
  FakeGlyph(Ref<TPixmap> picture, float advance, int32_t x, int32_t y)
      : picture_(std::move(picture)), advance_(advance), x_(x), y_(y) {}
  Ref<Object> Pixels() override { return picture_; }
  float Advance() override { return advance_; }
  void GetRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override {
    x = x_;
    y = y_;
    width = picture_ ? picture_->Width() : 0;
    height = picture_ ? picture_->Height() : 0;
  }

 private:
  Ref<TPixmap> picture_;
  float advance_;
  int32_t x_, y_;
};

// A font whose characters are glyphs added by the test; others are missing.
class FakeFont : public TFont {
 public:
  int32_t Style() override { return 0; }
  int32_t Height() override { return height; }
  int32_t CountGlyphs() override { return static_cast<int32_t>(glyphs.size()); }
  int32_t CharToGlyph(int32_t code) override {
    const auto found = codes.find(code);
    return found == codes.end() ? -1 : found->second;
  }
  Ref<TGlyph> LoadGlyph(int32_t index) override {
    return index >= 0 && index < CountGlyphs() ? glyphs[static_cast<std::size_t>(index)] : Ref<TGlyph>();
  }
  void Add(int32_t code, const Ref<TGlyph>& glyph) {
    codes[code] = CountGlyphs();
    glyphs.push_back(glyph);
  }

  int32_t height = 21;
  std::map<int32_t, int32_t> codes;
  std::vector<Ref<TGlyph>> glyphs;
};

Ref<TPixmap> Alpha(int32_t width, int32_t height, uint8_t alpha) {
  const Ref<TPixmap> picture = NewPixmap(width, height, PIXEL_ALPHA8, 4);
  picture->Fill(uint32_t{alpha} << 24);
  return picture;
}

// The box of pixels with any alpha in the rectangle: x0, y0 inclusive, x1, y1 exclusive.
struct InkBox {
  int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = 0, y1 = 0;
};
InkBox InkIn(const Ref<TPixmap>& atlas, int32_t left, int32_t top, int32_t width, int32_t height) {
  InkBox box;
  for (int32_t y = top; y < top + height; ++y) {
    for (int32_t x = left; x < left + width; ++x) {
      if ((atlas->GetPixel(x, y) >> 24) == 0) continue;
      box.x0 = std::min(box.x0, x);
      box.y0 = std::min(box.y0, y);
      box.x1 = std::max(box.x1, x + 1);
      box.y1 = std::max(box.y1, y + 1);
    }
  }
  return box;
}

TEST(PackedFontLayoutTest, TheDefaultsAreTheDemoLayout) {
  const PackedFontLayout layout;
  EXPECT_EQ(CheckPackedFontLayout(layout), String(""));
  int32_t x = 0;
  int32_t y = 0;
  PackedFontCell(layout, 16, x, y);
  EXPECT_EQ(x, 480);
  EXPECT_EQ(y, 0);
  PackedFontCell(layout, 17, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 47);
  PackedFontCell(layout, 94, x, y);
  EXPECT_EQ(x, 270);
  EXPECT_EQ(y, 235);
}

TEST(PackedFontLayoutTest, LayoutsThatCannotBePackedOrReadBackAreRefused) {
  const auto refused = [](void (*change)(PackedFontLayout&)) {
    PackedFontLayout layout;
    change(layout);
    return !CheckPackedFontLayout(layout).IsEmpty();
  };
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.count = 0; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.first = 31; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) {
    l.first = 0xFFFF;
    l.count = 2;
  }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.cellWidth = 0; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.cellHeight = -3; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.columns = 0; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.columns = 18; }));         // 18 × 30 > 512
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.count = 200; }));          // 12 rows × 47 > 512
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.atlasWidth = 200000; }));  // 400 MB of RGBA
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.group = ""; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.group = "#font"; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.group = "a, b"; }));
  EXPECT_TRUE(refused([](PackedFontLayout& l) { l.group = "a\nb"; }));
  EXPECT_FALSE(refused([](PackedFontLayout& l) {
    l.columns = 100;
    l.count = 17;
  })) << "only the columns in use need room";
  EXPECT_FALSE(refused([](PackedFontLayout& l) { l.group = "a,b"; }));

  PackedFontLayout bad;
  bad.count = 0;
  EXPECT_THROW(RenderPackedFont(New<FakeFont>(), bad), TRuntimeException);
}

TEST(PackedFontRenderTest, GlyphsSitWithTheirAdvanceBoxCentredAndTheLineCentred) {
  const Ref<FakeFont> font = New<FakeFont>();
  font->Add('A', New<FakeGlyph>(Alpha(10, 12, 255), 14.9f, 1, 3));  // advance 14: pen at 8
  font->Add('B', New<FakeGlyph>(Alpha(4, 4, 128), 7.0f, -2, 0));    // advance 7: pen at 11
  font->Add(' ', New<FakeGlyph>(Ref<TPixmap>(), 9.0f, 0, 0));       // no picture
  PackedFontLayout layout;
  layout.first = ' ';
  layout.count = 35;  // space to 'B'; '!' to '@' are missing
  const PackedFontSheet sheet = RenderPackedFont(font, layout);

  ASSERT_TRUE(sheet.atlas);
  EXPECT_EQ(sheet.atlas->Width(), 512);
  EXPECT_EQ(sheet.atlas->Format(), PIXEL_RGBA8888);
  EXPECT_EQ(sheet.advances[0], 9);
  EXPECT_EQ(sheet.advances['A' - ' '], 14);
  EXPECT_EQ(sheet.advances['B' - ' '], 7);
  EXPECT_EQ(sheet.advances[1], 0);
  EXPECT_EQ(sheet.missingGlyphs, 32);
  EXPECT_EQ(sheet.clippedGlyphs, 0);

  // 'A' is frame 33: column 16, row 1. Line top (47 - 21) / 2 = 13.
  const InkBox a = InkIn(sheet.atlas, 480, 47, 30, 47);
  EXPECT_EQ(a.x0, 480 + 8 + 1);
  EXPECT_EQ(a.x1, 480 + 8 + 1 + 10);
  EXPECT_EQ(a.y0, 47 + 13 + 3);
  EXPECT_EQ(a.y1, 47 + 13 + 3 + 12);
  EXPECT_EQ(sheet.atlas->GetPixel(a.x0, a.y0), 0xFFFFFFFFu) << "alpha-only glyphs are white";
  // 'B' is frame 34: column 0, row 2.
  const InkBox b = InkIn(sheet.atlas, 0, 94, 30, 47);
  EXPECT_EQ(b.x0, 11 - 2);
  EXPECT_EQ(b.y0, 94 + 13);
  EXPECT_EQ(sheet.atlas->GetPixel(b.x0, b.y0) >> 24, 128u);
  EXPECT_EQ(InkIn(sheet.atlas, 0, 0, 512, 47).x1, 0) << "the first row holds no ink";
  EXPECT_EQ(sheet.atlas->GetPixel(0, 0), 0x00FFFFFFu) << "blank is transparent white";
}

TEST(PackedFontRenderTest, InkOutsideItsCellIsCutOffAndCounted) {
  const Ref<FakeFont> font = New<FakeFont>();
  const Ref<TPixmap> coloured = NewPixmap(40, 2, PIXEL_RGBA8888, 4);
  coloured->Fill(0xFF123456);
  font->Add('a', New<FakeGlyph>(coloured, 30.0f, -5, 0));
  font->Add('b', New<FakeGlyph>(Alpha(2, 60, 255), 2.0f, 0, -20));
  PackedFontLayout layout;
  layout.first = 'a';
  layout.count = 3;
  layout.lineTop = 0;
  const PackedFontSheet sheet = RenderPackedFont(font, layout);
  EXPECT_EQ(sheet.clippedGlyphs, 2);
  EXPECT_EQ(sheet.missingGlyphs, 1);
  EXPECT_EQ(sheet.atlas->GetPixel(0, 0), 0xFF123456u) << "coloured glyphs keep their colours";
  EXPECT_EQ(sheet.atlas->GetPixel(29, 1), 0xFF123456u);
  EXPECT_EQ(sheet.atlas->GetPixel(30, 0) >> 24, 0u) << "nothing spills into the next cell";
  const InkBox b = InkIn(sheet.atlas, 30, 0, 30, 47);
  EXPECT_EQ(b.y0, 0);
  EXPECT_EQ(b.y1, 40);
  EXPECT_EQ(InkIn(sheet.atlas, 0, 47, 512, 100).x1, 0);
}

TEST(PackedFontSaveTest, WrittenFontsReadBackThroughTPac) {
  pac_testing::InitPacTestModules();
  TempFolder folder;
  const Ref<FakeFont> font = New<FakeFont>();
  font->Add('x', New<FakeGlyph>(Alpha(6, 6, 255), 11.0f, 0, 0));
  font->Add('y', New<FakeGlyph>(Alpha(6, 6, 255), 13.0f, 0, 0));
  PackedFontLayout layout;
  layout.first = 'x';
  layout.count = 2;
  layout.cellWidth = 16;
  layout.cellHeight = 20;
  layout.columns = 1;
  layout.atlasWidth = 16;
  layout.atlasHeight = 40;
  layout.group = "small";
  const String index = folder.Path("small.fnt");
  ASSERT_TRUE(SavePackedFont(RenderPackedFont(font, layout), layout, index, "two\nlines"));

  std::ifstream in(index.ToBytes(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "#two lines\r\n#frames: 2\r\n#name, x, y, w, h, charW, parent, frame\r\n"
            "small, 0, 0, 16, 20, 11, small, 88\r\nsmall_2, 0, 20, 16, 20, 13, small, 89\r\n");
  EXPECT_TRUE(std::filesystem::exists(folder.Path("small.png").ToBytes()))
      << "the atlas takes the index's name";

  const Ref<TPac> pac = TPac::Load(index, 0);
  ASSERT_TRUE(pac);
  ASSERT_TRUE(pac->image);
  EXPECT_EQ(pac->image->height, 40);
  const Ref<TPacImage> image = TPacImage::Create(pac, "small");
  EXPECT_EQ(image->frames.Length(), 'y' - 32 + 1) << "group frames are numbered by character";
  EXPECT_EQ(image->TextWidth("xyx", 0, 0), 35);
  EXPECT_EQ(image->TextHeight("x\ny"), 40);
  EXPECT_FLOAT_EQ(pac->vTop[1], 20.0f / 64);

  EXPECT_FALSE(SavePackedFont(RenderPackedFont(font, layout), layout, folder.Path("no/such/dir/f.pac"), ""));
}

#ifdef CORVEX_PACKFONT_TOOL
// Runs the packing tool with the arguments, its output going to tool.log; answers its exit
// status (read back from a file, as the shell reports it).
int RunPackFont(const std::string& arguments, const TempFolder& folder) {
  const std::string log = folder.Path("tool.log").ToBytes();
  const std::string status = folder.Path("tool.status").ToBytes();
  std::system(("timeout 60 " + std::string(CORVEX_PACKFONT_TOOL) + " " + arguments + " > " + log +
               " 2>&1; echo $? > " + status)
                  .c_str());
  std::ifstream in(status);
  int code = -1;
  in >> code;
  return code;
}

TEST(PackFontToolTest, PacksARealFontThatReadsBack) {
  const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  if (!std::filesystem::exists(kFont)) GTEST_SKIP() << "DejaVu Sans is not installed";
  pac_testing::InitPacTestModules();
  TempFolder folder;
  const std::string out = folder.Path("dv.pac").ToBytes();
  ASSERT_EQ(RunPackFont(std::string("--size 29 -m Q ") + kFont + " " + out, folder), 0);
  const Ref<TPac> pac = TPac::Load(String(out.c_str()), 0);
  ASSERT_TRUE(pac);
  ASSERT_EQ(pac->FrameCount(), 95);
  ASSERT_TRUE(pac->image);
  EXPECT_EQ(pac->image->width, 512);
  const Ref<TPacImage> image = TPacImage::Create(pac, "font");
  for (int32_t k = 0; k < 95; ++k) {
    EXPECT_GE(pac->charW[k], 1);
    EXPECT_LE(pac->charW[k], 30) << "every advance fits its cell";
  }
  EXPECT_GT(image->TextWidth("W", 0, 0), image->TextWidth("i", 0, 0)) << "a proportional font";

  std::ifstream log(folder.Path("tool.log").ToBytes());
  std::stringstream report;
  report << log.rdbuf();
  EXPECT_NE(report.str().find("95 frames of 30x47"), std::string::npos) << report.str();
  EXPECT_EQ(report.str().find("cut off"), std::string::npos) << report.str();

  EXPECT_EQ(RunPackFont("--cell 0x4 a b", folder), 2);
  EXPECT_EQ(RunPackFont("--columns 40 a b", folder), 2) << "cells beyond the atlas";
  EXPECT_EQ(RunPackFont("only-one-argument", folder), 2);
  EXPECT_EQ(RunPackFont(folder.Path("missing.ttf").ToBytes() + " " + out, folder), 1);
  EXPECT_EQ(RunPackFont(std::string(kFont) + " " + folder.Path("no/dir/x.pac").ToBytes(), folder), 3);
}
#endif

}  // namespace
}  // namespace corvex
