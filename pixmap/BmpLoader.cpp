#include "pixmap/BmpLoader.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

constexpr int32_t kFileHeaderBytes = 14;
constexpr int32_t kInfoHeaderBytes = 40;  // the smallest header whose layout is read here

constexpr int32_t kCompressionNone = 0;
constexpr int32_t kCompressionBitFields = 3;  // accepted only with the plain 8-bit channel masks

using PaletteEntry = std::array<uint8_t, 4>;  // blue, green, red, reserved

// Bytes of one file row: each row is padded to a multiple of 4.
int64_t FileRowBytes(int32_t bits, int64_t width) {
  switch (bits) {
    case 1:
      return ((width + 7) / 8 + 3) / 4 * 4;
    case 4:
      return ((width + 1) / 2 + 3) / 4 * 4;
    case 8:
      return (width + 3) / 4 * 4;
    case 24:
      return (width * 3 + 3) / 4 * 4;
    default:
      return width * 4;
  }
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
int32_t LeInt(const uint8_t* p) {
  return static_cast<int32_t>(Le32(p));
}

// Whether bit fields describe the layout that BGRA order already gives.
bool HasPlainMasks(const uint8_t* masks) {
  return Le32(masks) == 0x00FF0000u && Le32(masks + 4) == 0x0000FF00u && Le32(masks + 8) == 0x000000FFu;
}

}  // namespace

Ref<TPixmap> TPixmapLoaderBMP::LoadFrom(const Ref<TStream>& stream) {
  // Fields are decoded from raw bytes: the file is little-endian whatever view of the stream
  // (a byte-swapping one included) the loader is handed.
  TStream& in = *stream;
  uint8_t header[kFileHeaderBytes + kInfoHeaderBytes] = {};
  in.ReadBytes(header, 2);
  if (header[0] != 'B' || header[1] != 'M') return Null;
  in.ReadBytes(header + 2, sizeof header - 2);
  const int32_t dataOffset = LeInt(header + 10);
  const int32_t headerSize = LeInt(header + 14);
  const int32_t width = LeInt(header + 18);
  const int32_t height = LeInt(header + 22);
  const int32_t bits = header[28] | header[29] << 8;
  const int32_t compression = LeInt(header + 30);
  const int32_t coloursUsed = LeInt(header + 46);
  int64_t consumed = sizeof header;

  if (headerSize < kInfoHeaderBytes) return FailNull("BMP: unsupported header");  // the old core header
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    return FailNull("BMP: unsupported bit depth");
  }
  if (compression == kCompressionBitFields && bits == 32) {
    // The masks follow the 40 header bytes, inside larger headers and after the smaller one.
    uint8_t masks[12] = {};
    in.ReadBytes(masks, sizeof masks);
    if (!HasPlainMasks(masks)) return FailNull("BMP: unsupported bit fields");
    consumed += sizeof masks;
  } else if (compression != kCompressionNone) {
    return FailNull("BMP: compressed data not supported");  // run-length or embedded data
  }
  const bool topDown = height < 0;
  const int64_t rows = std::llabs(int64_t{height});
  const int32_t format = bits == 32 ? PIXEL_BGRA8888 : PIXEL_BGR888;
  if (!IsAcceptablePixmapSize(width, rows, FormatBytes[format])) {
    return FailNull(PixmapTooLargeText("BMP", width, rows));
  }
  if (const int64_t headerEnd = kFileHeaderBytes + int64_t{headerSize}; headerEnd > consumed) {
    in.SkipBytes(static_cast<int32_t>(headerEnd - consumed));
    consumed = headerEnd;
  }

  std::array<PaletteEntry, 256> palette{};
  if (bits == 1) {
    in.ReadBytes(palette.data(), 2 * 4);
    consumed += 2 * 4;
  } else if (bits == 4 || bits == 8) {
    const int32_t tableSize = 1 << bits;
    const int32_t entries = coloursUsed == 0 ? tableSize : coloursUsed;
    if (entries < 0 || entries > tableSize) return FailNull("BMP: bad palette size");
    in.ReadBytes(palette.data(), entries * 4);
    consumed += int64_t{entries} * 4;
  }
  if (dataOffset > consumed) in.SkipBytes(static_cast<int32_t>(dataOffset - consumed));

  Ref<TPixmap> pixmap = NewPixmap(width, static_cast<int32_t>(rows), format, 4);
  if (!pixmap) return Null;
  const auto rowBytes = static_cast<std::size_t>(FileRowBytes(bits, width));
  std::vector<uint8_t> fileRow(rowBytes);
  std::vector<PaletteEntry> indexed(bits <= 8 ? static_cast<std::size_t>(width) : 0);
  for (int64_t r = 0; r < rows; ++r) {
    // Missing data at the end of a short file reads as black.
    std::memset(fileRow.data(), 0, rowBytes);
    in.ReadBytes(fileRow.data(), static_cast<int32_t>(rowBytes));
    const auto y = static_cast<int32_t>(topDown ? r : rows - 1 - r);
    uint8_t* target = pixmap->PixelAddress(0, y);
    switch (bits) {
      case 1:
        for (int32_t x = 0; x < width; ++x) indexed[x] = palette[(fileRow[x / 8] >> (7 - x % 8)) & 1];
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t pair = fileRow[x / 2];
          indexed[x] = palette[x % 2 == 0 ? pair >> 4 : pair & 0x0F];
        }
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x) indexed[x] = palette[fileRow[x]];
        break;
      case 24:
        ConvertPixelRun(fileRow.data(), PIXEL_BGR888, target, format, width);
        continue;
      default:
        ConvertPixelRun(fileRow.data(), PIXEL_BGRA8888, target, format, width);
        continue;
    }
    ConvertPixelRun(indexed.data(), PIXEL_BGRA8888, target, format, width);
  }
  return pixmap;
}

void InitBmpLoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitPixmapModule();
  new TPixmapLoaderBMP();  // the chain holds it for the rest of the process
}

}  // namespace corvex
