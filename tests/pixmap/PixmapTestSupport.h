// Helpers shared by the pixmap tests: the committed images and the patterns they were made
// from (tests/pixmap/data/make_test_images.py), in-memory streams, and pixel comparison.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "data/BankDataType.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PixmapLoader.h"
#include "stream/Bank.h"
#include "stream/EndianStream.h"
#include "stream/RamStream.h"
#include "tests/support/TestFiles.h"

namespace corvex::pixmap_testing {

// Every module the pixmap tests touch, initialised once.
inline void InitModules() {
  InitPixmapModule();
  InitEndianStreamModule();
  InitRamStreamModule();
  InitBankDataTypeModule();
  InitBmpLoaderModule();
  InitJpegLoaderModule();
  InitPngLoaderModule();
  InitTgaLoaderModule();
}

// The loader of type T that the module registered (creating another would add it to the chain).
template <class T>
Ref<T> RegisteredLoader() {
  for (Ref<TPixmapLoader> loader = PixmapLoaders(); loader; loader = loader->Next()) {
    if (Ref<T> found = Cast<T>(loader)) return found;
  }
  ADD_FAILURE() << "loader not registered";
  return Null;
}

inline std::string DataPath(const std::string& name) {
  return std::string(CORVEX_PIXMAP_TEST_DATA) + "/" + name;
}

inline std::string ReadDataFile(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(test_files::ReadFileBytes(DataPath(name), bytes)) << name;
  return bytes;
}

using test_files::MemoryStream;

// Decodes the bytes through the whole loader chain.
inline Ref<TPixmap> ReadPixmapFrom(std::string bytes) {
  return ReadPixmap(MemoryStream(bytes));
}

// A growing stream for encoders, and what was written to it.
inline Ref<TBankStream> OutputStream() {
  return NewBankStream(Null);
}
inline std::string Written(const Ref<TBankStream>& stream) {
  const Ref<TBank>& bank = stream->Bank();
  return std::string(reinterpret_cast<const char*>(bank->Buf()), static_cast<std::size_t>(bank->Size()));
}

// ---- the patterns of the committed images (13 × 7 pixels, JPEGs 26 × 14) ----

inline constexpr int32_t kWidth = 13;
inline constexpr int32_t kHeight = 7;

using Rgba = std::array<uint8_t, 4>;

inline Rgba PatternRgb(int32_t x, int32_t y) {
  return {static_cast<uint8_t>(x * 19 + y * 5), static_cast<uint8_t>(y * 37 + x * 3),
          static_cast<uint8_t>(x * y * 11 + 40), 255};
}
inline uint8_t PatternAlpha(int32_t x, int32_t y) {
  static constexpr uint8_t kAlphas[6] = {0, 255, 128, 1, 254, 64};
  return kAlphas[(x + y) % 6];
}
inline uint8_t PatternGray(int32_t x, int32_t y) {
  return static_cast<uint8_t>(x * 17 + y * 29);
}
inline int32_t PatternIndex(int32_t x, int32_t y) {
  return (x + y * 3) % 16;
}
inline Rgba PaletteColour(int32_t i) {
  return {static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 16), static_cast<uint8_t>(i * 40),
          static_cast<uint8_t>(i * 17)};
}
// 5-bit levels per channel of the 15- and 16-bit TGA files (level 15 left out).
inline std::array<int32_t, 3> PatternFiveBit(int32_t x, int32_t y) {
  std::array<int32_t, 3> levels = {(x * 5 + y) % 31, (y * 9 + x * 2) % 31, (x * y + 3) % 31};
  for (int32_t& k : levels) k += k >= 15 ? 1 : 0;
  return levels;
}

// Expects every pixel's bytes, in the pixmap's own format, to be `expected`(x, y) converted
// from RGBA8888; reports the first few that differ.
inline void ExpectPixels(const Ref<TPixmap>& pixmap, int32_t format, int32_t width, int32_t height,
                         const std::function<Rgba(int32_t, int32_t)>& expected, int32_t tolerance = 0) {
  ASSERT_TRUE(pixmap) << "no pixmap";
  ASSERT_EQ(pixmap->Format(), format) << PixelFormatName(pixmap->Format());
  ASSERT_EQ(pixmap->Width(), width);
  ASSERT_EQ(pixmap->Height(), height);
  const int32_t bytes = FormatBytes[format];
  int failures = 0;
  for (int32_t y = 0; y < height && failures < 5; ++y) {
    for (int32_t x = 0; x < width && failures < 5; ++x) {
      const Rgba want = expected(x, y);
      uint8_t packed[4] = {0, 0, 0, 0};
      ConvertPixelRun(want.data(), PIXEL_RGBA8888, packed, format, 1);
      const uint8_t* got = pixmap->PixelAddress(x, y);
      for (int32_t k = 0; k < bytes; ++k) {
        if (std::abs(got[k] - packed[k]) > tolerance) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") byte " << k << ": got " << int{got[k]}
                        << ", want " << int{packed[k]};
          ++failures;
          break;
        }
      }
    }
  }
}

}  // namespace corvex::pixmap_testing
