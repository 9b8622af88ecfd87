#include "audio/AudioSample.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "runtime/Exceptions.h"

namespace corvex {
namespace {

[[noreturn]] void ThrowUnimplementedConversion() {
  throw TRuntimeException("Unimplemented sample format conversion");
}

bool IsConvertibleFormat(int32_t format) noexcept {
  return format >= SAMPLE_MONO8 && format <= SAMPLE_STEREO16BE;
}

// One frame as the two signed 16-bit values it stands for. Every conversion goes through these
// values in one pass: the same arithmetic as expanding to SAMPLE_STEREO16BE bytes and packing
// those, without the intermediate buffer.
struct Frame {
  int32_t left;
  int32_t right;
};

// 8-bit c stands for high byte c - 128 and low byte c: 0 is -32768, 255 is 32767.
constexpr int32_t From8(uint8_t c) noexcept {
  return 257 * c - 32768;
}
constexpr int32_t Little(const uint8_t* s) noexcept {
  return static_cast<int16_t>(s[0] | s[1] << 8);
}
constexpr int32_t Big(const uint8_t* s) noexcept {
  return static_cast<int16_t>(s[0] << 8 | s[1]);
}

template <int32_t Format>
inline Frame Read(const uint8_t* s) noexcept {
  if constexpr (Format == SAMPLE_MONO8) return {From8(s[0]), From8(s[0])};
  if constexpr (Format == SAMPLE_MONO16LE) return {Little(s), Little(s)};
  if constexpr (Format == SAMPLE_MONO16BE) return {Big(s), Big(s)};
  if constexpr (Format == SAMPLE_STEREO8) return {From8(s[0]), From8(s[1])};
  if constexpr (Format == SAMPLE_STEREO16LE) return {Little(s), Little(s + 2)};
  if constexpr (Format == SAMPLE_STEREO16BE) return {Big(s), Big(s + 2)};
}

inline uint8_t To8(int32_t value) noexcept {
  return static_cast<uint8_t>((value + 32768) / 257);
}
inline void PutLittle(uint8_t* d, int32_t value) noexcept {
  d[0] = static_cast<uint8_t>(value);
  d[1] = static_cast<uint8_t>(value >> 8);
}
inline void PutBig(uint8_t* d, int32_t value) noexcept {
  d[0] = static_cast<uint8_t>(value >> 8);
  d[1] = static_cast<uint8_t>(value);
}

// Mono takes the channels' mean, truncated toward zero.
template <int32_t Format>
inline void Write(Frame f, uint8_t* d) noexcept {
  const int32_t middle = (f.left + f.right) / 2;
  if constexpr (Format == SAMPLE_MONO8) d[0] = To8(middle);
  if constexpr (Format == SAMPLE_MONO16LE) PutLittle(d, middle);
  if constexpr (Format == SAMPLE_MONO16BE) PutBig(d, middle);
  if constexpr (Format == SAMPLE_STEREO8) {
    d[0] = To8(f.left);
    d[1] = To8(f.right);
  }
  if constexpr (Format == SAMPLE_STEREO16LE) {
    PutLittle(d, f.left);
    PutLittle(d + 2, f.right);
  }
  if constexpr (Format == SAMPLE_STEREO16BE) {
    PutBig(d, f.left);
    PutBig(d + 2, f.right);
  }
}

template <int32_t From, int32_t To>
void ConvertFrames(const uint8_t* __restrict s, uint8_t* __restrict d, std::size_t count) {
  constexpr std::size_t kIn = SampleFormatBytes[From];
  constexpr std::size_t kOut = SampleFormatBytes[To];
  for (std::size_t i = 0; i < count; ++i) Write<To>(Read<From>(s + i * kIn), d + i * kOut);
}

using Converter = void (*)(const uint8_t*, uint8_t*, std::size_t);

template <int32_t From, std::size_t... To>
constexpr std::array<Converter, 7> ConvertersFrom(std::index_sequence<To...>) {
  return {(To >= 1 ? &ConvertFrames<From, static_cast<int32_t>(To < 1 ? 1 : To)> : nullptr)...};
}

template <std::size_t... From>
constexpr std::array<std::array<Converter, 7>, 7> AllConverters(std::index_sequence<From...>) {
  return {(From >= 1
               ? ConvertersFrom<static_cast<int32_t>(From < 1 ? 1 : From)>(std::make_index_sequence<7>())
               : std::array<Converter, 7>{})...};
}

// kConverters[from][to] for the ids 1 to 6.
constexpr auto kConverters = AllConverters(std::make_index_sequence<7>());

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
  if (count <= 0) return;
  kConverters[static_cast<std::size_t>(sourceFormat)][static_cast<std::size_t>(destFormat)](
      static_cast<const uint8_t*>(source), static_cast<uint8_t*>(dest), static_cast<std::size_t>(count));
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
