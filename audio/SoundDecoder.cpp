#include "audio/SoundDecoder.h"

#include <algorithm>
#include <bit>
#include <climits>

namespace corvex {
// Decoders hand out native 16-bit values, which samples hold as little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

// Bytes a sample first gets: a header that announces an absurd length costs nothing.
constexpr int64_t kFirstBytes = 1 << 20;

}  // namespace

Ref<TAudioSample> DecodeWhole(SoundDecoder& decoder) {
  const int32_t frameBytes = 2 * decoder.Channels();
  const int64_t limit = INT32_MAX / frameBytes;
  const int64_t announced = decoder.Frames() >= 0 ? std::min(decoder.Frames(), limit) : limit;
  Ref<TAudioSample> sample = NewAudioSample(
      static_cast<int32_t>(std::min(announced, kFirstBytes / frameBytes)), decoder.Hertz(), decoder.Format());
  if (!sample) return Null;
  int64_t done = 0;
  for (;;) {
    if (done == sample->Length()) {
      if (done >= limit) return Null;  // more than a sample can hold
      const int64_t next = std::min(limit, std::max<int64_t>(done * 2, 1));
      if (!sample->Resize(static_cast<int32_t>(next))) return Null;
    }
    const int32_t n = decoder.Read(reinterpret_cast<int16_t*>(sample->Samples()) + done * decoder.Channels(),
                                   static_cast<int32_t>(sample->Length() - done));
    if (decoder.Failure()) std::rethrow_exception(decoder.Failure());
    if (n < 0) return Null;
    if (n == 0) break;
    done += n;
  }
  sample->Resize(static_cast<int32_t>(done));
  return sample;
}

}  // namespace corvex
