// Loading packed-font indices: the header pass, frame lines and comments, texture coordinates
// against the atlas's power-of-two size, the group map, and indices that are wrong.
#include "pac/Pac.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>

#include "runtime/Exceptions.h"
#include "stream/EmbeddedFiles.h"
#include "tests/pac/PacTestSupport.h"

namespace corvex {
namespace {

using pac_testing::SolidPixmap;
using pac_testing::TempFolder;
using pac_testing::WritePng;

// The demo's layout: 95 cells of 30 × 47, 17 to a row, group "font", CR LF line ends.
std::string DemoLikeIndex() {
  std::string text = "#C:/fonts/pactwo.pac\r\n#frames: 95\r\n#name, x, y, w, h, charW, parent, frame\r\n";
  for (int k = 0; k < 95; ++k) {
    const std::string name = k == 0 ? "font" : "font_" + std::to_string(k + 1);
    text += name + ", " + std::to_string(k % 17 * 30) + ", " + std::to_string(k / 17 * 47) + ", 30, 47, " +
            std::to_string(k == 1 ? 13 : 8 + k % 20) + ", font, " + std::to_string(k) + "\r\n";
  }
  return text;
}

class PacTest : public testing::Test {
 protected:
  void SetUp() override { pac_testing::InitPacTestModules(); }

  // Writes the index as "<name>.pac" beside a width × height atlas "<name>.png" (none for 0)
  // and loads it.
  Ref<TPac> LoadIndex(const std::string& index, int32_t atlasWidth = 512, int32_t atlasHeight = 512) {
    if (atlasWidth > 0) WritePng(SolidPixmap(atlasWidth, atlasHeight, 0xFFFFFFFF), folder_.Path("font.png"));
    return TPac::Load(folder_.Write("font.pac", index), 0);
  }

  TempFolder folder_;
};

TEST_F(PacTest, DemoLikeIndexFillsEveryTableAndOneGroup) {
  const Ref<TPac> pac = LoadIndex(DemoLikeIndex());
  ASSERT_TRUE(pac);
  ASSERT_TRUE(pac->image) << "the atlas is the index's name with .png";
  EXPECT_EQ(pac->image->width, 512);
  EXPECT_EQ(pac->FrameCount(), 95);
  for (const auto* table : {&pac->uLeft, &pac->vTop, &pac->uRight, &pac->vBottom})
    EXPECT_EQ(table->Length(), 95);
  EXPECT_EQ(pac->heights.Length(), 95);
  EXPECT_EQ(pac->charW.Length(), 95);

  EXPECT_FLOAT_EQ(pac->uLeft[1], 30.0f / 512);
  EXPECT_FLOAT_EQ(pac->vTop[1], 0.0f);
  EXPECT_FLOAT_EQ(pac->uRight[1], 60.0f / 512);
  EXPECT_FLOAT_EQ(pac->vBottom[1], 47.0f / 512);
  EXPECT_EQ(pac->widths[1], 30);
  EXPECT_EQ(pac->heights[1], 47);
  EXPECT_EQ(pac->charW[1], 13);
  // The last cell: row 5, column 9.
  EXPECT_FLOAT_EQ(pac->uLeft[94], 270.0f / 512);
  EXPECT_FLOAT_EQ(pac->vBottom[94], 282.0f / 512);

  ASSERT_EQ(pac->groups.size(), 1u);
  EXPECT_EQ(pac->FirstFrame("font"), 0);
  const Array<int32_t> frames = pac->FrameIndices("font");
  ASSERT_EQ(frames.Length(), 95);
  for (int32_t k = 0; k < 95; ++k) EXPECT_EQ(frames[k], k);
  EXPECT_TRUE(frames.SharesWith(pac->FrameIndices("font"))) << "the group's own array, not a copy";
}

TEST_F(PacTest, OnlyTheFirstExactHeaderCountsWhereverItStands) {
  const Ref<TPac> pac = LoadIndex(
      "#made by hand\n"
      "#frames:5\n"  // no space after the colon: an ordinary comment
      "#frames: 2\n"
      "a, 1, 2, 3, 4, 5, g, 0\n"
      "#frames: 9\n"  // a later header is a comment too
      "b, 6, 7, 8, 9, 10, g, 1\n");
  ASSERT_TRUE(pac);
  EXPECT_EQ(pac->FrameCount(), 2);
  EXPECT_EQ(pac->charW[0], 5);
  EXPECT_EQ(pac->charW[1], 10) << "comment lines between frames take no frame index";
}

TEST_F(PacTest, BlankAndShortLinesAreFrameLinesWithEmptyFields) {
  const Ref<TPac> pac = LoadIndex(
      "#frames: 4\r\n"
      "a, 64, 32, 16, 8, 7, g, 2\r\n"
      "\r\n"                              // blank: every field empty
      "short, 128\r\n"                    // x only
      "c, 0, 0, 1, 1, 3, g, 0 junk\r\n",  // the last field keeps what follows it
      256, 128);
  ASSERT_TRUE(pac);
  ASSERT_EQ(pac->FrameCount(), 4);
  EXPECT_FLOAT_EQ(pac->uLeft[0], 64.0f / 256);
  EXPECT_FLOAT_EQ(pac->vTop[0], 32.0f / 128);
  EXPECT_FLOAT_EQ(pac->uRight[0], 80.0f / 256);
  EXPECT_FLOAT_EQ(pac->vBottom[0], 40.0f / 128);

  EXPECT_EQ(pac->widths[1], 0);
  EXPECT_EQ(pac->charW[1], 0);
  EXPECT_FLOAT_EQ(pac->uLeft[2], 0.5f);
  EXPECT_EQ(pac->widths[2], 0);

  // The blank and short lines belong to the group "" as its frame 0, the later one winning.
  EXPECT_EQ(pac->FrameIndices("").Length(), 1);
  EXPECT_EQ(pac->FirstFrame(""), 2);
  const Array<int32_t> g = pac->FrameIndices("g");
  ASSERT_EQ(g.Length(), 3);
  EXPECT_EQ(g[0], 3) << "'0 junk' reads as 0";
  EXPECT_EQ(g[2], 0);
}

TEST_F(PacTest, FractionalSizesTruncateButCoordinatesKeepTheFraction) {
  const Ref<TPac> pac = LoadIndex("#frames: 1\nf, 10.5, 0, 30.9, 47.99, 8, font, 0\n");
  ASSERT_TRUE(pac);
  EXPECT_EQ(pac->widths[0], 30);
  EXPECT_EQ(pac->heights[0], 47);
  EXPECT_FLOAT_EQ(pac->uLeft[0], 10.5f / 512);
  EXPECT_FLOAT_EQ(pac->uRight[0], (10.5f + 30.9f) / 512);
}

TEST_F(PacTest, CoordinatesAreRelativeToThePowerOfTwoAtlasSize) {
  const Ref<TPac> pac = LoadIndex("#frames: 1\nf, 30, 10, 30, 20, 8, font, 0\n", 300, 20);
  ASSERT_TRUE(pac);
  EXPECT_EQ(pac->image->width, 300);
  EXPECT_FLOAT_EQ(pac->uLeft[0], 30.0f / 512);
  EXPECT_FLOAT_EQ(pac->uRight[0], 60.0f / 512);
  EXPECT_FLOAT_EQ(pac->vTop[0], 10.0f / 32);
  EXPECT_FLOAT_EQ(pac->vBottom[0], 30.0f / 32);
}

TEST_F(PacTest, AnAtlasThatDoesNotLoadLeavesTheTablesInPixels) {
  const Ref<TPac> pac = LoadIndex("#frames: 1\nf, 30, 10, 30, 20, 8, font, 0\n", 0);
  ASSERT_TRUE(pac);
  EXPECT_FALSE(pac->image);
  EXPECT_FLOAT_EQ(pac->uLeft[0], 30.0f) << "a missing atlas counts as 1 × 1";
  EXPECT_FLOAT_EQ(pac->vBottom[0], 30.0f);
  EXPECT_EQ(pac->widths[0], 30);
  pac->DrawFrame(0, 0, 0, 0, 0);  // nothing to draw with, and no error
}

TEST_F(PacTest, GroupsKeepGapsAndLaterLinesOverwrite) {
  const Ref<TPac> pac = LoadIndex(
      "#frames: 5\n"
      "a, 0, 0, 1, 1, 1, walk, 0\n"
      "b, 0, 0, 1, 1, 1, walk, 1\n"
      "c, 0, 0, 1, 1, 1, walk, 5\n"
      "d, 0, 0, 1, 1, 1, Walk, 0\n"  // names are case-sensitive
      "e, 0, 0, 1, 1, 1, walk, 1\n");
  ASSERT_TRUE(pac);
  const Array<int32_t> walk = pac->FrameIndices("walk");
  ASSERT_EQ(walk.Length(), 6);
  EXPECT_EQ(walk[0], 0);
  EXPECT_EQ(walk[1], 4);
  for (int32_t k = 2; k <= 4; ++k) EXPECT_EQ(walk[k], 0) << "gaps point at the first frame line";
  EXPECT_EQ(walk[5], 2);
  EXPECT_EQ(pac->FirstFrame("Walk"), 3);

  EXPECT_EQ(pac->FirstFrame("run"), 0);
  EXPECT_TRUE(pac->FrameIndices("run").IsEmpty());
}

TEST(PacFunctionsTest, SplitFieldCutsAtTheFirstSeparator) {
  String text("font_2, 30, 0");
  EXPECT_EQ(TPac::SplitField(text, ", "), String("font_2"));
  EXPECT_EQ(text, String("30, 0"));
  EXPECT_EQ(TPac::SplitField(text, ", "), String("30"));
  EXPECT_EQ(TPac::SplitField(text, ", "), String("0"));
  EXPECT_EQ(text, String(""));
  EXPECT_EQ(TPac::SplitField(text, ", "), String(""));

  String noComma("a,b ,c");
  EXPECT_EQ(TPac::SplitField(noComma, ", "), String("a,b ,c")) << "only comma and space separate";
  EXPECT_EQ(noComma, String(""));
  String leading(", x");
  EXPECT_EQ(TPac::SplitField(leading, ", "), String(""));
  EXPECT_EQ(leading, String("x"));
}

TEST(PacFunctionsTest, NextPow2) {
  EXPECT_EQ(TPac::NextPow2(INT_MIN), 1.0f);
  EXPECT_EQ(TPac::NextPow2(0), 1.0f);
  EXPECT_EQ(TPac::NextPow2(1), 1.0f);
  EXPECT_EQ(TPac::NextPow2(2), 2.0f);
  EXPECT_EQ(TPac::NextPow2(3), 4.0f);
  EXPECT_EQ(TPac::NextPow2(300), 512.0f);
  EXPECT_EQ(TPac::NextPow2(512), 512.0f);
  EXPECT_EQ(TPac::NextPow2(513), 1024.0f);
  EXPECT_EQ(TPac::NextPow2(INT_MAX), 2147483648.0f);
}

TEST(PacFunctionsTest, TruncateToInt32StaysDefinedForAnyNumber) {
  EXPECT_EQ(TruncateToInt32(30.9), 30);
  EXPECT_EQ(TruncateToInt32(-30.9), -30);
  EXPECT_EQ(TruncateToInt32(1e30), INT_MAX);
  EXPECT_EQ(TruncateToInt32(-1e30), INT_MIN);
  EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::infinity()), INT_MAX);
}

// ---- Indices that are wrong: nothing is written or read outside the tables ----

TEST_F(PacTest, FrameLinesBeyondTheHeaderCountAreIgnored) {
  const Ref<TPac> pac = LoadIndex(
      "#frames: 2\n"
      "a, 0, 0, 1, 1, 1, g, 0\n"
      "b, 0, 0, 2, 2, 2, g, 1\n"
      "c, 0, 0, 3, 3, 3, g, 2\n"
      "d, 0, 0, 4, 4, 4, h, 0\n");
  ASSERT_TRUE(pac);
  EXPECT_EQ(pac->FrameCount(), 2);
  EXPECT_EQ(pac->charW.Length(), 2);
  EXPECT_EQ(pac->FrameIndices("g").Length(), 2) << "no group entry points beyond the tables";
  EXPECT_TRUE(pac->FrameIndices("h").IsEmpty());
}

TEST_F(PacTest, FewerFrameLinesThanTheHeaderLeaveZeroRows) {
  const Ref<TPac> pac = LoadIndex("#frames: 3\na, 1, 1, 5, 6, 7, g, 0\n");
  ASSERT_TRUE(pac);
  ASSERT_EQ(pac->FrameCount(), 3);
  EXPECT_EQ(pac->widths[2], 0);
  EXPECT_FLOAT_EQ(pac->uRight[2], 0.0f);
}

TEST_F(PacTest, WithoutAHeaderOrWithANegativeCountTheTablesAreEmpty) {
  for (const char* index :
       {"a, 0, 0, 1, 1, 1, g, 0\n", "#frames: -4\na, 0, 0, 1, 1, 1, g, 0\n", "", "#frames: \n"}) {
    const Ref<TPac> pac = LoadIndex(index);
    ASSERT_TRUE(pac) << index;
    EXPECT_EQ(pac->FrameCount(), 0) << index;
    EXPECT_TRUE(pac->uLeft.IsEmpty());
    EXPECT_TRUE(pac->groups.empty()) << "frames with no room join no group";
    EXPECT_EQ(pac->FirstFrame("g"), 0);
  }
}

TEST_F(PacTest, AnAbsurdFrameCountIsRejected) {
  EXPECT_FALSE(LoadIndex("#frames: 262145\n"));
  EXPECT_FALSE(LoadIndex("#frames: $7FFFFFFF\n"));
  const Ref<TPac> largest = LoadIndex("#frames: 262144\n");
  ASSERT_TRUE(largest);
  EXPECT_EQ(largest->FrameCount(), kMaxPacFrames);
}

TEST_F(PacTest, FrameNumbersOutsideTheGroupRangeJoinNoGroup) {
  const Ref<TPac> pac = LoadIndex(
      "#frames: 4\n"
      "a, 0, 0, 1, 1, 1, g, -1\n"
      "b, 0, 0, 1, 1, 1, g, 65536\n"
      "c, 0, 0, 1, 1, 1, g, 99999999999\n"  // wraps to a 32-bit value: still out of range
      "d, 0, 0, 1, 1, 9, h, 65535\n");
  ASSERT_TRUE(pac);
  EXPECT_EQ(pac->FrameCount(), 4);
  EXPECT_TRUE(pac->FrameIndices("g").IsEmpty());
  const Array<int32_t> h = pac->FrameIndices("h");
  ASSERT_EQ(h.Length(), 65536);
  EXPECT_EQ(h[65535], 3);
}

TEST_F(PacTest, NonNumericFieldsReadAsZeroOrTheirNumericStart) {
  const Ref<TPac> pac = LoadIndex(
      "#frames: 3\n"
      "a, abc, 1e1, x3, 4.5q, zz, g, q\n"
      "b, nan, inf, 1e39, -1e39, $1F, g, %11\n"
      "c, 0x10, -Infinity, 0X8p1, 2, 1, g, 2\n");
  ASSERT_TRUE(pac);
  EXPECT_FLOAT_EQ(pac->uLeft[0], 0.0f);
  EXPECT_FLOAT_EQ(pac->vTop[0], 10.0f / 512);
  EXPECT_EQ(pac->widths[0], 0);
  EXPECT_EQ(pac->heights[0], 4);
  EXPECT_EQ(pac->charW[0], 0);
  EXPECT_EQ(pac->FirstFrame("g"), 0);
  // Numbers beyond any size stay defined.
  EXPECT_EQ(pac->widths[1], INT_MAX);
  EXPECT_EQ(pac->heights[1], INT_MIN);
  EXPECT_EQ(pac->charW[1], 31) << "integers take the runtime's $ and % forms";
  EXPECT_EQ(pac->FrameIndices("g").Length(), 4);
  // Floats are decimal only: "nan", "inf" and hexadecimal read as 0 (hexadecimal as its 0).
  EXPECT_EQ(pac->uLeft[1], 0.0f);
  EXPECT_EQ(pac->vTop[1], 0.0f);
  EXPECT_EQ(pac->uLeft[2], 0.0f);
  EXPECT_EQ(pac->vTop[2], 0.0f);
  EXPECT_EQ(pac->widths[2], 0);
  EXPECT_EQ(pac->heights[2], 2);
}

TEST_F(PacTest, AnIndexThatDoesNotOpenGivesNull) {
  EXPECT_FALSE(TPac::Load(folder_.Path("missing.pac"), 0));
  EXPECT_FALSE(TPac::Load("nosuchprotocol::font.pac", 0));
}

TEST_F(PacTest, AnIndexFromAnEmbeddedFileFindsItsEmbeddedAtlas) {
  static const char kIndex[] = "#frames: 1\nf, 0, 0, 4, 4, 4, g, 0\n";
  WritePng(SolidPixmap(4, 4, 0xFF00FF00), folder_.Path("a.png"));
  static ByteArray atlas;  // embedded bytes must outlive the registry
  atlas = LoadAllBytes(folder_.Path("a.png"));
  AddEmbeddedFile("pac-test-embedded.pac", kIndex, static_cast<int32_t>(sizeof kIndex - 1));
  AddEmbeddedFile("pac-test-embedded.png", atlas.Data(), atlas.Length());
  const Ref<TPac> pac = TPac::Load("incbin::pac-test-embedded.pac", -1);
  ASSERT_TRUE(pac);
  ASSERT_TRUE(pac->image);
  EXPECT_EQ(pac->image->width, 4);
  EXPECT_FLOAT_EQ(pac->uRight[0], 1.0f);
}

TEST_F(PacTest, ReleaseImageDropsTheAtlasAndDrawingThenDoesNothing) {
  const Ref<TPac> pac = LoadIndex(DemoLikeIndex());
  ASSERT_TRUE(pac->image);
  pac->ReleaseImage();
  EXPECT_FALSE(pac->image);
  pac->DrawFrame(10, 10, 0, 0, 0);
  EXPECT_EQ(pac->FrameCount(), 95) << "the tables stay";
}

TEST_F(PacTest, DrawingWithoutGraphicsRaisesTheRenderersError) {
  const Ref<TPac> pac = LoadIndex(DemoLikeIndex());
  EXPECT_THROW(pac->DrawFrame(0, 0, 0, 0, 0), TRuntimeException);
}

TEST_F(PacTest, DrawFrameOutsideTheTablesDoesNothing) {
  const Ref<TPac> pac = LoadIndex(DemoLikeIndex());
  // No graphics are open: reaching the renderer would raise, so these must stop before it.
  EXPECT_NO_THROW(pac->DrawFrame(0, 0, -1, 0, 0));
  EXPECT_NO_THROW(pac->DrawFrame(0, 0, 95, 0, 0));
  EXPECT_NO_THROW(pac->DrawFrame(0, 0, INT_MAX, 0, 0));
}

}  // namespace
}  // namespace corvex
