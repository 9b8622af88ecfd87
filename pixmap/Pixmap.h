// Pixmaps: rectangles of pixels in memory with a width, height, row pitch and pixel format;
// pixel access, windows onto other pixmaps, copying, pasting and format conversion.
#pragma once

#include <cstdint>

#include "pixmap/PixelFormats.h"
#include "runtime/Data.h"
#include "runtime/Object.h"

namespace corvex {

// The most pixel bytes a size read from untrusted bytes (an image header, a declared image
// size) may ask for: no real art comes near it, and it keeps a hostile header from sizing an
// absurd allocation. Sides have no limit of their own: a 20000 × 16 strip is fine. The image
// writers refuse what is beyond it, so that whatever they write reads back.
inline constexpr int64_t kMaxPixmapBytes = int64_t{256} * 1024 * 1024;

// Whether a width × height pixmap of `bytesPerPixel` bytes stays inside kMaxPixmapBytes (both
// sides at least 1).
bool IsAcceptablePixmapSize(int64_t width, int64_t height, int64_t bytesPerPixel) noexcept;
// The failure a decoder records for a size it refuses ("PNG: 70000 x 70000 image too large").
String PixmapTooLargeText(const char* codec, int64_t width, int64_t height);

// Pixels in memory. Row 0 is the top row; pixel (x, y) lies at Pixels() + y × Pitch() +
// x × FormatBytes[Format()]. Owned memory starts 16-byte aligned. No operation checks
// coordinates: callers keep them inside the pixmap. Single pixels travel as ARGB words
// (alpha in bits 24-31, red 16-23, green 8-15, blue 0-7).
class TPixmap : public TData {
 public:
  // An empty pixmap: no memory, every number 0.
  TPixmap() = default;
  ~TPixmap() override;
  TPixmap(const TPixmap&) = delete;
  TPixmap& operator=(const TPixmap&) = delete;

  // The module's TPixmapDataType (Null until InitPixmapModule has run).
  Ref<TDataType> DataType() const override;
  // Address of pixel (x, y).
  virtual uint8_t* PixelAddress(int32_t x, int32_t y) const;
  // A pixmap over this one's memory at (x, y); it keeps this pixmap alive.
  virtual Ref<TPixmap> SubWindow(int32_t x, int32_t y, int32_t width, int32_t height);
  // A new pixmap of the same size and format holding a copy of the pixels.
  virtual Ref<TPixmap> Duplicate() const;
  // Converts every row of `source` into this pixmap with its top left at (x, y); no clipping.
  virtual void PasteFrom(const Ref<TPixmap>& source, int32_t x, int32_t y);
  // A new pixmap of the same size with every row converted to `format`.
  virtual Ref<TPixmap> ToFormat(int32_t format) const;
  // The pixel as ARGB for formats 1 to 6; 0 for the others.
  virtual uint32_t GetPixel(int32_t x, int32_t y) const;
  // Stores an ARGB value for formats 1 to 6; the others are left alone.
  virtual void SetPixel(int32_t x, int32_t y, uint32_t argb);
  // Sets every pixel as SetPixel does; 0 clears the pixels of any format.
  virtual void Fill(uint32_t argb);

  // A new pixmap owning fresh, unwritten memory, rows padded to `align` bytes. Answers Null for
  // a negative size, an unknown format, an alignment below 1, a byte count beyond 32 bits or
  // memory that cannot be had.
  static Ref<TPixmap> Allocate(int32_t width, int32_t height, int32_t format, int32_t align);
  // A new pixmap over memory the caller owns and keeps alive.
  static Ref<TPixmap> Wrap(void* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format);

  // The first row, the size in pixels, the bytes from one row to the next, and the format id.
  uint8_t* Pixels() const noexcept { return pixels_; }
  int32_t Width() const noexcept { return width_; }
  int32_t Height() const noexcept { return height_; }
  int32_t Pitch() const noexcept { return pitch_; }
  int32_t Format() const noexcept { return format_; }
  // Bytes owned at Pixels(), or -1 for a wrapped pixmap or a window.
  int32_t Capacity() const noexcept { return capacity_; }
  // The pixmap whose memory a window shows; Null otherwise.
  const Ref<TPixmap>& Parent() const noexcept { return parent_; }

 private:
  // Bytes per pixel of this pixmap's format (0 for an unknown id).
  int32_t BytesPerPixel() const noexcept;

  uint8_t* pixels_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t pitch_ = 0;
  int32_t format_ = 0;
  int32_t capacity_ = 0;
  Ref<TPixmap> parent_;
};

// TPixmap::Allocate and TPixmap::Wrap under the module's names (every caller aligns to 4).
Ref<TPixmap> NewPixmap(int32_t width, int32_t height, int32_t format, int32_t align);
Ref<TPixmap> WrapPixmap(void* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format);

// The operations above with the pixmap as first argument (Null raises TNullObjectException):
// Duplicate, ToFormat, PixelAddress, SubWindow, GetPixel, SetPixel and Fill.
Ref<TPixmap> DuplicatePixmap(const Ref<TPixmap>& pixmap);
Ref<TPixmap> ConvertPixmap(const Ref<TPixmap>& pixmap, int32_t format);
uint8_t* PixmapPixelAddress(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
Ref<TPixmap> PixmapWindow(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, int32_t width, int32_t height);
uint32_t ReadPixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
void WritePixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, uint32_t argb);
void FillPixmap(const Ref<TPixmap>& pixmap, uint32_t argb);

// Plain accessors, with the pixmap as argument.
int32_t PixmapWidth(const Ref<TPixmap>& pixmap);
int32_t PixmapHeight(const Ref<TPixmap>& pixmap);
int32_t PixmapPitch(const Ref<TPixmap>& pixmap);
int32_t PixmapFormat(const Ref<TPixmap>& pixmap);

// The pixmap module's initialiser: registers the pixmap data type.
void InitPixmapModule();

}  // namespace corvex
