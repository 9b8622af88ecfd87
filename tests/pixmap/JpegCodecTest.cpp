#include "pixmap/JpegCodec.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "PixmapTestSupport.h"
#include "runtime/Exceptions.h"

namespace corvex {
namespace {

using namespace pixmap_testing;

class JpegCodecTest : public ::testing::Test {
 protected:
  void SetUp() override { InitModules(); }

  static Ref<TPixmap> Decode(const std::string& name) {
    std::string bytes = ReadDataFile(name);
    return DecodeJPEG(MemoryStream(bytes));
  }

  // Expects the pixels of the reference decoding committed beside the file (made by another
  // program over the same decoder library).
  static void ExpectReference(const std::string& name, int32_t format) {
    const Ref<TPixmap> pixmap = Decode(name + ".jpg");
    const std::string raw = ReadDataFile(name + ".raw");
    const int32_t bytes = FormatBytes[format];
    ExpectPixels(pixmap, format, 26, 14, [&](int32_t x, int32_t y) {
      const auto* p = reinterpret_cast<const uint8_t*>(raw.data()) + (y * 26 + x) * bytes;
      return bytes == 1 ? Rgba{p[0], p[0], p[0], 255} : Rgba{p[0], p[1], p[2], 255};
    });
  }
};

TEST_F(JpegCodecTest, GrayColourAndProgressiveFiles) {
  ExpectReference("jpeg_gray", PIXEL_GRAY8);
  ExpectReference("jpeg_rgb", PIXEL_RGB888);
  ExpectReference("jpeg_progressive", PIXEL_RGB888);
  const Ref<TPixmap> chained = ReadPixmapFrom(ReadDataFile("jpeg_rgb.jpg"));
  ASSERT_TRUE(chained);
  EXPECT_EQ(chained->Format(), PIXEL_RGB888);
}

TEST_F(JpegCodecTest, RefusesWhatIsNoPixmap) {
  EXPECT_TRUE(Decode("jpeg_cmyk.jpg").IsNull());
  EXPECT_TRUE(ReadPixmapFrom(ReadDataFile("jpeg_cmyk.jpg")).IsNull());
  std::string empty;
  EXPECT_TRUE(DecodeJPEG(MemoryStream(empty)).IsNull());
  EXPECT_TRUE(Decode("png_rgb8.png").IsNull());
  EXPECT_TRUE(DecodeJPEG("no/such/file.jpg").IsNull());

  // A frame header declaring 65000 × 65000 pixels is refused before any buffer is made.
  std::string huge = ReadDataFile("jpeg_rgb.jpg");
  const std::size_t frame = huge.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  huge.replace(frame + 5, 4, std::string("\xFD\xE8\xFD\xE8", 4));
  EXPECT_TRUE(DecodeJPEG(MemoryStream(huge)).IsNull());
}

TEST_F(JpegCodecTest, TruncatedDataDecodesToTheEndMarker) {
  std::string bytes = ReadDataFile("jpeg_rgb.jpg");
  const std::size_t scan = bytes.find("\xFF\xDA");  // the start of the entropy-coded data
  ASSERT_NE(scan, std::string::npos);
  bytes.resize(scan + (bytes.size() - scan) / 2);
  const Ref<TPixmap> pixmap = DecodeJPEG(MemoryStream(bytes));
  ASSERT_TRUE(pixmap);
  EXPECT_EQ(pixmap->Width(), 26);
  EXPECT_EQ(pixmap->Height(), 14);
}

TEST_F(JpegCodecTest, EncodingDropsAlphaAndRoundTrips) {
  const Ref<TPixmap> source = NewPixmap(32, 16, PIXEL_RGBA8888, 4);
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 32; ++x) {
      source->SetPixel(x, y, uint32_t(x * 8) << 24 | uint32_t(x * 8) << 16 | uint32_t(y * 16) << 8 | 0x80);
    }
  }
  const Ref<TBankStream> out = OutputStream();
  ASSERT_EQ(EncodeJPEG(source, out, 95), 1);
  const Ref<TPixmap> decoded = ReadPixmapFrom(Written(out));
  ExpectPixels(
      decoded, PIXEL_RGB888, 32, 16,
      [](int32_t x, int32_t y) {
        return Rgba{static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 16), 0x80, 255};
      },
      12);  // chroma is subsampled

  const Ref<TPixmap> gray = NewPixmap(8, 8, PIXEL_GRAY8, 4);
  gray->Fill(0xFF404040);
  const Ref<TBankStream> grayOut = OutputStream();
  ASSERT_EQ(EncodeJPEG(gray, grayOut, 90), 1);
  EXPECT_EQ(ReadPixmapFrom(Written(grayOut))->Format(), PIXEL_RGB888);  // always three components
}

// The segments of a JPEG up to its scan, as (marker, contents) pairs.
std::vector<std::pair<int, std::string>> Segments(const std::string& jpeg) {
  std::vector<std::pair<int, std::string>> segments;
  for (std::size_t at = 2; at + 4 <= jpeg.size() && static_cast<uint8_t>(jpeg[at]) == 0xFF;) {
    const int marker = static_cast<uint8_t>(jpeg[at + 1]);
    const std::size_t length = static_cast<uint8_t>(jpeg[at + 2]) << 8 | static_cast<uint8_t>(jpeg[at + 3]);
    segments.emplace_back(marker, jpeg.substr(at + 4, length - 2));
    if (marker == 0xDA) break;  // the scan follows
    at += 2 + length;
  }
  return segments;
}

TEST_F(JpegCodecTest, QualityScalesTheTablesAndTheFileIsBaseline) {
  const Ref<TPixmap> source = NewPixmap(16, 16, PIXEL_RGB888, 4);
  source->Fill(0xFF336699);
  // The first luminance quantiser is 16 scaled by the quality: 5000 / q below 50, 200 - 2q
  // from 50, in percent, rounded; baseline tables cap every entry at 255 in 8 bits.
  for (const auto& [quality, first] : {std::pair{1, 255}, {10, 80}, {50, 16}, {75, 8}, {90, 3}, {100, 1}}) {
    const Ref<TBankStream> out = OutputStream();
    ASSERT_EQ(EncodeJPEG(source, out, quality), 1);
    const auto segments = Segments(Written(out));
    int frames = 0;
    int tables = 0;
    for (const auto& [marker, contents] : segments) {
      EXPECT_NE(marker, 0xC2) << "not progressive";
      EXPECT_NE(marker, 0xC1) << "not extended";
      if (marker == 0xC0) {
        ++frames;
        ASSERT_GE(contents.size(), 6u);
        EXPECT_EQ(contents[0], 8);  // 8-bit samples
        EXPECT_EQ(static_cast<uint8_t>(contents[1]) << 8 | static_cast<uint8_t>(contents[2]), 16);
        EXPECT_EQ(contents[5], 3);  // components
      }
      if (marker == 0xDB) {
        // One or more tables, each a precision/id byte and 64 entries of 8 bits.
        for (std::size_t at = 0; at + 65 <= contents.size(); at += 65) {
          EXPECT_EQ(static_cast<uint8_t>(contents[at]) >> 4, 0) << "8-bit table at quality " << quality;
          if ((contents[at] & 0x0F) == 0) {
            EXPECT_EQ(static_cast<uint8_t>(contents[at + 1]), first) << "quality " << quality;
          }
          ++tables;
        }
      }
    }
    EXPECT_EQ(frames, 1) << "one baseline frame header at quality " << quality;
    EXPECT_EQ(tables, 2);
  }
}

TEST_F(JpegCodecTest, WideStripRoundTrips) {
  const Ref<TPixmap> strip = NewPixmap(20000, 16, PIXEL_RGB888, 4);
  strip->Fill(0xFF808080);
  const Ref<TBankStream> out = OutputStream();
  ASSERT_EQ(EncodeJPEG(strip, out, 90), 1);
  const Ref<TPixmap> back = ReadPixmapFrom(Written(out));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Width(), 20000);
  EXPECT_EQ(back->Height(), 16);
  EXPECT_NEAR(static_cast<int>(back->GetPixel(19999, 15) & 0xFF), 0x80, 2);
}

TEST_F(JpegCodecTest, EncodingFailuresAnswerZero) {
  EXPECT_EQ(EncodeJPEG(NewPixmap(1, 1, PIXEL_RGB888, 4), "no/such/dir/x.jpg", 90), 0);
  // Beyond the pixmap byte cap as RGB (over a small buffer that is never read): the reader
  // would refuse it, so it is not written.
  uint8_t pixels[64] = {};
  const Ref<TBankStream> refused = OutputStream();
  EXPECT_EQ(EncodeJPEG(TPixmap::Wrap(pixels, 16384, 16384, 0, PIXEL_RGB888), refused, 90), 0);
  EXPECT_EQ(Written(refused).size(), 0u);
  EXPECT_EQ(EncodeJPEG(NewPixmap(0, 0, PIXEL_RGB888, 4), OutputStream(), 90), 0);
  std::string full;
  EXPECT_THROW(EncodeJPEG(NewPixmap(4, 4, PIXEL_RGB888, 4), MemoryStream(full), 90), TStreamWriteException);
}

}  // namespace
}  // namespace corvex
