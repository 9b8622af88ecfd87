#include "pixmap/PngCodec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <utility>

#include "PixmapTestSupport.h"
#include "runtime/Exceptions.h"
#include "tests/stream/StreamTestSupport.h"

namespace corvex {
namespace {

using namespace pixmap_testing;

class PngCodecTest : public ::testing::Test {
 protected:
  void SetUp() override { InitModules(); }

  static Ref<TPixmap> Decode(const std::string& name) {
    std::string bytes = ReadDataFile(name);
    return DecodePNG(MemoryStream(bytes));
  }
};

TEST_F(PngCodecTest, GrayOfEveryDepthLoadsAsGray8) {
  for (const int bits : {1, 2, 4}) {
    const int32_t levels = (1 << bits) - 1;
    ExpectPixels(Decode("png_gray" + std::to_string(bits) + ".png"), PIXEL_GRAY8, kWidth, kHeight,
                 [&](int32_t x, int32_t y) {
                   const auto v = static_cast<uint8_t>(PatternGray(x, y) % (levels + 1) * 255 / levels);
                   return Rgba{v, v, v, 255};
                 });
  }
  const auto gray = [](int32_t x, int32_t y) {
    const uint8_t v = PatternGray(x, y);
    return Rgba{v, v, v, 255};
  };
  ExpectPixels(Decode("png_gray8.png"), PIXEL_GRAY8, kWidth, kHeight, gray);
  // 16-bit samples keep their high byte.
  ExpectPixels(Decode("png_gray16.png"), PIXEL_GRAY8, kWidth, kHeight, gray);
}

TEST_F(PngCodecTest, AlphaAndTransparencyLoadAsRgba) {
  ExpectPixels(Decode("png_gray_alpha8.png"), PIXEL_RGBA8888, kWidth, kHeight, [](int32_t x, int32_t y) {
    const uint8_t v = PatternGray(x, y);
    return Rgba{v, v, v, PatternAlpha(x, y)};
  });
  ExpectPixels(Decode("png_gray8_trns.png"), PIXEL_RGBA8888, kWidth, kHeight, [](int32_t x, int32_t y) {
    const uint8_t v = PatternGray(x, y);
    return Rgba{v, v, v, static_cast<uint8_t>(v == PatternGray(3, 2) ? 0 : 255)};
  });
  const auto rgba = [](int32_t x, int32_t y) {
    Rgba p = PatternRgb(x, y);
    p[3] = PatternAlpha(x, y);
    return p;
  };
  ExpectPixels(Decode("png_rgba8.png"), PIXEL_RGBA8888, kWidth, kHeight, rgba);
  ExpectPixels(Decode("png_rgba16.png"), PIXEL_RGBA8888, kWidth, kHeight, rgba);
}

TEST_F(PngCodecTest, ColourAndPaletteImages) {
  ExpectPixels(Decode("png_rgb8.png"), PIXEL_RGB888, kWidth, kHeight, PatternRgb);
  ExpectPixels(Decode("png_rgb16.png"), PIXEL_RGB888, kWidth, kHeight, PatternRgb);
  ExpectPixels(Decode("png_rgb8_interlaced.png"), PIXEL_RGB888, kWidth, kHeight, PatternRgb);
  ExpectPixels(Decode("png_palette.png"), PIXEL_RGB888, kWidth, kHeight,
               [](int32_t x, int32_t y) { return PaletteColour(PatternIndex(x, y)); });
  ExpectPixels(Decode("png_palette_trns.png"), PIXEL_RGBA8888, kWidth, kHeight,
               [](int32_t x, int32_t y) { return PaletteColour(PatternIndex(x, y)); });
}

TEST_F(PngCodecTest, RefusesWhatItCannotDecodeSafely) {
  std::string bmp = ReadDataFile("bmp_24.bmp");
  EXPECT_TRUE(DecodePNG(MemoryStream(bmp)).IsNull());
  std::string empty;
  EXPECT_TRUE(DecodePNG(MemoryStream(empty)).IsNull());
  EXPECT_TRUE(DecodePNG("no/such/file.png").IsNull());

  // Headers beyond the pixmap byte cap are refused before the pixmap is made: 100000 × 100000
  // or 16384 × 16384 RGBA (1 GiB).
  for (const uint32_t side : {100000u, 16384u}) {
    std::string huge = ReadDataFile("png_rgba8.png");
    for (int i = 0; i < 8; ++i) huge[16 + i] = static_cast<char>(side >> (24 - 8 * (i % 4)));
    const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(huge.data()) + 12, 17);
    for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    EXPECT_TRUE(DecodePNG(MemoryStream(huge)).IsNull()) << side;
  }
  // Data that ends early ends the decode.
  std::string cut = ReadDataFile("png_rgb8.png");
  cut.resize(cut.size() - 12);  // no end chunk
  EXPECT_TRUE(DecodePNG(MemoryStream(cut)).IsNull());
  // A broken checksum is libpng's error, which ends the decode with Null.
  std::string broken = ReadDataFile("png_rgb8.png");
  broken[29] = static_cast<char>(broken[29] ^ 0x55);
  EXPECT_TRUE(DecodePNG(MemoryStream(broken)).IsNull());
}

TEST_F(PngCodecTest, StreamFailuresPropagateAfterCleanUp) {
  // A stream that stops delivering before its end fails the read; the error reaches the caller.
  const auto stream =
      New<testing_support::RecordingStream>(ReadDataFile("png_rgb8.png").substr(0, 60), INT32_MAX,
                                            /*endless=*/true);
  EXPECT_THROW(DecodePNG(stream), TStreamReadException);
  EXPECT_EQ(stream->closes, 0);
}

TEST_F(PngCodecTest, EncodingRoundTripsEveryFormat) {
  for (int32_t format = PIXEL_GRAY8; format < kPixelFormatCount; ++format) {
    const Ref<TPixmap> source = NewPixmap(5, 3, format, 4);
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 5; ++x) {
        for (int32_t k = 0; k < FormatBytes[format]; ++k) {
          source->PixelAddress(x, y)[k] = static_cast<uint8_t>(x * 50 + y * 20 + k * 7);
        }
      }
    }
    const Ref<TBankStream> out = OutputStream();
    ASSERT_EQ(EncodePNG(source, out, 6), 1) << format;
    const Ref<TPixmap> decoded = ReadPixmapFrom(Written(out));
    ASSERT_TRUE(decoded) << format;
    // Gray and the 24-bit formats keep their layout; everything else comes back as RGBA8888.
    const int32_t expected = format == PIXEL_GRAY8                              ? PIXEL_GRAY8
                             : format == PIXEL_RGB888 || format == PIXEL_BGR888 ? PIXEL_RGB888
                                                                                : PIXEL_RGBA8888;
    const Ref<TPixmap> original = source->ToFormat(expected);
    ExpectPixels(decoded, expected, 5, 3, [&](int32_t x, int32_t y) {
      Rgba p{};
      ConvertPixelRun(original->PixelAddress(x, y), expected, p.data(), PIXEL_RGBA8888, 1);
      return p;
    });
  }
}

TEST_F(PngCodecTest, EncodingAlpha8WritesWhiteWithItsAlpha) {
  const Ref<TPixmap> alpha = NewPixmap(2, 1, PIXEL_ALPHA8, 4);
  alpha->Pixels()[0] = 0, alpha->Pixels()[1] = 200;
  const Ref<TBankStream> out = OutputStream();
  ASSERT_EQ(EncodePNG(alpha, out, 9), 1);
  const std::string png = Written(out);
  EXPECT_EQ(png[25], 6);  // colour type: RGB with alpha
  const Ref<TPixmap> decoded = ReadPixmapFrom(png);
  EXPECT_EQ(decoded->GetPixel(1, 0), 0xC8FFFFFFu);
}

// A big-endian 32-bit number at `at`.
uint32_t Be32(const std::string& bytes, std::size_t at) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// The data of the first chunk of `type`, empty when there is none.
std::string Chunk(const std::string& png, const std::string& type) {
  for (std::size_t at = 8; at + 8 <= png.size();) {
    const uint32_t length = Be32(png, at);
    if (png.compare(at + 4, 4, type) == 0) return png.substr(at + 8, length);
    at += 12 + length;
  }
  return std::string();
}

TEST_F(PngCodecTest, HeaderFieldsAndCompressionLevelAreWhatWasAskedFor) {
  const Ref<TPixmap> source = NewPixmap(37, 21, PIXEL_RGB888, 4);
  for (int32_t y = 0; y < 21; ++y) {
    for (int32_t x = 0; x < 37; ++x) source->SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(x * 7 + y));
  }
  // zlib records its level class in the stream header: 0 for levels 0 and 1, 1 for 2 to 5,
  // 2 for 6, 3 for 7 to 9; level 0 stores the rows uncompressed.
  for (const auto& [level, levelClass] : {std::pair{0, 0}, {1, 0}, {4, 1}, {6, 2}, {9, 3}}) {
    const Ref<TBankStream> out = OutputStream();
    ASSERT_EQ(EncodePNG(source, out, level), 1);
    const std::string png = Written(out);
    const std::string header = Chunk(png, "IHDR");
    ASSERT_EQ(header.size(), 13u);
    EXPECT_EQ(Be32(header, 0), 37u);
    EXPECT_EQ(Be32(header, 4), 21u);
    EXPECT_EQ(header[8], 8);   // bit depth
    EXPECT_EQ(header[9], 2);   // RGB
    EXPECT_EQ(header[10], 0);  // deflate
    EXPECT_EQ(header[11], 0);  // adaptive filtering
    EXPECT_EQ(header[12], 0);  // not interlaced
    const std::string data = Chunk(png, "IDAT");
    ASSERT_GE(data.size(), 2u);
    EXPECT_EQ(static_cast<uint8_t>(data[1]) >> 6, levelClass) << "level " << level;
    if (level == 0) {
      EXPECT_GT(data.size(), 21u * (1 + 37 * 3)) << "stored, not compressed";
    }
    EXPECT_EQ(ReadPixmapFrom(png)->GetPixel(36, 20), source->GetPixel(36, 20));
  }
  const Ref<TBankStream> gray = OutputStream();
  ASSERT_EQ(EncodePNG(NewPixmap(3, 2, PIXEL_GRAY8, 4), gray, 6), 1);
  EXPECT_EQ(Chunk(Written(gray), "IHDR")[9], 0);
}

TEST_F(PngCodecTest, WhatTheWriterWritesTheReaderReads) {
  // A strip longer than any side limit round-trips.
  const Ref<TPixmap> strip = NewPixmap(20000, 16, PIXEL_RGB888, 4);
  strip->Fill(0xFF102030);
  strip->SetPixel(19999, 15, 0xFF405060);
  const Ref<TBankStream> out = OutputStream();
  ASSERT_EQ(EncodePNG(strip, out, 1), 1);
  const Ref<TPixmap> back = ReadPixmapFrom(Written(out));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Width(), 20000);
  EXPECT_EQ(back->GetPixel(19999, 15), 0xFF405060u);
  // What the reader would refuse (here 1 GiB as RGBA, over a small buffer that is never read)
  // is not written, and nothing is opened for it.
  uint8_t pixels[64] = {};
  const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "corvex-png-cap";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "huge.png").string();
  for (const int32_t format : {PIXEL_RGBA8888, PIXEL_ALPHA8}) {
    EXPECT_EQ(EncodePNG(TPixmap::Wrap(pixels, 16384, 16384, 0, format), String(path.c_str()), 6), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  std::filesystem::remove_all(folder);
}

TEST_F(PngCodecTest, EncodingFailuresAnswerZero) {
  EXPECT_EQ(EncodePNG(NewPixmap(1, 1, PIXEL_RGB888, 4), "no/such/dir/x.png", 6), 0);
  // libpng refuses an empty image.
  EXPECT_EQ(EncodePNG(NewPixmap(0, 0, PIXEL_RGB888, 4), OutputStream(), 6), 0);
  // A destination that takes nothing raises the stream's write error.
  std::string full;
  const Ref<TStream> readOnly = MemoryStream(full);
  EXPECT_THROW(EncodePNG(NewPixmap(1, 1, PIXEL_RGB888, 4), readOnly, 6), TStreamWriteException);
}

}  // namespace
}  // namespace corvex
