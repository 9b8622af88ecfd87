#include "audio/SonavoxMixer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvex::sonavox {

// 16-bit samples are read in place as little-endian values.
static_assert(std::endian::native == std::endian::little);

namespace {

// Advance per output frame, in 32.32 source frames, is at most 65536 frames: beyond that every
// output frame skips more than a buffer's worth anyway, and position sums stay far from
// overflowing 64 bits.
constexpr int64_t kMaxStep = int64_t{1} << 32;

int32_t NextIndex(int32_t index) {
  return index == kRingSize - 1 ? 0 : index + 1;
}

// Accumulator sums wrap instead of overflowing: thousands of loud voices give noise, not UB.
inline void Accumulate(int32_t& sum, int32_t value) {
  sum = static_cast<int32_t>(static_cast<uint32_t>(sum) + static_cast<uint32_t>(value));
}

// 16.16 source frames per output frame for a 16.16 rate, held to 0 ... kMaxStep.
int64_t StepFor(int32_t rate, int32_t hertz, int32_t frequency) {
  const int64_t step = static_cast<int64_t>(rate) * hertz / frequency;
  return std::clamp<int64_t>(step, 0, kMaxStep);
}

struct Gains {
  int32_t left;
  int32_t right;
};

Gains GainsFor(int32_t volume, int32_t pan, int32_t depth) {
  Gains g{volume, volume};
  if (pan > 0) g.left = volume * (4096 - pan) >> 12;
  if (pan < 0) g.right = volume * (4096 + pan) >> 12;
  if (depth < 0) g.right = -g.right;
  return g;
}

// Linear interpolation between two samples; `f` is the 16-bit fraction.
inline int32_t Lerp16(int32_t a, int32_t b, uint32_t f) {
  return a + static_cast<int32_t>((static_cast<int64_t>(b - a) * f) >> 16);
}
inline int32_t Lerp8(int32_t a, int32_t b, uint32_t f) {
  return (((b - a) * static_cast<int32_t>(f)) >> 8) + a * 256 - 0x8000;
}

// Reads the interpolated frame at a 32.32 sample position of a buffer of `Bits` and `Channels`.
template <int Bits, int Channels>
struct Fetch {
  static inline void At(const uint8_t* data, uint64_t position, int32_t& left, int32_t& right) {
    const size_t i = static_cast<size_t>(position >> 32);
    const uint32_t fraction = static_cast<uint32_t>(position);
    if constexpr (Channels == 1) {
      const uint32_t f = fraction >> 16;
      if constexpr (Bits == 16) {
        const int16_t* s = reinterpret_cast<const int16_t*>(data);
        left = Lerp16(s[i], s[i + 1], f);
      } else {
        left = Lerp8(data[i], data[i + 1], f);
      }
      right = left;
    } else {
      const size_t base = i & ~size_t{1};
      const uint32_t f = (static_cast<uint32_t>(i & 1u) << 15) | (fraction >> 17);
      if constexpr (Bits == 16) {
        const int16_t* s = reinterpret_cast<const int16_t*>(data);
        left = Lerp16(s[base], s[base + 2], f);
        right = Lerp16(s[base + 1], s[base + 3], f);
      } else {
        left = Lerp8(data[base], data[base + 2], f);
        right = Lerp8(data[base + 1], data[base + 3], f);
      }
    }
  }
};

// Adds `frames` frames of samples (interleaved left/right, or one sample for both sides) times
// the side gains, >> 8, to `out`. Samples and gains fit 16 bits, so the products are exact in
// 16 × 16 → 32-bit multiplies.
template <int Channels>
void AccumulateFrames(const int16_t* samples, int32_t frames, Gains gains, int32_t* out) {
  int32_t k = 0;
#if defined(__SSE2__)
  const __m128i g = _mm_set_epi16(static_cast<int16_t>(gains.right), static_cast<int16_t>(gains.left),
                                  static_cast<int16_t>(gains.right), static_cast<int16_t>(gains.left),
                                  static_cast<int16_t>(gains.right), static_cast<int16_t>(gains.left),
                                  static_cast<int16_t>(gains.right), static_cast<int16_t>(gains.left));
  for (; k + 4 <= frames; k += 4) {
    __m128i s;
    if constexpr (Channels == 1) {
      const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + k));
      s = _mm_unpacklo_epi16(four, four);
    } else {
      s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 2 * k));
    }
    const __m128i low = _mm_mullo_epi16(s, g);
    const __m128i high = _mm_mulhi_epi16(s, g);
    __m128i* o = reinterpret_cast<__m128i*>(out + 2 * k);
    const __m128i first = _mm_srai_epi32(_mm_unpacklo_epi16(low, high), 8);
    const __m128i second = _mm_srai_epi32(_mm_unpackhi_epi16(low, high), 8);
    _mm_storeu_si128(o, _mm_add_epi32(_mm_loadu_si128(o), first));
    _mm_storeu_si128(o + 1, _mm_add_epi32(_mm_loadu_si128(o + 1), second));
  }
#endif
  for (; k < frames; ++k) {
    const int32_t left = samples[Channels * k];
    const int32_t right = samples[Channels * k + Channels - 1];
    Accumulate(out[2 * k], (left * gains.left) >> 8);
    Accumulate(out[2 * k + 1], (right * gains.right) >> 8);
  }
}

// Mixes `frames` frames at a constant step and gain. `position` stays below `end` on return
// unless the buffer ended: then it answers the frames mixed, else `frames`.
template <int Bits, int Channels>
int32_t MixConstant(const uint8_t* data, uint64_t& position, uint64_t advance, uint64_t end, bool looping,
                    Gains gains, int32_t* out, int32_t frames) {
  constexpr int32_t kChunk = 64;
  int32_t done = 0;
  while (done < frames) {
    // Frames left before the position reaches the end: mix them without checking.
    int32_t run = frames - done;
    if (advance != 0) {
      const uint64_t toEnd = (end - position + advance - 1) / advance;
      if (toEnd < static_cast<uint64_t>(run)) run = static_cast<int32_t>(toEnd);
    }
    // Fetch a chunk of interpolated frames, then weigh and add them all at once.
    for (int32_t first = 0; first < run; first += kChunk) {
      const int32_t n = std::min(kChunk, run - first);
      alignas(16) int16_t samples[Channels * kChunk];
      for (int32_t k = 0; k < n; ++k) {
        int32_t left, right;
        Fetch<Bits, Channels>::At(data, position, left, right);
        samples[Channels * k] = static_cast<int16_t>(left);
        if constexpr (Channels == 2) samples[2 * k + 1] = static_cast<int16_t>(right);
        position += advance;
      }
      AccumulateFrames<Channels>(samples, n, gains, out + 2 * (done + first));
    }
    done += run;
    if (position >= end) {
      if (!looping) return done;
      position %= end;
    }
  }
  return frames;
}

using ConstantMixer = int32_t (*)(const uint8_t*, uint64_t&, uint64_t, uint64_t, bool, Gains, int32_t*,
                                  int32_t);
using FrameFetcher = void (*)(const uint8_t*, uint64_t, int32_t&, int32_t&);

ConstantMixer ConstantMixerFor(int32_t bits, int32_t channels) {
  if (bits == 16) return channels == 1 ? MixConstant<16, 1> : MixConstant<16, 2>;
  return channels == 1 ? MixConstant<8, 1> : MixConstant<8, 2>;
}

FrameFetcher FetcherFor(int32_t bits, int32_t channels) {
  if (bits == 16) return channels == 1 ? Fetch<16, 1>::At : Fetch<16, 2>::At;
  return channels == 1 ? Fetch<8, 1>::At : Fetch<8, 2>::At;
}

// What one voice reads this block: frames in one piece from `data`, ending (in 32.32 samples
// from `data`) at `end`.
struct Source {
  const uint8_t* data;
  int32_t bits;
  int32_t channels;
  int32_t hertz;
  uint64_t end;
  bool looping;
};

// The end of a stream that has not ended yet: far beyond any block.
constexpr uint64_t kOpenEnd = uint64_t{1} << 62;

// The frames a streaming voice reads this block, when the stream holds all of them; false
// with `source.end` 0 once the stream has ended, 1 when it fell behind.
bool StreamSource(const sound& voice, const streambuffer& stream, int64_t maxStep, int32_t frames,
                  Source& source) {
  const int64_t consumed = stream.consumed.load(std::memory_order_relaxed);
  const int64_t written = stream.written.load(std::memory_order_acquire);
  const int64_t endFrame = stream.endFrame.load(std::memory_order_acquire);
  source = {};
  if (endFrame >= 0 && consumed >= endFrame) return false;  // end 0: finished
  const auto channels = static_cast<uint64_t>(stream.channels);
  // The last frame this block can read, and the one after it for interpolation.
  const uint64_t last = (voice.position + ((static_cast<uint64_t>(maxStep) * channels) << 16) *
                                              static_cast<uint64_t>(frames)) >>
                        32;
  int64_t needed = static_cast<int64_t>(last / channels) + 2;
  // Everything up to the end and its guard frame is there: the block needs no more.
  const bool complete = endFrame >= 0 && written > endFrame;
  if (complete) needed = std::min(needed, endFrame - consumed + 1);
  source.end = 1;  // not finished
  if (needed > stream.window || written - consumed < needed) return false;
  const auto slot = static_cast<size_t>(consumed % stream.ringFrames);
  source.data = reinterpret_cast<const uint8_t*>(&stream.frames[slot * channels]);
  source.bits = 16;
  source.channels = stream.channels;
  source.hertz = stream.hertz;
  source.end = endFrame >= 0 ? (static_cast<uint64_t>(endFrame - consumed) * channels) << 32 : kOpenEnd;
  source.looping = false;
  return true;
}

}  // namespace

int32_t FixedFromFloat(float value, float scale, int32_t low, int32_t high) noexcept {
  const double x = static_cast<double>(value) * scale;
  if (std::isnan(x)) return 0;
  if (x <= low) return low;
  if (x >= high) return high;
  return static_cast<int32_t>(x);
}

// --- samplebuffer ---------------------------------------------------------------------------

samplebuffer* samplebuffer::Create(int32_t length, int32_t bits, int32_t channels, int32_t hertz,
                                   const void* frames, int32_t loop) {
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || length < 0) return nullptr;
  const int32_t bytesPerFrame = channels * bits / 8;
  const int64_t allocated = (static_cast<int64_t>(length) + 1) * bytesPerFrame;
  if (allocated > std::numeric_limits<int32_t>::max()) return nullptr;
  auto* data = static_cast<uint8_t*>(::operator new(static_cast<size_t>(allocated), std::nothrow));
  if (!data) return nullptr;

  auto* b = new samplebuffer;
  b->hertz = hertz;
  b->channels = channels;
  b->bits = bits;
  b->length = length;
  b->bytesPerFrame = bytesPerFrame;
  b->totalBytes = length * bytesPerFrame;
  b->data = data;
  b->ownedBytes = static_cast<int32_t>(allocated);
  if (length > 0) std::memcpy(data, frames, static_cast<size_t>(b->totalBytes));
  b->framesWritten = length;
  b->write = data + b->totalBytes;
  b->loop = loop;
  uint8_t* guard = data + b->totalBytes;
  if (length == 0) {
    std::memset(guard, bits == 8 ? 128 : 0, static_cast<size_t>(bytesPerFrame));
  } else {
    const uint8_t* copied = loop ? data : guard - bytesPerFrame;
    std::memcpy(guard, copied, static_cast<size_t>(bytesPerFrame));
  }
  return b;
}

samplebuffer::~samplebuffer() {
  ::operator delete(data);
}

void samplebuffer::Release() noexcept {
  if (refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

// --- streambuffer ---------------------------------------------------------------------------

streambuffer* streambuffer::Create(int32_t channels, int32_t hertz, int32_t ringFrames,
                                   int32_t windowFrames) {
  if ((channels != 1 && channels != 2) || hertz <= 0 || ringFrames <= 0 || windowFrames <= 0 ||
      windowFrames > ringFrames) {
    return nullptr;
  }
  auto* b = new (std::nothrow) streambuffer;
  if (!b) return nullptr;
  b->channels = channels;
  b->hertz = hertz;
  b->ringFrames = ringFrames;
  b->window = windowFrames;
  b->frames.assign(static_cast<size_t>(ringFrames + windowFrames) * static_cast<size_t>(channels), 0);
  return b;
}

void streambuffer::Release() noexcept {
  if (refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

int32_t streambuffer::writable() const noexcept {
  const int64_t used = written.load(std::memory_order_relaxed) - consumed.load(std::memory_order_acquire);
  return static_cast<int32_t>(std::max<int64_t>(0, ringFrames - used));
}

void streambuffer::write(const int16_t* source, int32_t count) noexcept {
  int64_t at = written.load(std::memory_order_relaxed);
  const auto n = static_cast<size_t>(channels);
  for (int32_t k = 0; k < count; ++k, ++at) {
    const auto slot = static_cast<size_t>(at % ringFrames);
    std::memcpy(&frames[slot * n], source + static_cast<size_t>(k) * n, n * sizeof(int16_t));
    if (slot < static_cast<size_t>(window)) {
      std::memcpy(&frames[(slot + static_cast<size_t>(ringFrames)) * n], source + static_cast<size_t>(k) * n,
                  n * sizeof(int16_t));
    }
  }
  written.store(at, std::memory_order_release);
}

void streambuffer::end(int64_t count) noexcept {
  endFrame.store(count, std::memory_order_release);
}

// --- sound ----------------------------------------------------------------------------------

void sound::setRate(int32_t value) {
  targetRate.store(value, std::memory_order_relaxed);
  if (paused()) rate.store(value, std::memory_order_relaxed);
}

void sound::setVolume(int32_t value) {
  // Symmetric range: the side gains, up to ±volume, then fit 16 bits.
  const auto v = static_cast<int16_t>(std::clamp<int32_t>(value, -INT16_MAX, INT16_MAX));
  targetVolume.store(v, std::memory_order_relaxed);
  if (paused()) volume.store(v, std::memory_order_relaxed);
}

void sound::setPan(int32_t value) {
  const auto p = static_cast<int16_t>(std::clamp(value, -4096, 4096));
  targetPan.store(p, std::memory_order_relaxed);
  if (paused()) pan.store(p, std::memory_order_relaxed);
}

void sound::setDepth(int32_t value) {
  targetDepth.store(static_cast<int16_t>(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX)),
                    std::memory_order_relaxed);
}

int32_t sound::getRate(int32_t which) {
  return (which ? targetRate : rate).load(std::memory_order_relaxed);
}
int32_t sound::getVolume(int32_t which) {
  return (which ? targetVolume : volume).load(std::memory_order_relaxed);
}
int32_t sound::getPan(int32_t which) {
  return (which ? targetPan : pan).load(std::memory_order_relaxed);
}
int32_t sound::getDepth(int32_t which) {
  return (which ? targetDepth : depth).load(std::memory_order_relaxed);
}

int32_t sound::getPosition() {
  const int32_t n = channels.load(std::memory_order_relaxed);
  if (n == 0) return 0;
  return static_cast<int32_t>((elapsed.load(std::memory_order_relaxed) >> 32) / static_cast<uint64_t>(n));
}

void sound::setPaused(bool pausedNow) noexcept {
  int32_t s = status.load(std::memory_order_relaxed);
  for (;;) {
    if (s == kStatusFree || s == kStatusFinished) return;
    const int32_t wanted = pausedNow ? (s | kStatusPaused) : (s & ~kStatusPaused);
    if (status.compare_exchange_weak(s, wanted, std::memory_order_release, std::memory_order_relaxed)) return;
  }
}

void sound::finish() noexcept {
  int32_t s = status.load(std::memory_order_relaxed);
  while (s != kStatusFree && !status.compare_exchange_weak(s, kStatusFinished, std::memory_order_release,
                                                           std::memory_order_relaxed)) {
  }
}

int32_t sound::isPlaying() const noexcept {
  const int32_t s = status.load(std::memory_order_relaxed);
  return s != kStatusFree && (s & (kStatusFinished | kStatusPaused)) == 0 ? 1 : 0;
}

// --- mixer ----------------------------------------------------------------------------------

mixer::mixer(int32_t count, int32_t frequency, int32_t outChannels, MillisClock clock)
    : accum_(static_cast<size_t>(std::max(count, 0)), 0),
      count_(std::max(count, 0)),
      frequency_(frequency),
      outChannels_(outChannels),
      clock_(clock) {}

mixer::~mixer() {
  for (auto& voice : voices_) {
    if (voice->buffer) voice->buffer->Release();
    if (voice->stream) voice->stream->Release();
  }
}

sound* mixer::takeVoice() {
  const int32_t read = recycleRead_.load(std::memory_order_relaxed);
  if (read != recycleWrite_.load(std::memory_order_acquire)) {
    sound* voice = recycleRing_[static_cast<size_t>(read)];
    recycleRead_.store(NextIndex(read), std::memory_order_release);
    return voice;
  }
  if (static_cast<int32_t>(voices_.size()) >= kMaxVoices) return nullptr;
  voices_.push_back(std::make_unique<sound>(this));
  return voices_.back().get();
}

sound* mixer::takeVoiceForQueue() {
  const int32_t write = startWrite_.load(std::memory_order_relaxed);
  if (NextIndex(write) == startRead_.load(std::memory_order_acquire)) return nullptr;
  return takeVoice();
}

sound* mixer::queue(sound* voice, int32_t channels, int32_t flags, const sound* templateVoice) {
  int32_t r = kDefaultRate, p = 0, d = 0;
  int16_t v = kDefaultVolume;
  if (templateVoice) {
    r = templateVoice->targetRate.load(std::memory_order_relaxed);
    v = templateVoice->targetVolume.load(std::memory_order_relaxed);
    p = templateVoice->targetPan.load(std::memory_order_relaxed);
    d = templateVoice->targetDepth.load(std::memory_order_relaxed);
  }
  voice->rate.store(r, std::memory_order_relaxed);
  voice->targetRate.store(r, std::memory_order_relaxed);
  voice->volume.store(v, std::memory_order_relaxed);
  voice->targetVolume.store(v, std::memory_order_relaxed);
  voice->pan.store(static_cast<int16_t>(p), std::memory_order_relaxed);
  voice->targetPan.store(static_cast<int16_t>(p), std::memory_order_relaxed);
  voice->depth.store(static_cast<int16_t>(d), std::memory_order_relaxed);
  voice->targetDepth.store(static_cast<int16_t>(d), std::memory_order_relaxed);

  voice->channels.store(channels, std::memory_order_relaxed);
  voice->status.store(flags, std::memory_order_relaxed);
  voice->autoFree.store(0, std::memory_order_relaxed);
  voice->position = 0;
  voice->elapsed.store(0, std::memory_order_relaxed);
  voice->queuedAt = clock_();
  voice->delay = 0;
  voice->next = nullptr;
  const int32_t write = startWrite_.load(std::memory_order_relaxed);
  startRing_[static_cast<size_t>(write)] = voice;
  startWrite_.store(NextIndex(write), std::memory_order_release);
  return voice;
}

sound* mixer::play(samplebuffer* buffer, int32_t flags, const sound* templateVoice) {
  if (!buffer || buffer->channels == 0 || frequency_ <= 0) return nullptr;
  // The voice's buffer is set before queue() publishes the voice to the mixing thread.
  sound* voice = takeVoiceForQueue();
  if (!voice) return nullptr;
  buffer->Retain();
  voice->buffer = buffer;
  voice->stream = nullptr;
  return queue(voice, buffer->channels, flags, templateVoice);
}

sound* mixer::playStream(streambuffer* stream, int32_t flags, const sound* templateVoice) {
  if (!stream || frequency_ <= 0) return nullptr;
  sound* voice = takeVoiceForQueue();
  if (!voice) return nullptr;
  stream->Retain();
  voice->buffer = nullptr;
  voice->stream = stream;
  return queue(voice, stream->channels, flags, templateVoice);
}

void mixer::recycle(sound* voice) {
  voice->status.store(kStatusFree, std::memory_order_relaxed);
  if (voice->buffer) voice->buffer->Release();
  if (voice->stream) voice->stream->Release();
  voice->buffer = nullptr;
  voice->stream = nullptr;
  const int32_t write = recycleWrite_.load(std::memory_order_relaxed);
  // Every voice fits: the ring holds kMaxVoices entries and no voice is in it twice.
  recycleRing_[static_cast<size_t>(write)] = voice;
  recycleWrite_.store(NextIndex(write), std::memory_order_release);
}

void mixer::update(int32_t count) {
  count = std::clamp(count, 0, count_);
  const int32_t now = clock_();
  int32_t read = startRead_.load(std::memory_order_relaxed);
  const int32_t write = startWrite_.load(std::memory_order_acquire);
  while (read != write) {
    sound* voice = startRing_[static_cast<size_t>(read)];
    read = NextIndex(read);
    voice->next = active_;
    active_ = voice;
    // Wrapping clock: the difference is what counts. Held to one second so a clock jump
    // cannot silence a voice for long.
    const int32_t waitMillis = static_cast<int32_t>(static_cast<uint32_t>(voice->queuedAt) +
                                                    kStartDelayMillis - static_cast<uint32_t>(now));
    voice->delay = static_cast<int32_t>(int64_t{std::clamp(waitMillis, 0, 1000)} * frequency_ / 1000);
  }
  startRead_.store(read, std::memory_order_release);

  sound** link = &active_;
  while (sound* voice = *link) {
    int32_t result = mix(*voice, accum_.data(), count);
    if (result == kStatusFinished) {
      if (voice->autoFree.load(std::memory_order_acquire) == 0) {
        int32_t s = voice->status.load(std::memory_order_relaxed);
        // A voice stopped meanwhile keeps its status 1; a paused one keeps its flag.
        if (s != kStatusFree && (s & kStatusPaused) == 0)
          voice->status.compare_exchange_strong(s, kStatusFinished, std::memory_order_relaxed);
        if (voice->autoFree.load(std::memory_order_acquire) == 0) result = 0;
      }
    }
    if (result == -1 || result == kStatusFinished) {
      *link = voice->next;
      voice->next = nullptr;
      recycle(voice);
    } else {
      link = &voice->next;
    }
  }
}

void mixer::convert(int16_t* out, int32_t count) {
  count = std::clamp(count, 0, count_);
  update(count);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t v = accum_[static_cast<size_t>(i)] >> 4;
    out[i] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
    accum_[static_cast<size_t>(i)] = 0;
  }
}

void mixer::recycleAll() {
  // Queued voices first join the list, then everything goes back.
  int32_t read = startRead_.load(std::memory_order_relaxed);
  const int32_t write = startWrite_.load(std::memory_order_acquire);
  while (read != write) {
    sound* voice = startRing_[static_cast<size_t>(read)];
    read = NextIndex(read);
    voice->next = active_;
    active_ = voice;
  }
  startRead_.store(read, std::memory_order_release);
  while (sound* voice = active_) {
    active_ = voice->next;
    voice->next = nullptr;
    recycle(voice);
  }
}

int32_t mixer::mix(sound& voice, int32_t* accum, int32_t count) {
  const int32_t status = voice.status.load(std::memory_order_acquire);
  if (status == kStatusFinished) return 1;
  if (status & kStatusPaused) return -2;
  if (status == kStatusFree) return -1;

  int32_t frames = count / 2;
  if (voice.delay >= frames) {
    voice.delay -= frames;
    return 0;
  }
  if (voice.delay > 0) {
    accum += 2 * voice.delay;
    frames -= voice.delay;
    voice.delay = 0;
  }

  const int32_t targetRate = voice.targetRate.load(std::memory_order_relaxed);
  const int32_t targetVolume = voice.targetVolume.load(std::memory_order_relaxed);
  Source source{};
  int64_t step = 0;
  int64_t targetStep = 0;
  if (voice.buffer) {
    const samplebuffer& buffer = *voice.buffer;
    // The end in 32.32 samples: below 2^63, since a buffer holds fewer than 2^31 samples.
    source = {buffer.data,
              buffer.bits,
              buffer.channels,
              buffer.hertz,
              (static_cast<uint64_t>(buffer.channels) * static_cast<uint64_t>(buffer.length)) << 32,
              (status & kStatusLooping) != 0};
    // An empty buffer has nothing to play, not even a first frame; a voice that reached its
    // end (and was paused before the mixer could finish it) reads nothing more.
    if (source.end == 0 || (voice.position >= source.end && !source.looping)) return 1;
    if (voice.position >= source.end) voice.position %= source.end;
    step = StepFor(voice.rate.load(std::memory_order_relaxed), source.hertz, frequency_);
    targetStep = StepFor(targetRate, source.hertz, frequency_);
  } else {
    streambuffer& stream = *voice.stream;
    step = StepFor(voice.rate.load(std::memory_order_relaxed), stream.hertz, frequency_);
    targetStep = StepFor(targetRate, stream.hertz, frequency_);
    if (!StreamSource(voice, stream, std::max(step, targetStep), frames, source)) {
      if (source.end == 0) return 1;  // the stream ended
      stream.underruns.fetch_add(1, std::memory_order_relaxed);
      return 0;
    }
  }
  const int32_t volume = voice.volume.load(std::memory_order_relaxed);
  const int32_t pan = voice.targetPan.load(std::memory_order_relaxed);
  const int32_t depth = voice.targetDepth.load(std::memory_order_relaxed);
  voice.pan.store(static_cast<int16_t>(pan), std::memory_order_relaxed);
  voice.depth.store(static_cast<int16_t>(depth), std::memory_order_relaxed);
  const auto channels = static_cast<uint64_t>(source.channels);
  const uint64_t end = source.end;
  const bool looping = source.looping;

  uint64_t position = voice.position;
  uint64_t elapsed = voice.elapsed.load(std::memory_order_relaxed);
  int32_t result = 0;

  if (volume == targetVolume && step == targetStep) {
    const uint64_t advance = (static_cast<uint64_t>(step) * channels) << 16;
    if (volume == 0) {
      // Silent: move on without mixing.
      const uint64_t moved = advance * static_cast<uint64_t>(frames);
      elapsed += moved;
      position += moved;
      if (position >= end) {
        if (looping) {
          position %= end;
        } else {
          result = 1;
        }
      }
    } else {
      const int32_t mixed = ConstantMixerFor(source.bits, source.channels)(
          source.data, position, advance, end, looping, GainsFor(volume, pan, depth), accum, frames);
      elapsed += advance * static_cast<uint64_t>(mixed);
      if (mixed < frames) result = 1;
    }
  } else {
    // Ramp: volume and step move linearly to their targets over this block.
    voice.rate.store(targetRate, std::memory_order_relaxed);
    voice.volume.store(static_cast<int16_t>(targetVolume), std::memory_order_relaxed);
    const FrameFetcher fetch = FetcherFor(source.bits, source.channels);
    int32_t volume8 = volume << 8;
    const int32_t volumeStep = ((targetVolume - volume) * 256) / std::max(frames, 1);
    int64_t runningStep = step;
    const int64_t stepStep = (targetStep - step) / std::max(frames, 1);
    for (int32_t k = 0; k < frames; ++k) {
      const Gains gains = GainsFor(volume8 >> 8, pan, depth);
      int32_t left, right;
      fetch(source.data, position, left, right);
      Accumulate(accum[2 * k], (left * gains.left) >> 8);
      Accumulate(accum[2 * k + 1], (right * gains.right) >> 8);
      const uint64_t advance = (static_cast<uint64_t>(runningStep) * channels) << 16;
      position += advance;
      elapsed += advance;
      runningStep += stepStep;
      volume8 += volumeStep;
      if (position >= end) {
        if (!looping) {
          result = 1;
          break;
        }
        position %= end;
      }
    }
  }
  voice.position = position;
  voice.elapsed.store(elapsed, std::memory_order_relaxed);
  if (voice.stream) {
    // Move the stream past the frames behind the position, so it stays within one frame.
    const uint64_t passed = (position >> 32) / channels;
    voice.position -= (passed * channels) << 32;
    voice.stream->consumed.store(
        voice.stream->consumed.load(std::memory_order_relaxed) + static_cast<int64_t>(passed),
        std::memory_order_release);
  }
  return result;
}

// --- HandleTable ----------------------------------------------------------------------------

HandleTable::HandleTable() {
  for (int32_t i = 0; i < kHandleCount; ++i) {
    nextFree_[static_cast<size_t>(i)] = i + 1;
    generation_[static_cast<size_t>(i)] = kHandleCount;
  }
  nextFree_[kHandleCount - 1] = 0;
}

int32_t HandleTable::allocate() {
  const int32_t index = nextFree_[0];
  if (index == 0) return 0;
  const auto i = static_cast<size_t>(index);
  nextFree_[0] = nextFree_[i];
  nextFree_[i] = 0;
  inUse_[i] = true;
  voice_[i] = nullptr;
  // Generations wrap around within the bits above the index; a handle is never 0.
  generation_[i] += kHandleCount;
  return static_cast<int32_t>(static_cast<uint32_t>(index) | generation_[i]);
}

bool HandleTable::current(int32_t handle) const {
  const auto index = static_cast<size_t>(handle & 0xFFF);
  return handle != 0 && index != 0 && inUse_[index] &&
         generation_[index] == (static_cast<uint32_t>(handle) & 0xFFFFF000u);
}

sound* HandleTable::lookup(int32_t handle) const {
  return current(handle) ? voice_[static_cast<size_t>(handle & 0xFFF)] : nullptr;
}

void HandleTable::free(int32_t handle) {
  if (!current(handle)) return;
  const auto index = static_cast<size_t>(handle & 0xFFF);
  voice_[index] = nullptr;
  inUse_[index] = false;
  nextFree_[index] = nextFree_[0];
  nextFree_[0] = static_cast<int32_t>(index);
}

void HandleTable::setVoice(int32_t handle, sound* voice) {
  if (current(handle)) voice_[static_cast<size_t>(handle & 0xFFF)] = voice;
}

void HandleTable::clear() {
  for (int32_t i = 1; i < kHandleCount; ++i) {
    const auto index = static_cast<size_t>(i);
    if (inUse_[index]) free(static_cast<int32_t>(static_cast<uint32_t>(i) | generation_[index]));
  }
}

// --- MixerCore ------------------------------------------------------------------------------

bool MixerCore::open(std::unique_ptr<audiodevice> device) {
  close();
  if (!device || device->open() != 0) {
    if (device) device->close();
    return false;
  }
  device_ = std::move(device);
  return true;
}

void MixerCore::close() {
  if (!device_) return;
  device_->close();
  device_.reset();
  table_.clear();
}

int32_t MixerCore::allocateChannel() {
  return device_ ? table_.allocate() : 0;
}

sound* MixerCore::lookup(int32_t handle) const {
  return table_.lookup(handle);
}

int32_t MixerCore::playSound(int32_t handle, samplebuffer* buffer, bool paused) {
  mixer* m = getMixer();
  if (!m || !buffer) return handle;
  // A stale handle names no channel any more: the sound gets a new one of its own.
  if (handle != 0 && !table_.current(handle)) handle = 0;
  const int32_t result = handle != 0 ? handle : table_.allocate();
  const int32_t flags = (buffer->loop ? kStatusLooping : kStatusOneShot) | (paused ? kStatusPaused : 0);
  return attach(handle, result, m->play(buffer, flags, table_.lookup(handle)));
}

int32_t MixerCore::playStream(int32_t handle, streambuffer* stream, bool paused) {
  mixer* m = getMixer();
  if (!m || !stream) return handle;
  if (handle != 0 && !table_.current(handle)) handle = 0;
  const int32_t result = handle != 0 ? handle : table_.allocate();
  const int32_t flags = kStatusOneShot | (paused ? kStatusPaused : 0);
  return attach(handle, result, m->playStream(stream, flags, table_.lookup(handle)));
}

int32_t MixerCore::attach(int32_t handle, int32_t result, sound* voice) {
  if (!voice) {
    // No voice free: the play answers as if no handle were.
    if (handle == 0) table_.free(result);
    return 0;
  }
  // A recycled voice that still names a handle lets go of it (a stale one frees nothing); when
  // it is the very channel being played again, the channel keeps its handle.
  if (voice->handle != 0 && voice->handle != result) table_.free(voice->handle);
  voice->handle = 0;
  if (result != 0) {
    sound* old = table_.lookup(result);
    if (old && old != voice) {
      old->autoFree.store(1, std::memory_order_release);
      old->finish();
      old->handle = 0;  // the handle now names the new voice
    }
    table_.setVoice(result, voice);
    voice->handle = result;
    voice->autoFree.store(handle == 0 ? 1 : 0, std::memory_order_release);
  } else {
    voice->autoFree.store(1, std::memory_order_release);
  }
  return result;
}

void MixerCore::stopChannel(int32_t handle) {
  if (sound* voice = table_.lookup(handle)) {
    voice->autoFree.store(1, std::memory_order_release);
    voice->finish();
    voice->handle = 0;
  }
  table_.free(handle);
}

void MixerCore::releaseChannel(int32_t handle) {
  if (sound* voice = table_.lookup(handle)) {
    voice->autoFree.store(1, std::memory_order_release);
    if (voice->status.load(std::memory_order_relaxed) & kStatusPaused) voice->finish();
    voice->handle = 0;
  }
  table_.free(handle);
}

}  // namespace corvex::sonavox
