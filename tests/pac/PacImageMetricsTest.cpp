// Text metrics of TPacImage on packed fonts built in memory: proportional and monospaced
// advances, spacing, lines, and characters the group has no frame for.
#include <gtest/gtest.h>

#include <climits>

#include "pac/PacImage.h"

namespace corvex {
namespace {

// A pac of cells 30 × 47 (frame 0 is 20 high, so that TextHeight's frame and the group's first
// frame differ) whose group "font" maps characters 32 + k to global frame k + 1; charW of
// character c is c - 60 for the letters used here, space 8.
Ref<TPac> MetricsPac() {
  constexpr int32_t kFrames = 96;
  const Ref<TPac> pac = New<TPac>();
  pac->uLeft = Array<float>(kFrames);
  pac->vTop = Array<float>(kFrames);
  pac->uRight = Array<float>(kFrames);
  pac->vBottom = Array<float>(kFrames);
  pac->widths = Array<int32_t>(kFrames);
  pac->heights = Array<int32_t>(kFrames);
  pac->charW = Array<int32_t>(kFrames);
  Array<int32_t> font(kFrames - 1);
  for (int32_t g = 0; g < kFrames; ++g) {
    pac->widths[g] = 30;
    pac->heights[g] = g == 0 ? 20 : 47;
    pac->charW[g] = g == 0 ? 99 : 32 + (g - 1) - 60;
  }
  for (int32_t k = 0; k < kFrames - 1; ++k) font[k] = k + 1;
  pac->charW[1] = 8;  // space
  pac->groups[String("font")] = font;
  return pac;
}

int32_t K(char c) {
  return c - 60;
}

class PacImageMetricsTest : public testing::Test {
 protected:
  Ref<TPacImage> image_ = TPacImage::Create(MetricsPac(), "font");
};

TEST_F(PacImageMetricsTest, CreateSharesTheGroupArray) {
  EXPECT_TRUE(image_->frames.SharesWith(image_->pac->FrameIndices("font")));
  EXPECT_EQ(image_->centred, 1);
  const Ref<TPacImage> none = TPacImage::Create(image_->pac, "nothing");
  EXPECT_TRUE(none->frames.IsEmpty());
  EXPECT_EQ(none->TextWidth("abc", 0, 0), 0) << "no group, no glyphs";
}

TEST_F(PacImageMetricsTest, WidthAddsAdvancesAndSpacingAfterEveryCharacter) {
  EXPECT_EQ(image_->TextWidth("Q", 0, 1), 30) << "monospaced: the cell width";
  EXPECT_EQ(image_->TextWidth("Q", 0, 0), K('Q'));
  EXPECT_EQ(image_->TextWidth("AB", 2, 0), K('A') + 2 + K('B') + 2);
  EXPECT_EQ(image_->TextWidth("AB", -14, 1), 2 * (30 - 14));
  EXPECT_EQ(image_->TextWidth(" ", 0, 0), 8);
  EXPECT_EQ(image_->TextWidth("", 0, 0), 0);
  EXPECT_EQ(image_->TextWidth("ABC", -40, 1), 0) << "a line of negative width is narrower than none";
}

TEST_F(PacImageMetricsTest, WidthTruncatesAfterEveryCharacter) {
  // 8.75 a character: 8, then trunc(8 + 8.75) = 16, then 24 (not 26.25).
  EXPECT_EQ(image_->TextWidth("   ", 0.75f, 0), 24);
  EXPECT_EQ(image_->TextWidth("   ", -8.5f, 0), 0) << "trunc(-0.5) is 0 each time";
}

TEST_F(PacImageMetricsTest, WidthOfSeveralLinesIsTheWidestLine) {
  EXPECT_EQ(image_->TextWidth("AB\nCDE\nF", 0, 0), K('C') + K('D') + K('E'));
  EXPECT_EQ(image_->TextWidth("CDE\nAB", 0, 1), 90);
  EXPECT_EQ(image_->TextWidth("\n\nAB", 0, 1), 60);
  EXPECT_EQ(image_->TextWidth("AB\n", 0, 1), 60);
}

TEST_F(PacImageMetricsTest, HeightCountsLinesOfTheFirstFramesHeight) {
  EXPECT_EQ(image_->TextHeight(""), 20) << "global frame 0's height, even outside the group";
  EXPECT_EQ(image_->TextHeight("Q"), 20);
  EXPECT_EQ(image_->TextHeight("a\nb\nc"), 60);
  EXPECT_EQ(image_->TextHeight("\n\n"), 60);
  const Ref<TPacImage> empty = TPacImage::Create(New<TPac>(), "font");
  EXPECT_EQ(empty->TextHeight("a\nb"), 0) << "a pac without frames has no line height";
}

TEST_F(PacImageMetricsTest, CharactersWithoutAFrameTakeNoRoom) {
  const String outside = String(u"\u0001A\u007f\u00ffB\uffff");
  EXPECT_EQ(image_->TextWidth(outside, 0, 0), K('A') + K('B')) << "the group ends at 126";
  const String onlyOutside = String(u"\u0001\u0100\uffff");
  EXPECT_EQ(image_->TextWidth(onlyOutside, 5, 1), 0);
  // A group entry that its owner pointed outside the tables is skipped too.
  image_->frames[1] = 5000;
  image_->frames[2] = -7;
  EXPECT_EQ(image_->TextWidth("!\"A", 0, 0), K('A'));
  image_->Draw(0, 0, 1);  // nothing to draw, no renderer reached
  image_->Draw(0, 0, -1);
  image_->Draw(0, 0, INT_MAX);
}

}  // namespace
}  // namespace corvex
