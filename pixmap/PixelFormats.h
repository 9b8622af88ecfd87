// Pixel format ids, their per-format tables, and conversion of pixel runs between formats.
#pragma once

#include <array>
#include <cstdint>

namespace corvex {

// Pixel format ids. Every conversion goes through PIXEL_RGBA8888.
inline constexpr int32_t PIXEL_NONE = 0;
inline constexpr int32_t PIXEL_GRAY8 = 1;
inline constexpr int32_t PIXEL_ALPHA8 = 2;
inline constexpr int32_t PIXEL_BGR888 = 3;
inline constexpr int32_t PIXEL_RGB888 = 4;
inline constexpr int32_t PIXEL_BGRA8888 = 5;  // a 32-bit ARGB word stored little-endian
inline constexpr int32_t PIXEL_RGBA8888 = 6;
inline constexpr int32_t PIXEL_RED8 = 7;
inline constexpr int32_t PIXEL_GREEN8 = 8;
inline constexpr int32_t PIXEL_BLUE8 = 9;
inline constexpr int32_t PIXEL_ALPHA8_BLACK = 10;
inline constexpr int32_t PIXEL_INTENSITY8 = 11;
inline constexpr int32_t PIXEL_LUMINANCE8 = 12;

// The number of pixel formats (ids 0 to 12).
inline constexpr int32_t kPixelFormatCount = 13;

// A per-format table, indexed by format id 0 to 12.
using FormatTable = std::array<int32_t, kPixelFormatCount>;

// Bytes per pixel; drives every address computation.
inline constexpr FormatTable FormatBytes = {0, 1, 1, 3, 3, 4, 4, 1, 1, 1, 1, 1, 1};
inline constexpr FormatTable FormatRedBits = {0, 0, 0, 8, 8, 8, 8, 8, 0, 0, 0, 0, 0};
inline constexpr FormatTable FormatGreenBits = {0, 0, 0, 8, 8, 8, 8, 0, 8, 0, 0, 0, 0};
inline constexpr FormatTable FormatBlueBits = {0, 0, 0, 8, 8, 8, 8, 0, 0, 8, 0, 0, 0};
// Non-zero when a format already carries alpha (images mask the others).
inline constexpr FormatTable FormatAlphaBits = {0, 0, 8, 0, 0, 8, 8, 0, 0, 0, 8, 0, 0};
inline constexpr FormatTable FormatIntensityBits = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0};
inline constexpr FormatTable FormatLuminanceBits = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8};
// Bits of red, green and blue together; PIXEL_GRAY8 counts none.
inline constexpr FormatTable FormatColourBits = {0, 0, 0, 24, 24, 24, 24, 8, 8, 8, 0, 0, 0};

// Whether `format` is one of the ids 0 to 12.
constexpr bool IsPixelFormat(int32_t format) noexcept {
  return format >= 0 && format < kPixelFormatCount;
}

// The id's name, such as "PIXEL_RGBA8888"; "PIXEL_UNKNOWN" outside 0 to 12.
const char* PixelFormatName(int32_t format) noexcept;

// Copies `count` pixels of `format` (count × bytes per pixel bytes).
void CopyPixelRun(const void* source, void* dest, int32_t format, int32_t count);

// Converts `count` pixels from one format to another through RGBA8888: formats 7, 8, 9 and 12
// expand with an alpha of 1, packing divides with truncation. PIXEL_NONE expands to
// transparent black and packs to nothing; ids outside 0 to 12 convert nothing.
void ConvertPixelRun(const void* source, int32_t sourceFormat, void* dest, int32_t destFormat, int32_t count);

}  // namespace corvex
