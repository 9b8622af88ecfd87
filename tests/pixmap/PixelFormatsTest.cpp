#include "pixmap/PixelFormats.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvex {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Convert(const Bytes& source, int32_t from, int32_t to, int32_t count) {
  Bytes out(static_cast<std::size_t>(count) * 4 + 1, 0xEE);  // one guard byte past the largest run
  ConvertPixelRun(source.data(), from, out.data(), to, count);
  return out;
}

TEST(PixelFormatsTest, OnlyFormatsWithAnAlphaByteCountAlphaBits) {
  // Images mask every pixmap whose format has no alpha bits.
  for (int32_t format = 0; format < kPixelFormatCount; ++format) {
    const bool alpha = format == PIXEL_ALPHA8 || format == PIXEL_BGRA8888 || format == PIXEL_RGBA8888 ||
                       format == PIXEL_ALPHA8_BLACK;
    EXPECT_EQ(FormatAlphaBits[format], alpha ? 8 : 0) << format;
  }
  EXPECT_EQ(FormatColourBits[PIXEL_GRAY8], 0);
}

TEST(PixelFormatsTest, ExpandingFollowsTheTableIncludingAlphaOfOne) {
  const Bytes v = {0x20};
  EXPECT_EQ(Convert(v, PIXEL_GRAY8, PIXEL_RGBA8888, 1), (Bytes{0x20, 0x20, 0x20, 255, 0xEE}));
  EXPECT_EQ(Convert(v, PIXEL_ALPHA8, PIXEL_RGBA8888, 1), (Bytes{255, 255, 255, 0x20, 0xEE}));
  EXPECT_EQ(Convert(v, PIXEL_RED8, PIXEL_RGBA8888, 1), (Bytes{0x20, 0, 0, 1, 0xEE}));
  EXPECT_EQ(Convert(v, PIXEL_GREEN8, PIXEL_RGBA8888, 1), (Bytes{0, 0x20, 0, 1, 0xEE}));
  EXPECT_EQ(Convert(v, PIXEL_BLUE8, PIXEL_RGBA8888, 1), (Bytes{0, 0, 0x20, 1, 0xEE}));
  EXPECT_EQ(Convert(v, PIXEL_ALPHA8_BLACK, PIXEL_RGBA8888, 1), (Bytes{0, 0, 0, 0x20, 0xEE}));
  EXPECT_EQ(Convert(v, PIXEL_INTENSITY8, PIXEL_RGBA8888, 1), (Bytes{0x20, 0x20, 0x20, 0x20, 0xEE}));
  EXPECT_EQ(Convert(v, PIXEL_LUMINANCE8, PIXEL_RGBA8888, 1), (Bytes{0x20, 0x20, 0x20, 1, 0xEE}));
  EXPECT_EQ(Convert({1, 2, 3}, PIXEL_BGR888, PIXEL_RGBA8888, 1), (Bytes{3, 2, 1, 255, 0xEE}));
  EXPECT_EQ(Convert({1, 2, 3}, PIXEL_RGB888, PIXEL_RGBA8888, 1), (Bytes{1, 2, 3, 255, 0xEE}));
  EXPECT_EQ(Convert({1, 2, 3, 4}, PIXEL_BGRA8888, PIXEL_RGBA8888, 1), (Bytes{3, 2, 1, 4, 0xEE}));
  // Nothing is stored for PIXEL_NONE, so it shows as transparent black.
  EXPECT_EQ(Convert({}, PIXEL_NONE, PIXEL_RGBA8888, 1), (Bytes{0, 0, 0, 0, 0xEE}));
}

TEST(PixelFormatsTest, PackingTruncatesItsAverages) {
  const Bytes rgba = {10, 20, 30, 41};
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_INTENSITY8, 1)[0], 25);  // 101 / 4
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_GRAY8, 1)[0], 20);
  EXPECT_EQ(Convert({255, 51, 103, 0}, PIXEL_RGBA8888, PIXEL_LUMINANCE8, 1)[0], 136);  // 409 / 3
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_ALPHA8, 1)[0], 41);
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_ALPHA8_BLACK, 1)[0], 41);
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_GREEN8, 1)[0], 20);
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_BGR888, 1), (Bytes{30, 20, 10, 0xEE, 0xEE}));
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_BGRA8888, 1), (Bytes{30, 20, 10, 41, 0xEE}));
  // Packing into PIXEL_NONE stores nothing.
  EXPECT_EQ(Convert(rgba, PIXEL_RGBA8888, PIXEL_NONE, 1)[0], 0xEE);
}

TEST(PixelFormatsTest, ConversionBetweenOtherFormatsGoesThroughRgba) {
  // Long enough to cross the converter's internal chunk boundary.
  const int32_t count = 2500;
  Bytes bgr(static_cast<std::size_t>(count) * 3);
  for (std::size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<uint8_t>(i * 7);
  const Bytes gray = Convert(bgr, PIXEL_BGR888, PIXEL_GRAY8, count);
  for (int32_t i = 0; i < count; ++i) {
    const auto at = static_cast<std::size_t>(i) * 3;
    ASSERT_EQ(gray[static_cast<std::size_t>(i)], (bgr[at] + bgr[at + 1] + bgr[at + 2]) / 3) << i;
  }
  EXPECT_EQ(gray[static_cast<std::size_t>(count)], 0xEE);
  // A red byte becomes a luminance of its third (alpha of 1 does not count).
  EXPECT_EQ(Convert({90}, PIXEL_RED8, PIXEL_LUMINANCE8, 1)[0], 30);
  EXPECT_EQ(Convert({90}, PIXEL_RED8, PIXEL_INTENSITY8, 1)[0], 22);  // (90 + 1) / 4
}

TEST(PixelFormatsTest, SameFormatCopiesAndUnknownIdsConvertNothing) {
  EXPECT_EQ(Convert({1, 2, 3, 4, 5, 6}, PIXEL_RGB888, PIXEL_RGB888, 2),
            (Bytes{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(Convert({1, 2, 3, 4}, 13, PIXEL_RGBA8888, 1), (Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(Convert({1, 2, 3, 4}, PIXEL_RGBA8888, -1, 1), (Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  Bytes target(4, 0);
  CopyPixelRun(Bytes{9, 8, 7, 6}.data(), target.data(), PIXEL_GRAY8, 3);
  EXPECT_EQ(target, (Bytes{9, 8, 7, 0}));
}

}  // namespace
}  // namespace corvex
