// Pixmap decoding against libpng and libjpeg called directly on the same bytes, in the same
// run, and pixel conversion and scaling throughput in megapixels per second.
#include <benchmark/benchmark.h>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "data/BankDataType.h"
#include "pixmap/JpegCodec.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PixmapTransforms.h"
#include "pixmap/PngCodec.h"
#include "stream/Bank.h"
#include "stream/RamStream.h"

namespace corvex {
namespace {

constexpr int32_t kSide = 512;

void InitModules() {
  InitRamStreamModule();
  InitBankDataTypeModule();
  InitBmpLoaderModule();
  InitJpegLoaderModule();
  InitPngLoaderModule();
  InitTgaLoaderModule();
}

// A 512 × 512 RGBA picture with smooth gradients, hard edges and some grain, like typical art.
Ref<TPixmap> TestPicture() {
  Ref<TPixmap> picture = NewPixmap(kSide, kSide, PIXEL_RGBA8888, 4);
  uint32_t grain = 12345;
  for (int32_t y = 0; y < kSide; ++y) {
    uint8_t* p = picture->PixelAddress(0, y);
    for (int32_t x = 0; x < kSide; ++x, p += 4) {
      grain = grain * 1664525u + 1013904223u;
      const auto noise = static_cast<int32_t>(grain >> 29);  // 0 to 7
      p[0] = static_cast<uint8_t>(x / 2 + noise);
      p[1] = static_cast<uint8_t>(y / 2 + noise);
      p[2] = static_cast<uint8_t>(((x ^ y) & 32) != 0 ? 200 : 60);
      p[3] = static_cast<uint8_t>(255 - (x + y) / 4);
    }
  }
  return picture;
}

std::string Encoded(bool jpeg) {
  InitModules();
  const Ref<TBankStream> out = NewBankStream(Null);
  const Ref<TPixmap> picture = TestPicture();
  if (jpeg) {
    EncodeJPEG(picture, out, 90);
  } else {
    EncodePNG(picture, out, 6);
  }
  const Ref<TBank>& bank = out->Bank();
  return std::string(reinterpret_cast<const char*>(bank->Buf()), static_cast<std::size_t>(bank->Size()));
}

const std::string& PngBytes() {
  static const std::string bytes = Encoded(false);
  return bytes;
}

const std::string& JpegBytes() {
  static const std::string bytes = Encoded(true);
  return bytes;
}

void SetPixelRate(benchmark::State& state, int64_t pixelsPerIteration) {
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(pixelsPerIteration) * 1e-6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

Ref<TPixmap> DecodeThroughChain(const std::string& bytes) {
  // A read-only memory stream never writes to its block.
  void* block = const_cast<char*>(bytes.data());
  return ReadPixmap(TRamStream::Create(block, static_cast<int32_t>(bytes.size()), true, false));
}

// ---- PNG ----

void BM_PngReadPixmap(benchmark::State& state) {
  const std::string& bytes = PngBytes();
  state.counters["file bytes"] = static_cast<double>(bytes.size());
  for (auto _ : state) {
    Ref<TPixmap> pixmap = DecodeThroughChain(bytes);
    benchmark::DoNotOptimize(pixmap->Pixels());
  }
  SetPixelRate(state, int64_t{kSide} * kSide);
}
BENCHMARK(BM_PngReadPixmap);

struct MemoryReader {
  const std::string* bytes;
  std::size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep data, size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->bytes->size() - reader->pos) png_error(png, "ends early");
  std::memcpy(data, reader->bytes->data() + reader->pos, length);
  reader->pos += length;
}

// The same decode with libpng alone: the same transforms, rows left where libpng put them.
bool DecodePngDirectly(const std::string& bytes, png_uint_32* width) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&bytes, 0};
  bool ok = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_png(png, info, PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_EXPAND, nullptr);
    *width = png_get_image_width(png, info);
    ok = png_get_rows(png, info) != nullptr;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return ok;
}

void BM_PngLibpngBaseline(benchmark::State& state) {
  const std::string& bytes = PngBytes();
  for (auto _ : state) {
    png_uint_32 width = 0;
    benchmark::DoNotOptimize(DecodePngDirectly(bytes, &width));
    benchmark::DoNotOptimize(width);
  }
  SetPixelRate(state, int64_t{kSide} * kSide);
}
BENCHMARK(BM_PngLibpngBaseline);

// ---- JPEG ----

void BM_JpegReadPixmap(benchmark::State& state) {
  const std::string& bytes = JpegBytes();
  state.counters["file bytes"] = static_cast<double>(bytes.size());
  for (auto _ : state) {
    Ref<TPixmap> pixmap = DecodeThroughChain(bytes);
    benchmark::DoNotOptimize(pixmap->Pixels());
  }
  SetPixelRate(state, int64_t{kSide} * kSide);
}
BENCHMARK(BM_JpegReadPixmap);

struct JpegBaselineErrors {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

void JumpBack(j_common_ptr codec) {
  std::longjmp(reinterpret_cast<JpegBaselineErrors*>(codec->err)->jump, 1);
}

// The same decode with libjpeg alone, from memory into one packed buffer.
bool DecodeJpegDirectly(const std::string& bytes, std::vector<uint8_t>& pixels) {
  jpeg_decompress_struct codec{};
  JpegBaselineErrors errors{};
  codec.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JumpBack;
  bool ok = false;
  if (setjmp(errors.jump) == 0) {
    jpeg_create_decompress(&codec);
    jpeg_mem_src(&codec, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&codec, TRUE);
    jpeg_start_decompress(&codec);
    const std::size_t rowBytes = std::size_t{codec.output_width} * codec.output_components;
    pixels.resize(rowBytes * codec.output_height);
    while (codec.output_scanline < codec.output_height) {
      JSAMPROW row = pixels.data() + rowBytes * codec.output_scanline;
      jpeg_read_scanlines(&codec, &row, 1);
    }
    jpeg_finish_decompress(&codec);
    ok = true;
  }
  jpeg_destroy_decompress(&codec);
  return ok;
}

void BM_JpegLibjpegBaseline(benchmark::State& state) {
  const std::string& bytes = JpegBytes();
  for (auto _ : state) {
    std::vector<uint8_t> pixels;  // a fresh image each time, as the pixmap is
    benchmark::DoNotOptimize(DecodeJpegDirectly(bytes, pixels));
    benchmark::DoNotOptimize(pixels.data());
  }
  SetPixelRate(state, int64_t{kSide} * kSide);
}
BENCHMARK(BM_JpegLibjpegBaseline);

// ---- conversion and scaling ----

void ConvertRows(benchmark::State& state, int32_t format) {
  InitModules();
  const Ref<TPixmap> source = TestPicture();
  const Ref<TPixmap> target = NewPixmap(kSide, kSide, format, 4);
  for (auto _ : state) {
    for (int32_t y = 0; y < kSide; ++y) {
      ConvertPixelRun(source->PixelAddress(0, y), PIXEL_RGBA8888, target->PixelAddress(0, y), format, kSide);
    }
    benchmark::DoNotOptimize(target->Pixels());
    benchmark::ClobberMemory();
  }
  SetPixelRate(state, int64_t{kSide} * kSide);
}

void BM_CopyRgbaBaseline(benchmark::State& state) {
  ConvertRows(state, PIXEL_RGBA8888);
}
BENCHMARK(BM_CopyRgbaBaseline);
void BM_ConvertRgbaToBgr888(benchmark::State& state) {
  ConvertRows(state, PIXEL_BGR888);
}
BENCHMARK(BM_ConvertRgbaToBgr888);
void BM_ConvertRgbaToGray8(benchmark::State& state) {
  ConvertRows(state, PIXEL_GRAY8);
}
BENCHMARK(BM_ConvertRgbaToGray8);

void BM_ScalePixmap512To300(benchmark::State& state) {
  InitModules();
  const Ref<TPixmap> source = TestPicture();
  for (auto _ : state) {
    Ref<TPixmap> scaled = ScalePixmap(source, 300, 300);
    benchmark::DoNotOptimize(scaled->Pixels());
  }
  SetPixelRate(state, int64_t{300} * 300);
}
BENCHMARK(BM_ScalePixmap512To300);

}  // namespace
}  // namespace corvex
