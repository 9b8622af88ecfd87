#include "pixmap/TgaLoader.h"

#include <cstring>
#include <vector>

#include "runtime/Module.h"

namespace corvex {
namespace {

constexpr int32_t kHeaderBytes = 18;
constexpr int32_t kTypeUncompressed = 2;
constexpr int32_t kTypeRunLength = 10;
constexpr int32_t kMaxSide = 4096;

// An ARGB word from one stored pixel (2, 3 or 4 bytes, little-endian).
uint32_t DecodePixel(const uint8_t* p, int32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 15:
    case 16: {
      // Five bits per channel, the low three bits of each byte left 0.
      const uint32_t v = p[0] | static_cast<uint32_t>(p[1]) << 8;
      const uint32_t colour = ((v >> 7) & 0xF8) << 16 | ((v >> 2) & 0xF8) << 8 | ((v << 3) & 0xF8);
      const bool transparent = bitsPerPixel == 16 && (v & 0x8000) != 0;
      return (transparent ? 0u : 0xFF000000u) | colour;
    }
    case 24:
      return 0xFF000000u | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
    default:
      return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
             static_cast<uint32_t>(p[1]) << 8 | p[0];
  }
}

// Run-length packets, whose state carries from one row into the next: a packet that runs
// past the end of a row goes on at the start of the next one rather than being misread.
class RunLengthReader {
 public:
  RunLengthReader(TStream& in, int32_t bitsPerPixel, int32_t pixelBytes)
      : in_(in), bitsPerPixel_(bitsPerPixel), pixelBytes_(pixelBytes) {}

  void ReadRow(uint32_t* row, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
      if (remaining_ == 0) StartPacket();
      --remaining_;
      row[x] = run_ ? runValue_ : ReadPixel();
    }
  }

 private:
  void StartPacket() {
    const int32_t header = in_.ReadByte();
    run_ = header >= 128;
    remaining_ = run_ ? header - 127 : header + 1;
    if (run_) runValue_ = ReadPixel();
  }

  uint32_t ReadPixel() {
    uint8_t bytes[4] = {0, 0, 0, 0};
    in_.ReadBytes(bytes, pixelBytes_);
    return DecodePixel(bytes, bitsPerPixel_);
  }

  TStream& in_;
  const int32_t bitsPerPixel_;
  const int32_t pixelBytes_;
  int32_t remaining_ = 0;
  bool run_ = false;
  uint32_t runValue_ = 0;
};

}  // namespace

Ref<TPixmap> TPixmapLoaderTGA::LoadFrom(const Ref<TStream>& stream) {
  // Fields are decoded from raw bytes: the file is little-endian whatever view of the stream
  // (a byte-swapping one included) the loader is handed.
  TStream& in = *stream;
  uint8_t header[kHeaderBytes] = {};
  in.ReadBytes(header, kHeaderBytes);
  const int32_t idLength = header[0];
  const int32_t colourMapType = header[1];
  const int32_t imageType = header[2];
  const int32_t width = header[12] | header[13] << 8;
  const int32_t height = header[14] | header[15] << 8;
  const int32_t bitsPerPixel = header[16];
  // header[17], the descriptor, names an origin that is not followed: rows are bottom-up.

  // Type 1 is colour-mapped, and a colour-mapped file is refused, so only 2 and 10 remain.
  if (colourMapType != 0 || (imageType != kTypeUncompressed && imageType != kTypeRunLength)) return Null;
  if (bitsPerPixel != 15 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return Null;
  if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) return Null;

  const int32_t format = bitsPerPixel == 16 || bitsPerPixel == 32 ? PIXEL_RGBA8888 : PIXEL_RGB888;
  Ref<TPixmap> pixmap = NewPixmap(width, height, format, 4);
  if (!pixmap) return Null;
  in.SkipBytes(idLength);

  const int32_t pixelBytes = (bitsPerPixel + 7) / 8;
  std::vector<uint32_t> row(static_cast<std::size_t>(width), 0);
  std::vector<uint8_t> fileRow(imageType == kTypeUncompressed ? row.size() * pixelBytes : 0);
  RunLengthReader packets(in, bitsPerPixel, pixelBytes);
  for (int32_t y = height - 1; y >= 0; --y) {
    if (imageType == kTypeRunLength) {
      packets.ReadRow(row.data(), width);
    } else {
      // What a short file does not supply reads as zero.
      std::memset(fileRow.data(), 0, fileRow.size());
      in.ReadBytes(fileRow.data(), static_cast<int32_t>(fileRow.size()));
      for (int32_t x = 0; x < width; ++x) row[x] = DecodePixel(&fileRow[x * pixelBytes], bitsPerPixel);
    }
    ConvertPixelRun(row.data(), PIXEL_BGRA8888, pixmap->PixelAddress(0, y), format, width);
  }
  return pixmap;
}

void InitTgaLoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitPixmapModule();
  new TPixmapLoaderTGA();  // the chain holds it for the rest of the process
}

}  // namespace corvex
