// The demo's embedded packed font: the registered bytes are the committed asset files, the
// index has the demo's layout, and TPac/TPacImage measure what a plain reading of the index
// file gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "demo/Demo.h"
#include "demo/DemoModule.h"
#include "pac/PacImage.h"
#include "startup/FrameworkModules.h"
#include "stream/EmbeddedFiles.h"

namespace corvex {
namespace {

std::string ReadAsset(const std::string& name) {
  std::ifstream in(std::string(CORVEX_ASSET_DIR) + "/pactwo/" + name, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// One frame line of the index as sscanf reads it.
struct IndexLine {
  int x, y, w, h, charW, frame;
  std::string name, parent;
};

// The frame lines of the committed index, read with the C library alone.
std::vector<IndexLine> ReadIndexLines() {
  std::vector<IndexLine> lines;
  std::istringstream text(ReadAsset("pactwo.pac"));
  std::string line;
  while (std::getline(text, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '#') continue;
    IndexLine parsed{};
    char name[64] = {};
    char parent[64] = {};
    if (std::sscanf(line.c_str(), "%63[^,], %d, %d, %d, %d, %d, %63[^,], %d", name, &parsed.x, &parsed.y,
                    &parsed.w, &parsed.h, &parsed.charW, parent, &parsed.frame) == 8) {
      parsed.name = name;
      parsed.parent = parent;
      lines.push_back(parsed);
    }
  }
  return lines;
}

class DemoFontTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterDemoFiles();
    InitPacModule();
    InitFrameworkModules();
  }
  void SetUp() override {
    pac_ = TPac::Load(kDemoFontUrl, -1);
    ASSERT_TRUE(pac_);
    image_ = TPacImage::Create(pac_, kDemoFontGroup);
    lines_ = ReadIndexLines();
    ASSERT_EQ(lines_.size(), 95u);
  }

  // A line's width as the index file gives it: the sum of its characters' charW.
  int LineWidth(const std::string& text) const {
    int width = 0;
    for (const char c : text) width += lines_[static_cast<std::size_t>(c - 32)].charW;
    return width;
  }

  Ref<TPac> pac_;
  Ref<TPacImage> image_;
  std::vector<IndexLine> lines_;
};

TEST_F(DemoFontTest, TheEmbeddedFilesAreTheCommittedAssets) {
  const std::string index = ReadAsset("pactwo.pac");
  const std::string atlas = ReadAsset("pactwo.png");
  ASSERT_FALSE(index.empty());
  ASSERT_EQ(EmbeddedFileSize("pactwo.pac"), static_cast<int32_t>(index.size()));
  ASSERT_EQ(EmbeddedFileSize("pactwo.png"), static_cast<int32_t>(atlas.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(EmbeddedFileData("pactwo.pac")), index.size()), index);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(EmbeddedFileData("pactwo.png")), atlas.size()), atlas);
  RegisterDemoFiles();  // a second registration changes nothing
  EXPECT_EQ(EmbeddedFileData("pactwo.pac"), FindEmbeddedFile("pactwo.pac")->data);
}

TEST_F(DemoFontTest, TheIndexHasTheDemoLayout) {
  const std::string index = ReadAsset("pactwo.pac");
  EXPECT_EQ(index.rfind("#", 0), 0u) << "a first comment line";
  EXPECT_NE(index.find("\r\n#frames: 95\r\n#name, x, y, w, h, charW, parent, frame\r\n"), std::string::npos);
  EXPECT_EQ(index.substr(index.size() - 2), "\r\n");
  for (int k = 0; k < 95; ++k) {
    const IndexLine& line = lines_[static_cast<std::size_t>(k)];
    EXPECT_EQ(line.name, k == 0 ? "font" : "font_" + std::to_string(k + 1));
    EXPECT_EQ(line.x, k % 17 * 30);
    EXPECT_EQ(line.y, k / 17 * 47);
    EXPECT_EQ(line.w, 30);
    EXPECT_EQ(line.h, 47);
    EXPECT_EQ(line.parent, "font");
    EXPECT_EQ(line.frame, k);
  }
  ASSERT_TRUE(pac_->image);
  EXPECT_EQ(pac_->image->width, 512);
  EXPECT_EQ(pac_->image->height, 512);
  EXPECT_EQ(pac_->image->flags, 3) << "flags -1: the default image flags";
  EXPECT_EQ(pac_->image->pixmaps[0]->Format(), PIXEL_RGBA8888);
}

TEST_F(DemoFontTest, TablesMatchTheIndexFile) {
  ASSERT_EQ(pac_->FrameCount(), 95);
  EXPECT_EQ(pac_->FirstFrame("font"), 0);
  ASSERT_EQ(image_->frames.Length(), 95);
  for (int32_t k = 0; k < 95; ++k) {
    const IndexLine& line = lines_[static_cast<std::size_t>(k)];
    EXPECT_EQ(image_->frames[k], k);
    EXPECT_EQ(pac_->charW[k], line.charW);
    EXPECT_EQ(pac_->widths[k], 30);
    EXPECT_FLOAT_EQ(pac_->uLeft[k], static_cast<float>(line.x) / 512);
    EXPECT_FLOAT_EQ(pac_->vBottom[k], static_cast<float>(line.y + 47) / 512);
  }
}

TEST_F(DemoFontTest, MeasuresMatchTheIndexFile) {
  const String paragraph(kDemoParagraph);
  EXPECT_EQ(paragraph.Length(), 128);
  const int widest = std::max({LineWidth("Centered Text dolor sit amet, consectetuer"),
                               LineWidth("adipiscing elit, sed diam nonummy euismod"),
                               LineWidth("dolore magna aliquam erat volutpat laoreet.")});
  EXPECT_EQ(image_->TextWidth(paragraph, 0, 0), widest);
  EXPECT_EQ(image_->TextHeight(paragraph), 141);
  EXPECT_EQ(image_->TextHeight(""), 47);
  EXPECT_EQ(image_->TextWidth("Q", 0, 1), 30);
  EXPECT_EQ(image_->TextWidth("Q", 0, 0), LineWidth("Q"));
  EXPECT_EQ(image_->TextWidth(" ", 0, 0), LineWidth(" "));
  EXPECT_EQ(image_->TextWidth(paragraph, -14, 1), 43 * 16) << "the widest line has 43 characters";

  // The figures this font reaches (assets/pactwo/README.md); the design had 646, 24 and 8.
  EXPECT_EQ(widest, 647);
  EXPECT_EQ(LineWidth("Q"), 24);
  EXPECT_EQ(LineWidth(" "), 9);
  int lowest = 99;
  int highest = 0;
  for (const IndexLine& line : lines_) {
    lowest = std::min(lowest, line.charW);
    highest = std::max(highest, line.charW);
  }
  EXPECT_EQ(lowest, 7);
  EXPECT_EQ(highest, 30);
}

}  // namespace
}  // namespace corvex
