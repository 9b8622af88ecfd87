#include "audio/AudioSample.h"

#include <cstdlib>
#include <cstring>

#include "runtime/Exceptions.h"

namespace corvex {
namespace {

// Frames converted per step when neither side is SAMPLE_STEREO16BE: a 4 KiB stack buffer.
constexpr int32_t kChunkFrames = 1024;

[[noreturn]] void ThrowUnimplementedConversion() {
  throw TRuntimeException("Unimplemented sample format conversion");
}

bool IsConvertibleFormat(int32_t format) noexcept {
  return format >= SAMPLE_MONO8 && format <= SAMPLE_STEREO16BE;
}

// `count` 16-bit stereo frames with the bytes of each value swapped: little-endian to
// big-endian and back.
void SwapStereo16(const uint8_t* __restrict s, uint8_t* __restrict d, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, s += 4, d += 4) {
    d[0] = s[1];
    d[1] = s[0];
    d[2] = s[3];
    d[3] = s[2];
  }
}

// `count` frames of `format` into SAMPLE_STEREO16BE (4 bytes a frame, high byte first).
void Expand(const uint8_t* __restrict s, int32_t format, uint8_t* __restrict d, int32_t count) {
  const auto n = static_cast<std::size_t>(count);
  switch (format) {
    case SAMPLE_MONO8:
      for (std::size_t i = 0; i < n; ++i, d += 4) {
        // High byte c - 128, low byte c: 0 becomes -32768, 255 becomes 32767.
        const uint8_t c = s[i];
        d[0] = d[2] = static_cast<uint8_t>(c - 128);
        d[1] = d[3] = c;
      }
      break;
    case SAMPLE_MONO16LE:
      for (std::size_t i = 0; i < n; ++i, s += 2, d += 4) {
        d[0] = d[2] = s[1];
        d[1] = d[3] = s[0];
      }
      break;
    case SAMPLE_MONO16BE:
      for (std::size_t i = 0; i < n; ++i, s += 2, d += 4) {
        d[0] = d[2] = s[0];
        d[1] = d[3] = s[1];
      }
      break;
    case SAMPLE_STEREO8:
      for (std::size_t i = 0; i < n; ++i, s += 2, d += 4) {
        d[0] = static_cast<uint8_t>(s[0] - 128);
        d[1] = s[0];
        d[2] = static_cast<uint8_t>(s[1] - 128);
        d[3] = s[1];
      }
      break;
    case SAMPLE_STEREO16LE:
      SwapStereo16(s, d, n);
      break;
    case SAMPLE_STEREO16BE:
      std::memcpy(d, s, n * 4);
      break;
    default:
      ThrowUnimplementedConversion();
  }
}

int32_t Left(const uint8_t* frame) noexcept {
  return static_cast<int16_t>((frame[0] << 8) | frame[1]);
}
int32_t Right(const uint8_t* frame) noexcept {
  return static_cast<int16_t>((frame[2] << 8) | frame[3]);
}
// The channels' mean, truncated toward zero.
int32_t Middle(const uint8_t* frame) noexcept {
  return (Left(frame) + Right(frame)) / 2;
}
uint8_t To8(int32_t value) noexcept {
  return static_cast<uint8_t>((value + 32768) / 257);
}

// `count` SAMPLE_STEREO16BE frames into `format`.
void Pack(const uint8_t* __restrict s, int32_t format, uint8_t* __restrict d, int32_t count) {
  const auto n = static_cast<std::size_t>(count);
  switch (format) {
    case SAMPLE_MONO8:
      for (std::size_t i = 0; i < n; ++i, s += 4) d[i] = To8(Middle(s));
      break;
    case SAMPLE_MONO16LE:
      for (std::size_t i = 0; i < n; ++i, s += 4, d += 2) {
        const int32_t m = Middle(s);
        d[0] = static_cast<uint8_t>(m);
        d[1] = static_cast<uint8_t>(m >> 8);
      }
      break;
    case SAMPLE_MONO16BE:
      for (std::size_t i = 0; i < n; ++i, s += 4, d += 2) {
        const int32_t m = Middle(s);
        d[0] = static_cast<uint8_t>(m >> 8);
        d[1] = static_cast<uint8_t>(m);
      }
      break;
    case SAMPLE_STEREO8:
      for (std::size_t i = 0; i < n; ++i, s += 4, d += 2) {
        d[0] = To8(Left(s));
        d[1] = To8(Right(s));
      }
      break;
    case SAMPLE_STEREO16LE:
      SwapStereo16(s, d, n);
      break;
    case SAMPLE_STEREO16BE:
      std::memcpy(d, s, n * 4);
      break;
    default:
      ThrowUnimplementedConversion();
  }
}

}  // namespace

const char* SampleFormatName(int32_t format) noexcept {
  static constexpr const char* kNames[kSampleFormatCount] = {
      "SAMPLE_NONE",    "SAMPLE_MONO8",      "SAMPLE_MONO16LE",  "SAMPLE_MONO16BE",
      "SAMPLE_STEREO8", "SAMPLE_STEREO16LE", "SAMPLE_STEREO16BE"};
  return IsSampleFormat(format) ? kNames[format] : "SAMPLE_UNKNOWN";
}

void ConvertSampleData(const void* source, int32_t sourceFormat, void* dest, int32_t destFormat,
                       int32_t count) {
  if (sourceFormat == destFormat) {
    if (!IsSampleFormat(sourceFormat)) ThrowUnimplementedConversion();
    if (count > 0) {
      std::memmove(dest, source, static_cast<std::size_t>(count) * SampleFormatBytes[sourceFormat]);
    }
    return;
  }
  if (!IsConvertibleFormat(sourceFormat) || !IsConvertibleFormat(destFormat)) ThrowUnimplementedConversion();
  const auto* s = static_cast<const uint8_t*>(source);
  auto* d = static_cast<uint8_t*>(dest);
  if (count <= 0) return;
  if (destFormat == SAMPLE_STEREO16BE) return Expand(s, sourceFormat, d, count);
  if (sourceFormat == SAMPLE_STEREO16BE) return Pack(s, destFormat, d, count);
  uint8_t scratch[kChunkFrames * 4];
  const int32_t sourceBytes = SampleFormatBytes[sourceFormat];
  const int32_t destBytes = SampleFormatBytes[destFormat];
  for (int32_t done = 0; done < count; done += kChunkFrames) {
    const int32_t n = count - done < kChunkFrames ? count - done : kChunkFrames;
    Expand(s + static_cast<std::size_t>(done) * sourceBytes, sourceFormat, scratch, n);
    Pack(scratch, destFormat, d + static_cast<std::size_t>(done) * destBytes, n);
  }
}

TAudioSample::~TAudioSample() {
  if (capacity_ >= 0) std::free(samples_);
}

Ref<TAudioSample> TAudioSample::Copy() const {
  Ref<TAudioSample> copy = Create(length_, hertz_, format_);
  if (!copy) throw TRuntimeException("Out of memory copying an audio sample");
  if (ByteCount() > 0) std::memcpy(copy->samples_, samples_, static_cast<std::size_t>(ByteCount()));
  return copy;
}

Ref<TAudioSample> TAudioSample::Convert(int32_t format) const {
  if (format != format_ && (!IsConvertibleFormat(format) || !IsConvertibleFormat(format_))) {
    ThrowUnimplementedConversion();
  }
  Ref<TAudioSample> converted = Create(length_, hertz_, format);
  if (!converted) throw TRuntimeException("Out of memory converting an audio sample");
  ConvertSampleData(samples_, format_, converted->samples_, format, length_);
  return converted;
}

Ref<TAudioSample> TAudioSample::Create(int32_t length, int32_t hertz, int32_t format) {
  if (length < 0 || !IsSampleFormat(format)) return Null;
  const int64_t bytes = int64_t{length} * SampleFormatBytes[format];
  if (bytes > INT32_MAX) return Null;
  // One byte at least, so that an empty sample still has an address of its own.
  auto* memory = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(bytes > 0 ? bytes : 1)));
  if (memory == nullptr) return Null;
  Ref<TAudioSample> sample(new TAudioSample());
  sample->samples_ = memory;
  sample->length_ = length;
  sample->hertz_ = hertz;
  sample->format_ = format;
  sample->capacity_ = static_cast<int32_t>(bytes);
  return sample;
}

Ref<TAudioSample> TAudioSample::CreateOver(void* address, int32_t length, int32_t hertz, int32_t format) {
  if (length < 0 || !IsSampleFormat(format)) return Null;
  if (int64_t{length} * SampleFormatBytes[format] > INT32_MAX) return Null;
  Ref<TAudioSample> sample(new TAudioSample());
  sample->samples_ = static_cast<uint8_t*>(address);
  sample->length_ = length;
  sample->hertz_ = hertz;
  sample->format_ = format;
  sample->capacity_ = -1;
  return sample;
}

bool TAudioSample::Resize(int32_t length) noexcept {
  if (length < 0) return false;
  const int64_t bytes = int64_t{length} * SampleFormatBytes[format_];
  if (bytes > INT32_MAX) return false;
  if (bytes > (capacity_ >= 0 ? capacity_ : ByteCount())) {
    if (capacity_ < 0) return false;
    auto* memory = static_cast<uint8_t*>(std::realloc(samples_, static_cast<std::size_t>(bytes)));
    if (memory == nullptr) return false;
    samples_ = memory;
    capacity_ = static_cast<int32_t>(bytes);
  }
  length_ = length;
  return true;
}

Ref<TAudioSample> NewAudioSample(int32_t length, int32_t hertz, int32_t format) {
  return TAudioSample::Create(length, hertz, format);
}

Ref<TAudioSample> WrapAudioSample(void* address, int32_t length, int32_t hertz, int32_t format) {
  return TAudioSample::CreateOver(address, length, hertz, format);
}

}  // namespace corvex
