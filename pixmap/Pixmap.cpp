#include "pixmap/Pixmap.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#include "data/DataStream.h"
#include "pixmap/PixmapDataType.h"
#include "runtime/Module.h"
#include "stream/Stream.h"

namespace corvex {
namespace {

constexpr std::align_val_t kPixelAlignment{16};

// The module's one data type; the data-type registry holds the reference that keeps it.
TPixmapDataType* g_pixmapDataType = nullptr;

uint8_t* AllocatePixels(std::size_t bytes) {
  // At least one aligned block, so that even an empty pixmap has a valid address.
  return static_cast<uint8_t*>(::operator new(bytes == 0 ? 16 : bytes, kPixelAlignment, std::nothrow));
}

}  // namespace

bool IsAcceptablePixmapSize(int64_t width, int64_t height, int64_t bytesPerPixel) noexcept {
  if (width < 1 || height < 1 || bytesPerPixel < 1) return false;
  // Divisions rather than a product, which could overflow for sides near 2^32.
  return width <= kMaxPixmapBytes / bytesPerPixel / height;
}

String PixmapTooLargeText(const char* codec, int64_t width, int64_t height) {
  const String size = String::FromInt(width) + " x " + String::FromInt(height);
  if (width < 1 || height < 1) return String(codec) + ": bad image size " + size;
  return String(codec) + ": " + size + " image too large";
}

TPixmap::~TPixmap() {
  if (capacity_ >= 0 && pixels_ != nullptr) ::operator delete(pixels_, kPixelAlignment);
}

Ref<TDataType> TPixmap::DataType() const {
  return Ref<TDataType>(g_pixmapDataType);
}

int32_t TPixmap::BytesPerPixel() const noexcept {
  return IsPixelFormat(format_) ? FormatBytes[format_] : 0;
}

uint8_t* TPixmap::PixelAddress(int32_t x, int32_t y) const {
  return pixels_ + static_cast<std::ptrdiff_t>(y) * pitch_ + static_cast<std::ptrdiff_t>(x) * BytesPerPixel();
}

Ref<TPixmap> TPixmap::SubWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
  Ref<TPixmap> window = Wrap(PixelAddress(x, y), width, height, pitch_, format_);
  window->parent_ = Ref<TPixmap>(this);
  return window;
}

Ref<TPixmap> TPixmap::Duplicate() const {
  Ref<TPixmap> copy = Allocate(width_, height_, format_, 4);
  if (!copy) return Null;
  const auto rowBytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(BytesPerPixel());
  for (int32_t y = 0; y < height_; ++y) std::memcpy(copy->PixelAddress(0, y), PixelAddress(0, y), rowBytes);
  return copy;
}

void TPixmap::PasteFrom(const Ref<TPixmap>& source, int32_t x, int32_t y) {
  const TPixmap& from = *source;
  for (int32_t r = 0; r < from.height_; ++r) {
    ConvertPixelRun(from.PixelAddress(0, r), from.format_, PixelAddress(x, y + r), format_, from.width_);
  }
}

Ref<TPixmap> TPixmap::ToFormat(int32_t format) const {
  Ref<TPixmap> result = Allocate(width_, height_, format, 4);
  if (!result) return Null;
  for (int32_t y = 0; y < height_; ++y) {
    ConvertPixelRun(PixelAddress(0, y), format_, result->PixelAddress(0, y), format, width_);
  }
  return result;
}

uint32_t TPixmap::GetPixel(int32_t x, int32_t y) const {
  const uint8_t* p = PixelAddress(x, y);
  switch (format_) {
    case PIXEL_GRAY8:
      return 0xFF000000u | p[0] * 0x010101u;
    case PIXEL_ALPHA8:
      return static_cast<uint32_t>(p[0]) << 24 | 0xFFFFFFu;
    case PIXEL_BGR888:
      return 0xFF000000u | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
    case PIXEL_RGB888:
      return 0xFF000000u | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    case PIXEL_BGRA8888:
      return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
             static_cast<uint32_t>(p[1]) << 8 | p[0];
    case PIXEL_RGBA8888:
      return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[0]) << 16 |
             static_cast<uint32_t>(p[1]) << 8 | p[2];
    default:
      return 0;
  }
}

void TPixmap::SetPixel(int32_t x, int32_t y, uint32_t argb) {
  const auto a = static_cast<uint8_t>(argb >> 24);
  const auto r = static_cast<uint8_t>(argb >> 16);
  const auto g = static_cast<uint8_t>(argb >> 8);
  const auto b = static_cast<uint8_t>(argb);
  uint8_t* p = PixelAddress(x, y);
  switch (format_) {
    case PIXEL_GRAY8:
      p[0] = static_cast<uint8_t>((r + g + b) / 3);
      break;
    case PIXEL_ALPHA8:
      p[0] = a;
      break;
    case PIXEL_BGR888:
      p[0] = b, p[1] = g, p[2] = r;
      break;
    case PIXEL_RGB888:
      p[0] = r, p[1] = g, p[2] = b;
      break;
    case PIXEL_BGRA8888:
      p[0] = b, p[1] = g, p[2] = r, p[3] = a;
      break;
    case PIXEL_RGBA8888:
      p[0] = r, p[1] = g, p[2] = b, p[3] = a;
      break;
    default:
      break;
  }
}

void TPixmap::Fill(uint32_t argb) {
  const auto rowBytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(BytesPerPixel());
  if (argb == 0 && static_cast<std::size_t>(pitch_) == rowBytes) {
    if (rowBytes > 0 && height_ > 0) std::memset(pixels_, 0, rowBytes * static_cast<std::size_t>(height_));
    return;
  }
  if (argb != 0 && (format_ < PIXEL_GRAY8 || format_ > PIXEL_RGBA8888)) return;
  for (int32_t y = 0; y < height_; ++y) {
    if (argb == 0) {
      if (rowBytes > 0) std::memset(PixelAddress(0, y), 0, rowBytes);
      continue;
    }
    // The first pixel is stored as SetPixel does; the rest of the row copies it.
    SetPixel(0, y, argb);
    const auto bytes = static_cast<std::size_t>(BytesPerPixel());
    uint8_t* row = PixelAddress(0, y);
    for (int32_t x = 1; x < width_; ++x) std::memcpy(row + static_cast<std::size_t>(x) * bytes, row, bytes);
  }
}

Ref<TPixmap> TPixmap::Allocate(int32_t width, int32_t height, int32_t format, int32_t align) {
  if (width < 0 || height < 0 || !IsPixelFormat(format) || align < 1) return Null;
  const int64_t rowBytes = int64_t{width} * FormatBytes[format];
  const int64_t pitch = (rowBytes + align - 1) / align * align;
  const int64_t capacity = pitch * height;
  if (pitch > std::numeric_limits<int32_t>::max() || capacity > std::numeric_limits<int32_t>::max()) {
    return Null;
  }
  uint8_t* pixels = AllocatePixels(static_cast<std::size_t>(capacity));
  if (pixels == nullptr) return Null;
  auto pixmap = New<TPixmap>();
  pixmap->pixels_ = pixels;
  pixmap->width_ = width;
  pixmap->height_ = height;
  pixmap->pitch_ = static_cast<int32_t>(pitch);
  pixmap->format_ = format;
  pixmap->capacity_ = static_cast<int32_t>(capacity);
  return pixmap;
}

Ref<TPixmap> TPixmap::Wrap(void* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format) {
  auto pixmap = New<TPixmap>();
  pixmap->pixels_ = static_cast<uint8_t*>(pixels);
  pixmap->width_ = width;
  pixmap->height_ = height;
  pixmap->pitch_ = pitch;
  pixmap->format_ = format;
  pixmap->capacity_ = -1;
  return pixmap;
}

Ref<TPixmap> NewPixmap(int32_t width, int32_t height, int32_t format, int32_t align) {
  return TPixmap::Allocate(width, height, format, align);
}
Ref<TPixmap> WrapPixmap(void* pixels, int32_t width, int32_t height, int32_t pitch, int32_t format) {
  return TPixmap::Wrap(pixels, width, height, pitch, format);
}
Ref<TPixmap> DuplicatePixmap(const Ref<TPixmap>& pixmap) {
  return pixmap->Duplicate();
}
Ref<TPixmap> ConvertPixmap(const Ref<TPixmap>& pixmap, int32_t format) {
  return pixmap->ToFormat(format);
}
uint8_t* PixmapPixelAddress(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return pixmap->PixelAddress(x, y);
}
Ref<TPixmap> PixmapWindow(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, int32_t width, int32_t height) {
  return pixmap->SubWindow(x, y, width, height);
}
uint32_t ReadPixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
  return pixmap->GetPixel(x, y);
}
void WritePixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y, uint32_t argb) {
  pixmap->SetPixel(x, y, argb);
}
void FillPixmap(const Ref<TPixmap>& pixmap, uint32_t argb) {
  pixmap->Fill(argb);
}
int32_t PixmapWidth(const Ref<TPixmap>& pixmap) {
  return pixmap->Width();
}
int32_t PixmapHeight(const Ref<TPixmap>& pixmap) {
  return pixmap->Height();
}
int32_t PixmapPitch(const Ref<TPixmap>& pixmap) {
  return pixmap->Pitch();
}
int32_t PixmapFormat(const Ref<TPixmap>& pixmap) {
  return pixmap->Format();
}

void InitPixmapModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitDataStreamModule();
  // The format tables are compile-time constants; only the data type needs creating.
  g_pixmapDataType = new TPixmapDataType();
}

}  // namespace corvex
