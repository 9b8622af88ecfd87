#include "tools/xwd2png/XwdDecoder.h"

#include <bit>
#include <cstdint>

namespace corvex {
namespace {

// The header: 25 big-endian 32-bit fields, then the window name up to headerSize.
enum XwdField {
  kHeaderSize,
  kFileVersion,
  kPixmapFormat,
  kPixmapDepth,
  kPixmapWidth,
  kPixmapHeight,
  kXOffset,
  kByteOrder,
  kBitmapUnit,
  kBitmapBitOrder,
  kBitmapPad,
  kBitsPerPixel,
  kBytesPerLine,
  kVisualClass,
  kRedMask,
  kGreenMask,
  kBlueMask,
  kBitsPerRgb,
  kColormapEntries,
  kColourCount,
  kFieldCount = 25
};
constexpr uint32_t kVersion = 7;
constexpr uint32_t kZPixmap = 2;
constexpr uint32_t kTrueColor = 4;
constexpr uint32_t kDirectColor = 5;
constexpr uint32_t kColourEntrySize = 12;

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The mask's bits of the pixel scaled to 0..255.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
  const int shift = std::countr_zero(mask);
  const uint32_t top = mask >> shift;
  return top == 0 ? 0 : ((pixel & mask) >> shift) * 255 / top;
}

}  // namespace

Ref<TPixmap> DecodeXwd(const ByteArray& bytes) {
  const uint64_t size = static_cast<uint64_t>(bytes.Length());
  if (size < kFieldCount * 4) return Null;
  uint32_t field[kFieldCount];
  for (int i = 0; i < kFieldCount; ++i) field[i] = BigEndian32(bytes.Data() + 4 * i);

  const uint32_t bitsPerPixel = field[kBitsPerPixel];
  const uint32_t width = field[kPixmapWidth];
  const uint32_t height = field[kPixmapHeight];
  if (field[kFileVersion] != kVersion || field[kPixmapFormat] != kZPixmap ||
      (field[kVisualClass] != kTrueColor && field[kVisualClass] != kDirectColor) ||
      (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) || field[kRedMask] == 0 ||
      field[kGreenMask] == 0 || field[kBlueMask] == 0 || !IsAcceptablePixmapSize(width, height, 4)) {
    return Null;
  }
  const uint64_t stride = field[kBytesPerLine];
  const uint64_t bytesPerPixel = bitsPerPixel / 8;
  const uint64_t start = uint64_t{field[kHeaderSize]} + uint64_t{field[kColourCount]} * kColourEntrySize;
  if (field[kHeaderSize] < kFieldCount * 4 || stride < width * bytesPerPixel || start > size ||
      (size - start) / stride < height) {
    return Null;
  }

  const Ref<TPixmap> pixmap =
      NewPixmap(static_cast<int32_t>(width), static_cast<int32_t>(height), PIXEL_RGBA8888, 4);
  const bool mostSignificantFirst = field[kByteOrder] != 0;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = bytes.Data() + start + y * stride;
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* p = row + x * bytesPerPixel;
      uint32_t pixel = 0;
      for (uint64_t i = 0; i < bytesPerPixel; ++i) {
        const uint64_t at = mostSignificantFirst ? i : bytesPerPixel - 1 - i;
        pixel = pixel << 8 | p[at];
      }
      pixmap->SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y),
                       0xFF000000u | Channel(pixel, field[kRedMask]) << 16 |
                           Channel(pixel, field[kGreenMask]) << 8 | Channel(pixel, field[kBlueMask]));
    }
  }
  return pixmap;
}

}  // namespace corvex
