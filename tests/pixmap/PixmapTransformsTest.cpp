#include "pixmap/PixmapTransforms.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvex {
namespace {

// A width × 1 RGBA8888 pixmap whose red channel holds the values.
Ref<TPixmap> RedRow(const std::vector<uint8_t>& reds) {
  const auto width = static_cast<int32_t>(reds.size());
  Ref<TPixmap> row = NewPixmap(width, 1, PIXEL_RGBA8888, 4);
  for (int32_t x = 0; x < width; ++x) row->SetPixel(x, 0, 0xFF000000u | uint32_t{reds[x]} << 16);
  return row;
}

std::vector<uint8_t> Reds(const Ref<TPixmap>& pixmap) {
  std::vector<uint8_t> reds;
  for (int32_t x = 0; x < pixmap->Width(); ++x) {
    reds.push_back(static_cast<uint8_t>(pixmap->GetPixel(x, 0) >> 16));
  }
  return reds;
}

TEST(PixmapTransformsTest, MaskColourBecomesTransparentWithItsNeighboursColour) {
  const Ref<TPixmap> single = NewPixmap(1, 1, PIXEL_RGB888, 4);
  single->SetPixel(0, 0, 0xFFFF00FF);
  const Ref<TPixmap> masked = MaskColourToAlpha(single, 255, 0, 255);
  EXPECT_EQ(masked->Format(), PIXEL_RGBA8888);
  EXPECT_EQ(masked->GetPixel(0, 0), 0u);

  // Mask pixels at (1, 0) and (2, 0); the others are opaque, whatever alpha they had.
  const Ref<TPixmap> source = NewPixmap(3, 2, PIXEL_RGBA8888, 4);
  source->SetPixel(0, 0, 0x000A141E);
  source->SetPixel(1, 0, 0x80FF00FF);
  source->SetPixel(2, 0, 0x00FF00FF);
  source->SetPixel(0, 1, 0x00141E28);
  source->SetPixel(1, 1, 0x001E2832);
  source->SetPixel(2, 1, 0x0028323C);
  const Ref<TPixmap> result = MaskColourToAlpha(source, 255, 0, 255);
  EXPECT_EQ(result->GetPixel(0, 0), 0xFF0A141Eu);
  EXPECT_EQ(result->GetPixel(2, 1), 0xFF28323Cu);
  // (1, 0) sees (0, 0), (0, 1), (1, 1), (2, 1): red (10 + 20 + 30 + 40) / 4 = 25, and so on.
  EXPECT_EQ(result->GetPixel(1, 0), 0x0019232Du);  // green 140 / 4 = 35, blue 180 / 4 = 45
  // (2, 0) sees (1, 1) and (2, 1): (30 + 40) / 2 = 35, (40 + 50) / 2, (50 + 60) / 2.
  EXPECT_EQ(result->GetPixel(2, 0), 0x00232D37u);
}

TEST(PixmapTransformsTest, MirroringKeepsTheFormatAndRepacksWindows) {
  const Ref<TPixmap> source = NewPixmap(10, 4, PIXEL_RGB888, 4);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 10; ++x) {
      source->SetPixel(x, y, 0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8);
    }
  }
  const Ref<TPixmap> window = source->SubWindow(1, 1, 3, 2);
  const Ref<TPixmap> mirrored = MirrorPixmapX(window);
  EXPECT_EQ(mirrored->Format(), PIXEL_RGB888);
  EXPECT_EQ(mirrored->Pitch(), 12);
  EXPECT_EQ(mirrored->GetPixel(0, 0), 0xFF030100u);
  EXPECT_EQ(mirrored->GetPixel(2, 1), 0xFF010200u);

  const Ref<TPixmap> flipped = MirrorPixmapY(window);
  EXPECT_EQ(flipped->Pitch(), 12);
  EXPECT_EQ(flipped->GetPixel(0, 0), 0xFF010200u);
  EXPECT_EQ(flipped->GetPixel(2, 1), 0xFF030100u);
}

TEST(PixmapTransformsTest, BilinearScalingTruncatesAndClampsAtTheEdges) {
  EXPECT_EQ(Reds(ScalePixmap(RedRow({0, 255}), 4, 1)), (std::vector<uint8_t>{0, 63, 191, 255}));
  EXPECT_EQ(Reds(ScalePixmap(RedRow({0, 100, 200}), 2, 1)), (std::vector<uint8_t>{25, 175}));

  const Ref<TPixmap> one = NewPixmap(1, 1, PIXEL_BGRA8888, 4);
  one->SetPixel(0, 0, 0x80123456);
  const Ref<TPixmap> nine = ScalePixmap(one, 3, 3);
  EXPECT_EQ(nine->Format(), PIXEL_BGRA8888);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(nine->GetPixel(x, y), 0x80123456u);
  }

  // Vertically: rows 0 and 255 in a 1 × 2 gray pixmap.
  const Ref<TPixmap> column = NewPixmap(1, 2, PIXEL_GRAY8, 4);
  column->Pixels()[0] = 0;
  column->PixelAddress(0, 1)[0] = 255;
  const Ref<TPixmap> tall = ScalePixmap(column, 1, 4);
  EXPECT_EQ(tall->Format(), PIXEL_GRAY8);
  EXPECT_EQ(tall->PixelAddress(0, 1)[0], 63);
  EXPECT_EQ(tall->PixelAddress(0, 2)[0], 191);
}

TEST(PixmapTransformsTest, ScalingDegenerateSizes) {
  EXPECT_TRUE(ScalePixmap(RedRow({1, 2}), -1, 1).IsNull());
  EXPECT_EQ(ScalePixmap(RedRow({1, 2}), 0, 3)->Height(), 3);
  // Nothing to sample gives a cleared pixmap rather than reading outside the source.
  const Ref<TPixmap> scaled = ScalePixmap(NewPixmap(0, 0, PIXEL_RGBA8888, 4), 2, 2);
  EXPECT_EQ(scaled->GetPixel(1, 1), 0u);
}

}  // namespace
}  // namespace corvex
