#include "pixmap/JpegCodec.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "runtime/LastError.h"
#include "runtime/Module.h"
#include "stream/StreamClosing.h"

// libjpeg leaves its calls through longjmp. Every function below that sets a recovery point is
// plain C-style code holding only trivially destructible locals, and no C++ exception ever
// passes through a libjpeg frame: the stream callbacks catch what the stream throws, keep it
// for the caller, and turn it into libjpeg's fatal-error path. Each call has its own context
// (reached through the codec's client_data), so decodes and encodes need no shared state.

namespace corvex {
namespace {

constexpr std::size_t kBufferBytes = 4096;
// Progressive files with more scans than this are refused: each scan costs a pass over the
// whole coefficient buffer, and hostile files carry thousands.
constexpr int kMaxScans = 500;
// What libjpeg may take for its own buffers (the whole-image coefficients of progressive files).
constexpr long kMaxCodecMemory = 512L * 1024 * 1024;

// Everything one decode or encode shares with libjpeg's callbacks.
struct JpegContext {
  jpeg_error_mgr errors;
  jmp_buf jump;
  TStream* stream;
  bool startOfFile;
  JOCTET buffer[kBufferBytes];
  std::exception_ptr error;
};

JpegContext* ContextOf(j_common_ptr codec) {
  return static_cast<JpegContext*>(codec->client_data);
}

// Records libjpeg's own text for the error. Data that does not start like a JPEG file is left to
// the loader chain, which tries other formats.
void RecordJpegError(j_common_ptr codec) {
  if (codec->err->msg_code == JERR_NO_SOI || codec->err->msg_code == JERR_INPUT_EMPTY) return;
  jpeg_error_mgr standard{};
  jpeg_std_error(&standard);
  char text[JMSG_LENGTH_MAX] = {};
  standard.format_message(codec, text);
  SetLastError(String("JPEG: ") + text);
}

[[noreturn]] void OnFatalError(j_common_ptr codec) {
  RecordJpegError(codec);
  std::longjmp(ContextOf(codec)->jump, -1);
}
void IgnoreOutput(j_common_ptr) {}
void IgnoreMessage(j_common_ptr, int) {}
void IgnoreFormat(j_common_ptr, char*) {}
void ResetErrors(j_common_ptr codec) {
  codec->err->num_warnings = 0;
  codec->err->msg_code = 0;
}

void SetUpErrors(JpegContext* context) {
  jpeg_std_error(&context->errors);
  context->errors.error_exit = OnFatalError;
  context->errors.output_message = IgnoreOutput;
  context->errors.emit_message = IgnoreMessage;
  context->errors.format_message = IgnoreFormat;
  context->errors.reset_error_mgr = ResetErrors;
  context->errors.trace_level = 0;
  context->errors.num_warnings = 0;
  context->errors.msg_code = 0;
}

void LimitScans(j_common_ptr codec) {
  if (codec->is_decompressor && reinterpret_cast<j_decompress_ptr>(codec)->input_scan_number > kMaxScans) {
    ERREXIT(codec, JERR_BAD_SCAN_SCRIPT);
  }
}

// ---- source manager: reads the stream through its raw Read ----

void InitSource(j_decompress_ptr codec) {
  ContextOf(reinterpret_cast<j_common_ptr>(codec))->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr codec) {
  JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(codec));
  int32_t count = 0;
  bool failed = false;
  try {
    count = context->stream->Read(context->buffer, static_cast<int32_t>(kBufferBytes));
  } catch (...) {
    context->error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(codec, JERR_FILE_READ);
  if (count <= 0) {
    if (context->startOfFile) ERREXIT(codec, JERR_INPUT_EMPTY);
    // A stream that ends early gets an end-of-image marker in place of the rest.
    WARNMS(codec, JWRN_JPEG_EOF);
    context->buffer[0] = 0xFF;
    context->buffer[1] = JPEG_EOI;
    count = 2;
  }
  codec->src->next_input_byte = context->buffer;
  codec->src->bytes_in_buffer = static_cast<std::size_t>(count);
  context->startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr codec, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = codec->src;
  while (count > static_cast<long>(source->bytes_in_buffer)) {
    count -= static_cast<long>(source->bytes_in_buffer);
    FillInputBuffer(codec);
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// ---- destination manager: writes whole buffers to the stream ----

void InitDestination(j_compress_ptr codec) {
  codec->dest->next_output_byte = ContextOf(reinterpret_cast<j_common_ptr>(codec))->buffer;
  codec->dest->free_in_buffer = kBufferBytes;
}

void WriteBuffer(j_compress_ptr codec, std::size_t count) {
  JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(codec));
  bool failed = false;
  try {
    context->stream->WriteBytes(context->buffer, static_cast<int32_t>(count));
  } catch (...) {
    context->error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(codec, JERR_FILE_WRITE);
}

boolean EmptyOutputBuffer(j_compress_ptr codec) {
  WriteBuffer(codec, kBufferBytes);
  InitDestination(codec);
  return TRUE;
}

void TermDestination(j_compress_ptr codec) {
  const std::size_t used = kBufferBytes - codec->dest->free_in_buffer;
  if (used > 0) WriteBuffer(codec, used);
}

// ---- the libjpeg calls, each behind its own recovery point ----

// Creates the decompressor on the context's stream and reads the header.
bool RunJpegReadHeader(j_decompress_ptr codec, JpegContext* context, jpeg_source_mgr* source,
                       jpeg_progress_mgr* progress) {
  if (setjmp(context->jump)) return false;
  jpeg_create_decompress(codec);
  codec->mem->max_memory_to_use = kMaxCodecMemory;
  progress->progress_monitor = LimitScans;
  codec->progress = progress;
  source->init_source = InitSource;
  source->fill_input_buffer = FillInputBuffer;
  source->skip_input_data = SkipInputData;
  source->resync_to_restart = jpeg_resync_to_restart;
  source->term_source = TermSource;
  source->bytes_in_buffer = 0;
  source->next_input_byte = nullptr;
  codec->src = source;
  return jpeg_read_header(codec, TRUE) == JPEG_HEADER_OK;
}

// Decodes every scanline into `rows`, which hold `components` bytes per pixel.
bool RunJpegDecompress(j_decompress_ptr codec, JpegContext* context, JSAMPROW* rows, int components) {
  if (setjmp(context->jump)) return false;
  const JDIMENSION width = codec->image_width;
  const JDIMENSION height = codec->image_height;
  jpeg_start_decompress(codec);
  if (codec->output_width != width || codec->output_height != height ||
      codec->output_components != components) {
    return false;
  }
  while (codec->output_scanline < height) {
    const JDIMENSION line = codec->output_scanline;
    if (jpeg_read_scanlines(codec, rows + line, height - line) == 0) return false;
  }
  jpeg_finish_decompress(codec);
  return true;
}

// Encodes `height` RGB rows of `pitch` bytes from `pixels`.
bool RunJpegCompress(j_compress_ptr codec, JpegContext* context, jpeg_destination_mgr* destination,
                     JDIMENSION width, JDIMENSION height, std::ptrdiff_t pitch, JSAMPLE* pixels,
                     int quality) {
  if (setjmp(context->jump)) return false;
  jpeg_create_compress(codec);
  destination->init_destination = InitDestination;
  destination->empty_output_buffer = EmptyOutputBuffer;
  destination->term_destination = TermDestination;
  codec->dest = destination;
  codec->image_width = width;
  codec->image_height = height;
  codec->input_components = 3;
  codec->in_color_space = JCS_RGB;
  jpeg_set_defaults(codec);
  jpeg_set_quality(codec, quality, TRUE);
  jpeg_start_compress(codec, TRUE);
  while (codec->next_scanline < height) {
    JSAMPROW row = pixels + static_cast<std::ptrdiff_t>(codec->next_scanline) * pitch;
    jpeg_write_scanlines(codec, &row, 1);
  }
  jpeg_finish_compress(codec);
  return true;
}

// Owns the decompressor or compressor of one call; destroying one never reports an error.
template <class Codec>
class JpegCodecHolder {
 public:
  JpegCodecHolder() = default;
  ~JpegCodecHolder() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&codec)); }
  JpegCodecHolder(const JpegCodecHolder&) = delete;
  JpegCodecHolder& operator=(const JpegCodecHolder&) = delete;

  Codec codec{};
};

// Output bytes per pixel for the colour space libjpeg decodes to by default.
int ComponentsFor(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_GRAYSCALE:
      return 1;
    case JCS_RGB:
      return 3;
    default:
      return 0;  // CMYK and whatever else: not a pixmap format
  }
}

}  // namespace

Ref<TPixmap> TPixmapLoaderJPG::LoadFrom(const Ref<TStream>& stream) {
  return DecodeJPEG(stream);
}

Ref<TPixmap> DecodeJPEG(const Url& source) {
  const String name = source.Text();
  const ErrorSubject subject(&name);
  const Ref<TStream> stream = OpenReadStream(source);
  if (!stream) return Null;
  const StreamCloser closer(stream);

  auto context = std::make_unique<JpegContext>();
  context->stream = stream.Get();
  SetUpErrors(context.get());
  JpegCodecHolder<jpeg_decompress_struct> holder;
  holder.codec.err = &context->errors;
  holder.codec.client_data = context.get();  // reached by errors during creation too
  jpeg_source_mgr input{};
  jpeg_progress_mgr progress{};

  Ref<TPixmap> pixmap;
  if (RunJpegReadHeader(&holder.codec, context.get(), &input, &progress)) {
    const int components = ComponentsFor(holder.codec.out_color_space);
    const int64_t width = holder.codec.image_width;
    const int64_t height = holder.codec.image_height;
    if (components != 0 && IsAcceptablePixmapSize(width, height, components)) {
      pixmap = NewPixmap(static_cast<int32_t>(width), static_cast<int32_t>(height),
                         components == 1 ? PIXEL_GRAY8 : PIXEL_RGB888, 4);
    } else {
      SetLastError(components == 0 ? String("JPEG: unsupported colour space")
                                   : PixmapTooLargeText("JPEG", width, height));
    }
    if (pixmap) {
      std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
      for (int32_t y = 0; y < pixmap->Height(); ++y) {
        rows[static_cast<std::size_t>(y)] = pixmap->PixelAddress(0, y);
      }
      if (!RunJpegDecompress(&holder.codec, context.get(), rows.data(), components)) pixmap = Null;
    }
  }
  if (context->error) std::rethrow_exception(context->error);
  return pixmap;
}

int32_t EncodeJPEG(const Ref<TPixmap>& pixmap, const Url& destination, int32_t quality) {
  // What the reader would refuse is not written (libjpeg refuses sides above 65500 itself).
  if (!IsAcceptablePixmapSize(pixmap->Width(), pixmap->Height(), 3)) return 0;
  const Ref<TStream> stream = OpenWriteStream(destination);
  if (!stream) return 0;
  const StreamCloser closer(stream);
  const Ref<TPixmap> rgb = pixmap->ToFormat(PIXEL_RGB888);
  if (!rgb) return 0;

  auto context = std::make_unique<JpegContext>();
  context->stream = stream.Get();
  SetUpErrors(context.get());
  JpegCodecHolder<jpeg_compress_struct> holder;
  holder.codec.err = &context->errors;
  holder.codec.client_data = context.get();  // reached by errors during creation too
  jpeg_destination_mgr output{};
  const bool written = RunJpegCompress(
      &holder.codec, context.get(), &output, static_cast<JDIMENSION>(std::max(rgb->Width(), 0)),
      static_cast<JDIMENSION>(std::max(rgb->Height(), 0)), rgb->Pitch(), rgb->PixelAddress(0, 0), quality);
  if (context->error) std::rethrow_exception(context->error);
  return written ? 1 : 0;
}

void InitJpegLoaderModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitPixmapModule();
  new TPixmapLoaderJPG();  // the chain holds it for the rest of the process
}

}  // namespace corvex
