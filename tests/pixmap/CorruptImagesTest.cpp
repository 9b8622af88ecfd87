// Damaged images: every committed file cut short and with bits flipped must give Null or a
// whole pixmap, through the chain and through each decoder alone, without touching memory
// outside its buffers (run under AddressSanitizer) and without leaving pixels unwritten.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "PixmapTestSupport.h"
#include "pixmap/BmpLoader.h"
#include "pixmap/JpegCodec.h"
#include "pixmap/PngCodec.h"
#include "pixmap/TgaLoader.h"
#include "tests/support/DamagedCopies.h"

namespace corvex {
namespace {

using namespace pixmap_testing;

std::vector<std::string> ImageFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(CORVEX_PIXMAP_TEST_DATA)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".png" || extension == ".bmp" || extension == ".tga" || extension == ".jpg") {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A checksum over every pixel byte of every row, which also touches all of them.
uint64_t PixelSum(const Ref<TPixmap>& pixmap) {
  uint64_t sum = 0;
  const auto rowBytes = static_cast<std::size_t>(pixmap->Width()) * FormatBytes[pixmap->Format()];
  for (int32_t y = 0; y < pixmap->Height(); ++y) {
    const uint8_t* row = pixmap->PixelAddress(0, y);
    for (std::size_t i = 0; i < rowBytes; ++i) sum = sum * 31 + row[i];
  }
  return sum;
}

// Decodes the bytes with `decode` twice; both results must agree (unwritten pixels would differ
// from one allocation to the next) and be Null or a whole, sane pixmap.
template <class Decode>
void ExpectNullOrWhole(const std::string& bytes, Decode decode, const std::string& what) {
  const auto results = damaged_copies::DecodeTwice<TPixmap>(bytes, decode);
  ASSERT_EQ(results[0].IsNull(), results[1].IsNull()) << what;
  if (!results[0]) return;
  for (const Ref<TPixmap>& result : results) {
    ASSERT_GE(result->Width(), 1) << what;
    ASSERT_GE(result->Height(), 1) << what;
    ASSERT_LE(int64_t{result->Width()} * result->Height() * FormatBytes[result->Format()], kMaxPixmapBytes)
        << what;
  }
  EXPECT_EQ(PixelSum(results[0]), PixelSum(results[1])) << what;
}

void ExpectEveryDecoderSurvives(const std::string& bytes, const std::string& what) {
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return ReadPixmap(s); }, what + " chain");
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return RegisteredLoader<TPixmapLoaderBMP>()->LoadFrom(s); },
      what + " bmp");
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return RegisteredLoader<TPixmapLoaderTGA>()->LoadFrom(s); },
      what + " tga");
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return DecodePNG(s); }, what + " png");
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return DecodeJPEG(s); }, what + " jpeg");
}

class CorruptImagesTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { InitModules(); }
};

TEST_P(CorruptImagesTest, TruncatedCopiesGiveNullOrAWholePixmap) {
  const std::string bytes = ReadDataFile(GetParam());
  for (std::size_t length = 0; length < bytes.size(); length += length < 64 ? 1 : 17) {
    ExpectEveryDecoderSurvives(bytes.substr(0, length), GetParam() + " cut at " + std::to_string(length));
  }
}

TEST_P(CorruptImagesTest, BitFlippedCopiesGiveNullOrAWholePixmap) {
  const std::vector<std::string> copies =
      damaged_copies::BitFlippedCopies(ReadDataFile(GetParam()), GetParam());
  for (std::size_t trial = 0; trial < copies.size(); ++trial) {
    ExpectEveryDecoderSurvives(copies[trial], GetParam() + " flip trial " + std::to_string(trial));
  }
}

INSTANTIATE_TEST_SUITE_P(CommittedImages, CorruptImagesTest, ::testing::ValuesIn(ImageFiles()),
                         damaged_copies::FileTestName);

}  // namespace
}  // namespace corvex
