#include "pixmap/PngCodec.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "runtime/LastError.h"
#include "runtime/Log.h"
#include "runtime/Module.h"
#include "stream/StreamClosing.h"

// libpng leaves its calls through longjmp. Every function below that sets a recovery point is
// plain C-style code holding only trivially destructible locals, and no C++ exception ever
// passes through a libpng frame: the stream callbacks catch what the stream throws, keep it
// for the caller, and turn it into libpng's error path.

namespace corvex {
namespace {

constexpr int kSignatureBytes = 8;

// What the read callback reads from, and what the stream threw.
struct PngSource {
  TStream* stream;
  std::exception_ptr error;
};

struct PngSink {
  TStream* stream;
  std::exception_ptr error;
};

// The image as libpng delivers it once the transforms are set.
struct PngImage {
  png_uint_32 width;
  png_uint_32 height;
  int bitDepth;
  int colourType;
  size_t rowBytes;
};

// The encoder's choices for one pixmap.
struct PngLayout {
  png_uint_32 width;
  png_uint_32 height;
  int colourType;
  int transforms;
  int level;
  png_bytepp rows;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  SetLastError(String("PNG: ") + message);  // a full statement: its strings are gone before the jump
  png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp message) {
  LogLine(LogLevel::Warning, String("PNG: ") + message);
}

void ReadPngData(png_structp png, png_bytep data, size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  bool ended = false;
  bool failed = false;
  try {
    // The end of the stream ends the decode: a damaged chunk length must not have libpng
    // read on through gigabytes of made-up bytes.
    while (length > 0) {
      if (source->stream->Eof()) {
        ended = true;
        break;
      }
      const int32_t n = source->stream->Read(data, static_cast<int32_t>(std::min<size_t>(length, 1 << 30)));
      if (n <= 0) throw TStreamReadException();
      data += n;
      length -= static_cast<size_t>(n);
    }
  } catch (...) {
    source->error = std::current_exception();
    failed = true;
  }
  if (failed) png_error(png, "stream read failed");
  if (ended) png_error(png, "data ends early");
}

void WritePngData(png_structp png, png_bytep data, size_t length) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  bool failed = length > static_cast<size_t>(std::numeric_limits<int32_t>::max());
  if (!failed) {
    try {
      sink->stream->WriteBytes(data, static_cast<int32_t>(length));
    } catch (...) {
      sink->error = std::current_exception();
      failed = true;
    }
  }
  if (failed) png_error(png, "stream write failed");
}

void FlushPngData(png_structp png) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    sink->stream->Flush();
  } catch (...) {
    sink->error = std::current_exception();
    failed = true;
  }
  if (failed) png_error(png, "stream flush failed");
}

// Reads the chunks before the image data and sets the transforms: 16-bit samples become 8-bit,
// palettes become RGB, gray below 8 bits becomes 8-bit gray, transparency chunks become alpha
// (what PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_EXPAND do), and gray with alpha becomes RGBA.
// Answers false when libpng reports an error.
bool RunPngReadHeader(png_structp png, png_infop info, PngImage* image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_sig_bytes(png, kSignatureBytes);
  png_read_info(png, info);
  const png_byte sourceType = png_get_color_type(png, info);
  const bool grayWithAlpha =
      sourceType == PNG_COLOR_TYPE_GRAY_ALPHA ||
      (sourceType == PNG_COLOR_TYPE_GRAY && png_get_valid(png, info, PNG_INFO_tRNS) != 0);
  png_set_strip_16(png);
  png_set_expand(png);
  if (grayWithAlpha) png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  png_get_IHDR(png, info, &image->width, &image->height, &image->bitDepth, &image->colourType, nullptr,
               nullptr, nullptr);
  image->rowBytes = png_get_rowbytes(png, info);
  return true;
}

// Decodes every row straight into `rows` and reads the chunks after the image data. Answers
// false when libpng reports an error.
bool RunPngReadImage(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

// Writes the whole image. Answers false when libpng reports an error.
bool RunPngWrite(png_structp png, png_infop info, const PngLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_compression_level(png, layout->level);
  png_set_IHDR(png, info, layout->width, layout->height, 8, layout->colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_rows(png, info, layout->rows);
  png_write_png(png, info, layout->transforms, nullptr);
  return true;
}

// Owns libpng's read or write structures for one call.
class PngReadStructs {
 public:
  PngReadStructs() {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png != nullptr) info = png_create_info_struct(png);
  }
  ~PngReadStructs() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
  PngReadStructs(const PngReadStructs&) = delete;
  PngReadStructs& operator=(const PngReadStructs&) = delete;

  png_structp png = nullptr;
  png_infop info = nullptr;
};

class PngWriteStructs {
 public:
  PngWriteStructs() {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png != nullptr) info = png_create_info_struct(png);
  }
  ~PngWriteStructs() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }
  PngWriteStructs(const PngWriteStructs&) = delete;
  PngWriteStructs& operator=(const PngWriteStructs&) = delete;

  png_structp png = nullptr;
  png_infop info = nullptr;
};

// The pixmap format for what libpng delivers; PIXEL_NONE for anything but 8-bit gray, RGB and
// RGB with alpha.
int32_t FormatFor(const PngImage& image) {
  if (image.bitDepth != 8) return PIXEL_NONE;
  switch (image.colourType) {
    case PNG_COLOR_TYPE_GRAY:
      return PIXEL_GRAY8;
    case PNG_COLOR_TYPE_RGB:
      return PIXEL_RGB888;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return PIXEL_RGBA8888;
    default:
      return PIXEL_NONE;
  }
}

}  // namespace

Ref<TPixmap> TPixmapLoaderPNG::LoadFrom(const Ref<TStream>& stream) {
  return DecodePNG(stream);
}

Ref<TPixmap> DecodePNG(const Url& source) {
  const String name = source.Text();
  const ErrorSubject subject(&name);
  const Ref<TStream> stream = OpenReadStream(source);
  if (!stream) return Null;
  const StreamCloser closer(stream);
  uint8_t signature[kSignatureBytes] = {};
  stream->ReadBytes(signature, kSignatureBytes);
  if (png_sig_cmp(signature, 0, kSignatureBytes) != 0) return Null;

  PngReadStructs structs;
  if (structs.info == nullptr) return FailNull("PNG: out of memory");
  PngSource input{stream.Get(), nullptr};
  png_set_read_fn(structs.png, &input, ReadPngData);
  // Sides up to the format's own limit (libpng's default is far lower); the byte limit is
  // checked before the pixmap is made, and nothing image-sized is allocated before that.
  png_set_user_limits(structs.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  PngImage image{};
  if (!RunPngReadHeader(structs.png, structs.info, &image)) {
    if (input.error) std::rethrow_exception(input.error);
    return Null;
  }
  const int32_t format = FormatFor(image);
  if (format == PIXEL_NONE) return FailNull("PNG: unsupported pixel layout");
  if (!IsAcceptablePixmapSize(image.width, image.height, FormatBytes[format])) {
    return FailNull(PixmapTooLargeText("PNG", image.width, image.height));
  }
  Ref<TPixmap> pixmap =
      NewPixmap(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height), format, 4);
  // libpng writes rowBytes into each row: they must fit the pixmap's rows.
  if (!pixmap || image.rowBytes > static_cast<size_t>(pixmap->Pitch())) return Null;
  // Rows are decoded in place, without a second copy of the image.
  std::vector<png_bytep> rows(image.height);
  for (int32_t y = 0; y < pixmap->Height(); ++y) rows[static_cast<size_t>(y)] = pixmap->PixelAddress(0, y);
  const bool decoded = RunPngReadImage(structs.png, structs.info, rows.data());
  if (input.error) std::rethrow_exception(input.error);
  return decoded ? pixmap : Null;
}

int32_t EncodePNG(const Ref<TPixmap>& pixmap, const Url& destination, int32_t level) {
  // What the reader would refuse is not written: formats without a direct PNG layout are
  // written, and read back, as RGBA.
  const int32_t format = pixmap->Format();
  const bool direct = format == PIXEL_GRAY8 || format == PIXEL_RGB888 || format == PIXEL_BGR888 ||
                      format == PIXEL_RGBA8888 || format == PIXEL_BGRA8888;
  if (!IsAcceptablePixmapSize(pixmap->Width(), pixmap->Height(), direct ? FormatBytes[format] : 4)) return 0;
  const Ref<TStream> stream = OpenWriteStream(destination);
  if (!stream) return 0;
  const StreamCloser closer(stream);

  Ref<TPixmap> source = pixmap;
  PngLayout layout{};
  switch (pixmap->Format()) {
    case PIXEL_GRAY8:
      layout.colourType = PNG_COLOR_TYPE_GRAY;
      break;
    case PIXEL_RGB888:
      layout.colourType = PNG_COLOR_TYPE_RGB;
      break;
    case PIXEL_BGR888:
      layout.colourType = PNG_COLOR_TYPE_RGB;
      layout.transforms = PNG_TRANSFORM_BGR;
      break;
    case PIXEL_RGBA8888:
      layout.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
      break;
    case PIXEL_BGRA8888:
      layout.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
      layout.transforms = PNG_TRANSFORM_BGR;
      break;
    default:
      source = pixmap->ToFormat(PIXEL_RGBA8888);
      layout.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
      if (!source) return 0;
      break;
  }
  std::vector<png_bytep> rows(static_cast<size_t>(std::max(source->Height(), 0)));
  for (int32_t y = 0; y < source->Height(); ++y) rows[static_cast<size_t>(y)] = source->PixelAddress(0, y);
  layout.width = static_cast<png_uint_32>(std::max(source->Width(), 0));
  layout.height = static_cast<png_uint_32>(rows.size());
  layout.level = level;
  layout.rows = rows.data();

  PngWriteStructs structs;
  if (structs.info == nullptr) return 0;
  PngSink output{stream.Get(), nullptr};
  png_set_write_fn(structs.png, &output, WritePngData, FlushPngData);
  const bool written = RunPngWrite(structs.png, structs.info, &layout);
  if (output.error) std::rethrow_exception(output.error);
  return written ? 1 : 0;
}

void InitPngLoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitPixmapModule();
  new TPixmapLoaderPNG();  // the chain holds it for the rest of the process
}

}  // namespace corvex
