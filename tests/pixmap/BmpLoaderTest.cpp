#include "pixmap/BmpLoader.h"

#include <gtest/gtest.h>

#include "PixmapTestSupport.h"

namespace corvex {
namespace {

using namespace pixmap_testing;

std::string Le(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

// A BMP with a 40-byte info header, then `palette` and `rows` as given.
std::string Bmp(int32_t width, int32_t height, int bits, const std::string& palette, const std::string& rows,
                int32_t coloursUsed = 0, int32_t compression = 0, int32_t gap = 0) {
  const auto offset = static_cast<uint32_t>(54 + palette.size() + static_cast<std::size_t>(gap));
  return "BM" + Le(offset + static_cast<uint32_t>(rows.size()), 4) + Le(0, 4) + Le(offset, 4) + Le(40, 4) +
         Le(static_cast<uint32_t>(width), 4) + Le(static_cast<uint32_t>(height), 4) + Le(1, 2) +
         Le(static_cast<uint32_t>(bits), 2) + Le(static_cast<uint32_t>(compression), 4) +
         Le(static_cast<uint32_t>(rows.size()), 4) + Le(2835, 4) + Le(2835, 4) +
         Le(static_cast<uint32_t>(coloursUsed), 4) + Le(0, 4) + palette +
         std::string(static_cast<std::size_t>(gap), '\x77') + rows;
}

Ref<TPixmap> LoadBmp(std::string bytes) {
  return RegisteredLoader<TPixmapLoaderBMP>()->LoadFrom(MemoryStream(bytes));
}

class BmpLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { InitModules(); }
};

TEST_F(BmpLoaderTest, CommittedFilesOfEveryAcceptedDepth) {
  ExpectPixels(ReadPixmapFrom(ReadDataFile("bmp_1.bmp")), PIXEL_BGR888, kWidth, kHeight,
               [](int32_t x, int32_t y) {
                 const uint8_t v = (x + 2 * y) % 3 == 0 ? 255 : 0;
                 return Rgba{v, v, v, 255};
               });
  const auto palette = [](int32_t x, int32_t y) { return PaletteColour(PatternIndex(x, y)); };
  ExpectPixels(ReadPixmapFrom(ReadDataFile("bmp_4.bmp")), PIXEL_BGR888, kWidth, kHeight, palette);
  ExpectPixels(ReadPixmapFrom(ReadDataFile("bmp_8.bmp")), PIXEL_BGR888, kWidth, kHeight, palette);
  ExpectPixels(ReadPixmapFrom(ReadDataFile("bmp_24.bmp")), PIXEL_BGR888, kWidth, kHeight, PatternRgb);
  ExpectPixels(ReadPixmapFrom(ReadDataFile("bmp_24_v5.bmp")), PIXEL_BGR888, kWidth, kHeight, PatternRgb);
  // The fourth byte of a 32-bit pixel is its alpha.
  const auto rgba = [](int32_t x, int32_t y) {
    Rgba p = PatternRgb(x, y);
    p[3] = PatternAlpha(x, y);
    return p;
  };
  ExpectPixels(ReadPixmapFrom(ReadDataFile("bmp_32.bmp")), PIXEL_BGRA8888, kWidth, kHeight, rgba);
  ExpectPixels(ReadPixmapFrom(ReadDataFile("bmp_32_v5.bmp")), PIXEL_BGRA8888, kWidth, kHeight, rgba);
  // 16-bit files are not read, by this loader or any other.
  EXPECT_TRUE(LoadBmp(ReadDataFile("bmp_16.bmp")).IsNull());
  EXPECT_TRUE(ReadPixmapFrom(ReadDataFile("bmp_16.bmp")).IsNull());
}

TEST_F(BmpLoaderTest, RowsArePaddedAndStoredBottomUp) {
  // 9 pixels at 1 bit take 4 bytes per file row; the first file row is the bottom row.
  const std::string palette = Le(0x00000000, 4) + Le(0x00FFFFFF, 4);
  const Ref<TPixmap> mono =
      LoadBmp(Bmp(9, 2, 1, palette, std::string("\x80\x80\x00\x00\x00\x00\x00\x00", 8)));
  ASSERT_TRUE(mono);
  EXPECT_EQ(mono->GetPixel(0, 1), 0xFFFFFFFFu);
  EXPECT_EQ(mono->GetPixel(8, 1), 0xFFFFFFFFu);
  EXPECT_EQ(mono->GetPixel(1, 1), 0xFF000000u);
  EXPECT_EQ(mono->GetPixel(0, 0), 0xFF000000u);

  // A 4-bit pair byte 0x1F: index 1 for the even pixel, 15 for the odd one.
  std::string sixteen;
  for (uint32_t i = 0; i < 16; ++i) sixteen += Le(i * 0x010101, 4);
  const Ref<TPixmap> nibbles = LoadBmp(Bmp(2, 1, 4, sixteen, std::string("\x1F\x00\x00\x00", 4)));
  EXPECT_EQ(nibbles->GetPixel(0, 0), 0xFF010101u);
  EXPECT_EQ(nibbles->GetPixel(1, 0), 0xFF0F0F0Fu);

  // 3 pixels at 24 bits take 12 bytes per file row; the pixel data offset is honoured.
  const Ref<TPixmap> colour = LoadBmp(Bmp(3, 1, 24, "", "\x01\x02\x03\x04\x05\x06\x07\x08\x09xyz", 0, 0, 6));
  EXPECT_EQ(colour->GetPixel(2, 0), 0xFF090807u);
}

TEST_F(BmpLoaderTest, ThirtyTwoBitsWithZeroFourthBytesLoadTransparent) {
  const Ref<TPixmap> pixmap = LoadBmp(Bmp(2, 1, 32, "", std::string("\x10\x20\x30\x00\x40\x50\x60\x00", 8)));
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->Format(), PIXEL_BGRA8888);
  EXPECT_EQ(pixmap->GetPixel(0, 0), 0x00302010u);
  EXPECT_EQ(pixmap->GetPixel(1, 0), 0x00605040u);
}

TEST_F(BmpLoaderTest, NegativeHeightMeansTopDownRows) {
  const Ref<TPixmap> pixmap = LoadBmp(Bmp(1, -2, 24, "", std::string("\x01\x01\x01\x00\x02\x02\x02\x00", 8)));
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->Height(), 2);
  EXPECT_EQ(pixmap->GetPixel(0, 0), 0xFF010101u);
  EXPECT_EQ(pixmap->GetPixel(0, 1), 0xFF020202u);
}

TEST_F(BmpLoaderTest, RefusesHeadersItCannotDecodeSafely) {
  const std::string row(64, '\0');
  EXPECT_TRUE(LoadBmp("").IsNull());
  EXPECT_TRUE(LoadBmp("BA" + Bmp(1, 1, 24, "", row).substr(2)).IsNull());
  EXPECT_TRUE(LoadBmp(Bmp(1, 1, 2, "", row)).IsNull());                            // no such depth
  EXPECT_TRUE(LoadBmp(Bmp(1, 1, 16, "", row)).IsNull());                           // 16 bits
  EXPECT_TRUE(LoadBmp(Bmp(1, 1, 8, std::string(1028, '\0'), row, 257)).IsNull());  // palette too long
  EXPECT_TRUE(LoadBmp(Bmp(1, 1, 8, "", row, -1)).IsNull());
  EXPECT_TRUE(LoadBmp(Bmp(4, 1, 8, std::string(1024, '\0'), row, 0, 1)).IsNull());  // run-length data
  EXPECT_TRUE(LoadBmp(Bmp(0, 1, 24, "", row)).IsNull());
  EXPECT_TRUE(LoadBmp(Bmp(-4, 1, 24, "", row)).IsNull());
  EXPECT_TRUE(LoadBmp(Bmp(1, 0, 24, "", row)).IsNull());
  EXPECT_TRUE(LoadBmp(Bmp(1, INT32_MIN, 24, "", row)).IsNull());
  EXPECT_TRUE(LoadBmp(Bmp(INT32_MAX, 2, 24, "", row)).IsNull());  // bytes overflow
  EXPECT_TRUE(LoadBmp(Bmp(16384, 16384, 32, "", row)).IsNull());  // beyond 256 MiB
  EXPECT_TRUE(LoadBmp(Bmp(1 << 20, 1 << 20, 1, "", row)).IsNull());
  // Sides have no limit of their own: a long strip loads.
  const Ref<TPixmap> strip = LoadBmp(Bmp(20000, 16, 24, "", "\x01\x02\x03"));
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->Width(), 20000);
  EXPECT_EQ(strip->GetPixel(0, 15), 0xFF030201u);
}

TEST_F(BmpLoaderTest, ShortFilesReadTheMissingPixelsAsBlack) {
  const Ref<TPixmap> pixmap = LoadBmp(Bmp(2, 2, 24, "", std::string("\x05\x06\x07", 3)));
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->GetPixel(0, 1), 0xFF070605u);
  EXPECT_EQ(pixmap->GetPixel(1, 1), 0xFF000000u);
  EXPECT_EQ(pixmap->GetPixel(0, 0), 0xFF000000u);
}

}  // namespace
}  // namespace corvex
