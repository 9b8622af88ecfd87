#include "pixmap/TgaLoader.h"

#include <gtest/gtest.h>

#include "PixmapTestSupport.h"

namespace corvex {
namespace {

using namespace pixmap_testing;

std::string Tga(int type, int bits, int32_t width, int32_t height, const std::string& body,
                int descriptor = 0, const std::string& id = "", int colourMapType = 0) {
  std::string head(18, '\0');
  head[0] = static_cast<char>(id.size());
  head[1] = static_cast<char>(colourMapType);
  head[2] = static_cast<char>(type);
  head[12] = static_cast<char>(width), head[13] = static_cast<char>(width >> 8);
  head[14] = static_cast<char>(height), head[15] = static_cast<char>(height >> 8);
  head[16] = static_cast<char>(bits);
  head[17] = static_cast<char>(descriptor);
  return head + id + body;
}

Ref<TPixmap> LoadTga(std::string bytes) {
  return RegisteredLoader<TPixmapLoaderTGA>()->LoadFrom(MemoryStream(bytes));
}

uint8_t Level(int32_t k) {
  return static_cast<uint8_t>(k * 8);
}

class TgaLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { InitModules(); }
};

TEST_F(TgaLoaderTest, CommittedTrueColourFiles) {
  for (const char* name : {"tga_24.tga", "tga_24_rle.tga"}) {
    SCOPED_TRACE(name);
    ExpectPixels(ReadPixmapFrom(ReadDataFile(name)), PIXEL_RGB888, kWidth, kHeight, PatternRgb);
  }
  for (const char* name : {"tga_32.tga", "tga_32_rle.tga"}) {
    SCOPED_TRACE(name);
    ExpectPixels(ReadPixmapFrom(ReadDataFile(name)), PIXEL_RGBA8888, kWidth, kHeight,
                 [](int32_t x, int32_t y) {
                   Rgba p = PatternRgb(x, y);
                   p[3] = PatternAlpha(x, y);
                   return p;
                 });
  }
}

TEST_F(TgaLoaderTest, CommittedFifteenAndSixteenBitFiles) {
  // Five bits per channel, shifted up without filling the low three bits.
  const auto levels = [](int32_t x, int32_t y) {
    const auto k = PatternFiveBit(x, y);
    return Rgba{Level(k[0]), Level(k[1]), Level(k[2]), 255};
  };
  for (const char* name : {"tga_15.tga", "tga_15_rle.tga"}) {
    SCOPED_TRACE(name);
    ExpectPixels(ReadPixmapFrom(ReadDataFile(name)), PIXEL_RGB888, kWidth, kHeight, levels);
  }
  for (const char* name : {"tga_16.tga", "tga_16_rle.tga"}) {
    SCOPED_TRACE(name);
    ExpectPixels(ReadPixmapFrom(ReadDataFile(name)), PIXEL_RGBA8888, kWidth, kHeight, levels);
  }
  // The writer set the top bit on opaque pixels; this loader takes a set bit as transparent.
  ExpectPixels(ReadPixmapFrom(ReadDataFile("tga_16_alpha.tga")), PIXEL_RGBA8888, kWidth, kHeight,
               [&](int32_t x, int32_t y) {
                 Rgba p = levels(x, y);
                 p[3] = (x + y) % 2 == 0 ? 0 : 255;
                 return p;
               });
}

TEST_F(TgaLoaderTest, SixteenBitPixelsAndTheTopBit) {
  const Ref<TPixmap> pixmap = LoadTga(Tga(2, 16, 2, 1, std::string("\xFF\x7F\xFF\xFF", 4)));
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->GetPixel(0, 0), 0xFFF8F8F8u);
  EXPECT_EQ(pixmap->GetPixel(1, 0), 0x00F8F8F8u);
  EXPECT_EQ(LoadTga(Tga(2, 15, 1, 1, std::string("\xFF\xFF", 2)))->Format(), PIXEL_RGB888);
}

TEST_F(TgaLoaderTest, RowsAreBottomUpWhateverTheDescriptorSays) {
  const std::string rows("\x01\x01\x01\x02\x02\x02", 6);
  for (const int descriptor : {0x00, 0x20}) {
    const Ref<TPixmap> pixmap = LoadTga(Tga(2, 24, 1, 2, rows, descriptor, "id!"));
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->GetPixel(0, 1), 0xFF010101u);
    EXPECT_EQ(pixmap->GetPixel(0, 0), 0xFF020202u);
  }
}

TEST_F(TgaLoaderTest, RunLengthPackets) {
  // 0x80 repeats once, 0x00 carries one raw pixel, 0xFF repeats 128 times.
  const std::string body = std::string("\x80\x01\x02\x03\x00\x04\x05\x06\xFF\x07\x08\x09", 12);
  const Ref<TPixmap> pixmap = LoadTga(Tga(10, 24, 130, 1, body));
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->GetPixel(0, 0), 0xFF030201u);
  EXPECT_EQ(pixmap->GetPixel(1, 0), 0xFF060504u);
  EXPECT_EQ(pixmap->GetPixel(2, 0), 0xFF090807u);
  EXPECT_EQ(pixmap->GetPixel(129, 0), 0xFF090807u);

  // Packets that run past a row go on in the next one, run and raw alike.
  const std::string crossing = std::string("\x82\x01\x01\x01\x02\x02\x02\x02\x03\x03\x03\x04\x04\x04", 14);
  const Ref<TPixmap> rows = LoadTga(Tga(10, 24, 2, 3, crossing));
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->GetPixel(0, 2), 0xFF010101u);
  EXPECT_EQ(rows->GetPixel(1, 2), 0xFF010101u);
  EXPECT_EQ(rows->GetPixel(0, 1), 0xFF010101u);
  EXPECT_EQ(rows->GetPixel(1, 1), 0xFF020202u);
  EXPECT_EQ(rows->GetPixel(0, 0), 0xFF030303u);
  EXPECT_EQ(rows->GetPixel(1, 0), 0xFF040404u);
}

TEST_F(TgaLoaderTest, RefusesOtherHeaders) {
  const std::string pixels(64, '\x10');
  EXPECT_TRUE(LoadTga(Tga(2, 24, 4097, 1, pixels)).IsNull());
  EXPECT_TRUE(LoadTga(Tga(2, 24, 1, 4097, pixels)).IsNull());
  EXPECT_TRUE(LoadTga(Tga(2, 24, 0, 1, pixels)).IsNull());
  EXPECT_TRUE(LoadTga(Tga(2, 8, 1, 1, pixels)).IsNull());
  EXPECT_TRUE(LoadTga(Tga(3, 8, 1, 1, pixels)).IsNull());             // grayscale
  EXPECT_TRUE(LoadTga(Tga(2, 24, 1, 1, pixels, 0, "", 1)).IsNull());  // colour map
  EXPECT_TRUE(LoadTga(Tga(1, 24, 1, 1, pixels)).IsNull());            // colour-mapped type, no map
  for (const char* other : {"png_rgb8.png", "bmp_24.bmp", "jpeg_rgb.jpg"}) {
    EXPECT_TRUE(LoadTga(ReadDataFile(other)).IsNull()) << other;
  }
  const Ref<TPixmap> widest = LoadTga(Tga(2, 24, 4096, 1, pixels));
  ASSERT_TRUE(widest);
  EXPECT_EQ(widest->Width(), 4096);
}

}  // namespace
}  // namespace corvex
