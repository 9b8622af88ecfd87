#include "pixmap/PixelFormats.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace corvex {
namespace {

// Pixels converted per step when neither side is RGBA8888: a 4 KiB stack row.
constexpr int32_t kChunkPixels = 1024;

// RGBA8888 into `destFormat`, by the packs-from rules.
void PackRun(const uint8_t* s, int32_t destFormat, uint8_t* d, int32_t count) {
  const auto n = static_cast<std::size_t>(count);
  switch (destFormat) {
    case PIXEL_GRAY8:
    case PIXEL_LUMINANCE8:
      for (std::size_t i = 0; i < n; ++i, s += 4) d[i] = static_cast<uint8_t>((s[0] + s[1] + s[2]) / 3);
      break;
    case PIXEL_ALPHA8:
    case PIXEL_ALPHA8_BLACK:
      for (std::size_t i = 0; i < n; ++i) d[i] = s[i * 4 + 3];
      break;
    case PIXEL_BGR888:
      for (std::size_t i = 0; i < n; ++i, s += 4, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
      }
      break;
    case PIXEL_RGB888:
      for (std::size_t i = 0; i < n; ++i, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
      break;
    case PIXEL_BGRA8888:
      for (std::size_t i = 0; i < n; ++i, s += 4, d += 4) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = s[3];
      }
      break;
    case PIXEL_RGBA8888:
      std::memcpy(d, s, n * 4);
      break;
    case PIXEL_RED8:
      for (std::size_t i = 0; i < n; ++i) d[i] = s[i * 4];
      break;
    case PIXEL_GREEN8:
      for (std::size_t i = 0; i < n; ++i) d[i] = s[i * 4 + 1];
      break;
    case PIXEL_BLUE8:
      for (std::size_t i = 0; i < n; ++i) d[i] = s[i * 4 + 2];
      break;
    case PIXEL_INTENSITY8:
      for (std::size_t i = 0; i < n; ++i, s += 4) {
        d[i] = static_cast<uint8_t>((s[0] + s[1] + s[2] + s[3]) / 4);
      }
      break;
    default:  // PIXEL_NONE holds nothing
      break;
  }
}

void ExpandGray(const uint8_t* s, uint8_t* d, std::size_t n, int alpha) {
  for (std::size_t i = 0; i < n; ++i, d += 4) {
    d[0] = d[1] = d[2] = s[i];
    d[3] = static_cast<uint8_t>(alpha);
  }
}

// One channel from the source byte, the others fixed.
void ExpandChannel(const uint8_t* s, uint8_t* d, std::size_t n, int channel, int alpha) {
  for (std::size_t i = 0; i < n; ++i, d += 4) {
    d[0] = d[1] = d[2] = 0;
    d[channel] = s[i];
    d[3] = static_cast<uint8_t>(alpha);
  }
}

// `sourceFormat` into RGBA8888, by the expands-to rules.
void ExpandRun(const uint8_t* s, int32_t sourceFormat, uint8_t* d, int32_t count) {
  const auto n = static_cast<std::size_t>(count);
  switch (sourceFormat) {
    case PIXEL_GRAY8:
      ExpandGray(s, d, n, 255);
      break;
    case PIXEL_LUMINANCE8:
      ExpandGray(s, d, n, 1);
      break;
    case PIXEL_ALPHA8:
      for (std::size_t i = 0; i < n; ++i, d += 4) {
        d[0] = d[1] = d[2] = 255;
        d[3] = s[i];
      }
      break;
    case PIXEL_ALPHA8_BLACK:
      for (std::size_t i = 0; i < n; ++i, d += 4) {
        d[0] = d[1] = d[2] = 0;
        d[3] = s[i];
      }
      break;
    case PIXEL_INTENSITY8:
      for (std::size_t i = 0; i < n; ++i, d += 4) d[0] = d[1] = d[2] = d[3] = s[i];
      break;
    case PIXEL_BGR888:
      for (std::size_t i = 0; i < n; ++i, s += 3, d += 4) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = 255;
      }
      break;
    case PIXEL_RGB888:
      for (std::size_t i = 0; i < n; ++i, s += 3, d += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
      }
      break;
    case PIXEL_BGRA8888:
      for (std::size_t i = 0; i < n; ++i, s += 4, d += 4) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = s[3];
      }
      break;
    case PIXEL_RGBA8888:
      std::memcpy(d, s, n * 4);
      break;
    case PIXEL_RED8:
      ExpandChannel(s, d, n, 0, 1);
      break;
    case PIXEL_GREEN8:
      ExpandChannel(s, d, n, 1, 1);
      break;
    case PIXEL_BLUE8:
      ExpandChannel(s, d, n, 2, 1);
      break;
    default:  // PIXEL_NONE: nothing stored, so nothing shows
      std::memset(d, 0, n * 4);
      break;
  }
}

}  // namespace

const char* PixelFormatName(int32_t format) noexcept {
  static constexpr const char* kNames[kPixelFormatCount] = {
      "PIXEL_NONE",         "PIXEL_GRAY8",      "PIXEL_ALPHA8",    "PIXEL_BGR888", "PIXEL_RGB888",
      "PIXEL_BGRA8888",     "PIXEL_RGBA8888",   "PIXEL_RED8",      "PIXEL_GREEN8", "PIXEL_BLUE8",
      "PIXEL_ALPHA8_BLACK", "PIXEL_INTENSITY8", "PIXEL_LUMINANCE8"};
  return IsPixelFormat(format) ? kNames[format] : "PIXEL_UNKNOWN";
}

void CopyPixelRun(const void* source, void* dest, int32_t format, int32_t count) {
  if (!IsPixelFormat(format) || count <= 0) return;
  std::memmove(dest, source, static_cast<std::size_t>(count) * static_cast<std::size_t>(FormatBytes[format]));
}

void ConvertPixelRun(const void* source, int32_t sourceFormat, void* dest, int32_t destFormat,
                     int32_t count) {
  if (!IsPixelFormat(sourceFormat) || !IsPixelFormat(destFormat) || count <= 0) return;
  const auto* s = static_cast<const uint8_t*>(source);
  auto* d = static_cast<uint8_t*>(dest);
  if (sourceFormat == destFormat) {
    CopyPixelRun(s, d, sourceFormat, count);
  } else if (sourceFormat == PIXEL_RGBA8888) {
    PackRun(s, destFormat, d, count);
  } else if (destFormat == PIXEL_RGBA8888) {
    ExpandRun(s, sourceFormat, d, count);
  } else {
    alignas(16) uint8_t row[kChunkPixels * 4];
    const auto sourceBytes = static_cast<std::size_t>(FormatBytes[sourceFormat]);
    const auto destBytes = static_cast<std::size_t>(FormatBytes[destFormat]);
    for (int32_t done = 0; done < count;) {
      const int32_t n = std::min(count - done, kChunkPixels);
      ExpandRun(s + static_cast<std::size_t>(done) * sourceBytes, sourceFormat, row, n);
      PackRun(row, destFormat, d + static_cast<std::size_t>(done) * destBytes, n);
      done += n;
    }
  }
}

}  // namespace corvex
