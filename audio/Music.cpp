#include "audio/Music.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/AudioSampleLoader.h"
#include "audio/OpenALDriver.h"
#include "audio/SonavoxDriver.h"
#include "audio/SonavoxMixer.h"
#include "audio/SoundDecoder.h"
#include "runtime/Exceptions.h"
#include "stream/Bank.h"
#include "stream/StreamClosing.h"
#include "stream/Url.h"

namespace corvex {
namespace {

// The ring of decoded frames and its mirrored window: 73728 frames, 288 KiB in stereo.
constexpr int32_t kRingFrames = 1 << 16;
constexpr int32_t kWindowFrames = 1 << 13;
// OpenAL: buffers of one chunk each queued on the source, 0.37 s at 44100 Hz.
constexpr int32_t kOpenALBuffers = 4;
// Frames decoded per step, and decoded ahead before the voice starts.
constexpr int32_t kChunkFrames = 4096;
constexpr int32_t kPrimeFrames = kChunkFrames;
constexpr auto kFeedPause = std::chrono::milliseconds(2);

// Data that only a loader added by the program reads, loaded whole: the sample in 16 bits,
// handed out in pieces.
class SampleDecoder final : public SoundDecoder {
 public:
  explicit SampleDecoder(const Ref<TAudioSample>& sample) {
    const int32_t channels = SampleFormatChannels[sample->Format()];
    sample_ = sample->Convert(channels == 1 ? SAMPLE_MONO16LE : SAMPLE_STEREO16LE);
    channels_ = channels;
    hertz_ = sample_->Hertz();
    frames_ = sample_->Length();
  }
  int32_t Read(int16_t* out, int32_t count) override {
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, frames_ - at_));
    std::memcpy(out, sample_->Samples() + at_ * channels_ * 2, static_cast<size_t>(n) * channels_ * 2);
    at_ += n;
    return n;
  }
  bool Seek(int64_t frame) override {
    if (frame < 0 || frame > frames_) return false;
    at_ = frame;
    return true;
  }

 private:
  Ref<TAudioSample> sample_;
  int64_t at_ = 0;
};

std::unique_ptr<SoundDecoder> OpenDecoder(const Ref<TStream>& stream) {
  const int32_t start = stream->Pos();
  if (start == -1) throw TRuntimeException("Stream is not seekable");
  for (auto open : {&OpenWavDecoder, &OpenOggDecoder, &OpenFlacDecoder, &OpenMp3Decoder}) {
    stream->Seek(start);
    if (std::unique_ptr<SoundDecoder> decoder = open(stream)) return decoder;
  }
  stream->Seek(start);
  const Ref<TAudioSample> sample = ReadAudioSample(stream);
  if (!sample || sample->Hertz() <= 0 || SampleFormatChannels[sample->Format()] == 0) return nullptr;
  return std::make_unique<SampleDecoder>(sample);
}

// The stream's bytes in a memory stream of their own: decoders go back and forth in their data,
// which a network stream cannot. Null when nothing could be read.
Ref<TStream> CopiedIntoMemory(const Ref<TStream>& stream) {
  ByteArray bytes;
  try {
    bytes = LoadAllBytes(Url(stream));  // closes the stream
  } catch (const TStreamException&) {
    return Null;
  }
  const Ref<TBank> bank = NewBank(bytes.Length());
  if (!bank) return Null;
  if (bytes.Length() > 0) std::memcpy(bank->Buf(), bytes.Data(), static_cast<size_t>(bytes.Length()));
  return NewBankStream(bank);
}

}  // namespace

TMusic::TMusic(Ref<TStream> stream, std::unique_ptr<SoundDecoder> decoder)
    : stream_(std::move(stream)), decoder_(std::move(decoder)) {
  frames_.store(decoder_->Frames(), std::memory_order_relaxed);
}

TMusic::~TMusic() {
  Halt();
  decoder_.reset();
  try {
    stream_->Close();
  } catch (...) {  // NOLINT(bugprone-empty-catch): a failing close must not escape a destructor
  }
}

int32_t TMusic::Play(int32_t loop) {
  Halt();
  loop_ = loop != 0;
  paused_ = false;
  return Start(0, false) ? 1 : 0;
}

bool TMusic::Start(int64_t frame, bool paused) {
  Halt();
  const Ref<TAudioDriver> driver = CurrentAudioDriver();
  const bool mixer = IsA<TSonavoxAudioDriver>(driver);
  if (!mixer && !IsA<TOpenALAudioDriver>(driver)) return false;
  // A decoder just opened is at the start already; some data cannot seek at all.
  if (frame != decoderAt_ && !decoder_->Seek(frame)) return false;
  decoderAt_ = -1;
  const Ref<TChannel> channel = driver->NewChannel();
  if (!channel) return false;
  first_ = frame;
  track_ = frame;
  sinceLoop_ = false;
  played_.store(0, std::memory_order_relaxed);
  failed_.store(false, std::memory_order_relaxed);
  feeding_.store(true, std::memory_order_relaxed);
  if (!mixer) {
    channel_ = channel;
    source_ = Cast<TOpenALChannel>(channel)->Source()->id;
    if (paused) channel->SetPaused(1);
    paused_ = paused;
    primed_.store(false, std::memory_order_relaxed);
    feeder_ = std::thread(&TMusic::FeedOpenAL, this, source_);
    // The source plays once its first buffers are queued.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!primed_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    return true;
  }
  ring_ = sonavox::streambuffer::Create(decoder_->Channels(), decoder_->Hertz(), kRingFrames, kWindowFrames);
  if (!ring_) return false;
  feeder_ = std::thread(&TMusic::Feed, this, ring_);
  // Some frames decoded before the voice starts, so its first blocks do not run dry.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (ring_->written.load(std::memory_order_acquire) < kPrimeFrames &&
         ring_->endFrame.load(std::memory_order_acquire) < 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  if (SonavoxMixerCore().playStream(Cast<TSonavoxChannel>(channel)->Handle(), ring_, paused) == 0) {
    Halt();
    return false;
  }
  channel_ = channel;
  return true;
}

void TMusic::Halt() {
  // The feeding thread goes first: on OpenAL it starts the source again when it ran dry.
  feeding_.store(false, std::memory_order_relaxed);
  if (feeder_.joinable()) feeder_.join();
  if (channel_) channel_->Stop();
  channel_ = Null;
  source_ = 0;
  if (ring_) {
    underrunsBefore_ += ring_->underruns.load(std::memory_order_relaxed);
    ring_->Release();
    ring_ = nullptr;
  }
}

int32_t TMusic::NextChunk(int16_t* out, int32_t count) {
  for (;;) {
    const int32_t n = decoder_->Read(out, count);
    if (n > 0) {
      track_ += n;
      sinceLoop_ = true;
      return n;
    }
    if (n < 0 || decoder_->Failure()) {
      failed_.store(true, std::memory_order_release);
      return 0;
    }
    const int64_t announced = frames_.load(std::memory_order_relaxed);
    if (announced < 0) frames_.store(track_, std::memory_order_relaxed);
    // Data that ends before the length it announced was cut: the music ends there.
    if (announced > track_) {
      failed_.store(true, std::memory_order_release);
      return 0;
    }
    const int64_t start = std::min(loopStart_.load(std::memory_order_relaxed), track_);
    if (!loop_ || !sinceLoop_ || !decoder_->Seek(start)) return 0;
    track_ = start;
    sinceLoop_ = false;
  }
}

void TMusic::Feed(sonavox::streambuffer* ring) {
  const int32_t channels = decoder_->Channels();
  std::vector<int16_t> chunk(static_cast<size_t>(kChunkFrames) * channels);
  std::array<int16_t, 2> last{};  // the guard frame after a non-looping end repeats the last one
  int64_t written = 0;
  while (feeding_.load(std::memory_order_relaxed)) {
    if (ring->writable() < kChunkFrames) {
      std::this_thread::sleep_for(kFeedPause);
      continue;
    }
    const int32_t n = NextChunk(chunk.data(), kChunkFrames);
    if (n == 0) {
      ring->write(last.data(), 1);
      ring->end(written);
      return;
    }
    ring->write(chunk.data(), n);
    std::memcpy(last.data(), &chunk[static_cast<size_t>(n - 1) * channels], sizeof(int16_t) * channels);
    written += n;
  }
}

void TMusic::FeedOpenAL(openal::ALuint source) {
  using namespace openal;
  const int32_t channels = decoder_->Channels();
  const ALenum format = channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
  std::vector<int16_t> chunk(static_cast<size_t>(kChunkFrames) * channels);
  std::array<ALuint, kOpenALBuffers> buffers{};
  std::array<int32_t, kOpenALBuffers> sizes{};  // frames in each buffer
  AL().alGenBuffers(kOpenALBuffers, buffers.data());
  AL().alSourceStop(source);
  AL().alSourcei(source, AL_BUFFER, 0);
  AL().alSourcei(source, AL_LOOPING, 0);
  bool ended = false;
  const auto fill = [&](size_t k) {
    const int32_t n = ended ? 0 : NextChunk(chunk.data(), kChunkFrames);
    if (n == 0) ended = true;
    if (n == 0) return false;
    AL().alBufferData(buffers[k], format, chunk.data(), n * channels * 2, decoder_->Hertz());
    AL().alSourceQueueBuffers(source, 1, &buffers[k]);
    sizes[k] = n;
    return true;
  };
  for (size_t k = 0; k < buffers.size(); ++k) fill(k);
  if (!paused_) AL().alSourcePlay(source);
  primed_.store(true, std::memory_order_release);
  while (feeding_.load(std::memory_order_relaxed)) {
    ALint processed = 0;
    AL().alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0; --processed) {
      ALuint done = 0;
      AL().alSourceUnqueueBuffers(source, 1, &done);
      const auto k = static_cast<size_t>(std::find(buffers.begin(), buffers.end(), done) - buffers.begin());
      if (k == buffers.size()) break;
      played_.fetch_add(sizes[k], std::memory_order_relaxed);
      fill(k);
    }
    ALint state = 0;
    ALint queued = 0;
    AL().alGetSourcei(source, AL_SOURCE_STATE, &state);
    AL().alGetSourcei(source, AL_BUFFERS_QUEUED, &queued);
    // Stopped with buffers still queued: it ran dry before they came. Ended and drained: done.
    if (state == AL_STOPPED && queued > 0) {
      openALUnderruns_.fetch_add(1, std::memory_order_relaxed);
      AL().alSourcePlay(source);
    }
    if (ended && queued == 0) break;
    std::this_thread::sleep_for(kFeedPause);
  }
  AL().alSourceStop(source);
  AL().alSourcei(source, AL_BUFFER, 0);  // unqueues everything
  AL().alDeleteBuffers(kOpenALBuffers, buffers.data());
}

void TMusic::Stop() {
  Halt();
}

void TMusic::SetPaused(int32_t paused) {
  paused_ = paused != 0;
  if (channel_) channel_->SetPaused(paused);
}

void TMusic::SetVolume(float volume) {
  volume_ = volume;
  if (channel_) channel_->SetVolume(volume);
}

void TMusic::SetPan(float pan) {
  pan_ = pan;
  if (channel_) channel_->SetPan(pan);
}

int32_t TMusic::IsPlaying() {
  return channel_ ? channel_->IsPlaying() : 0;
}

int64_t TMusic::TrackFrame(int64_t played) const {
  int64_t frame = first_ + played;
  const int64_t total = frames_.load(std::memory_order_relaxed);
  if (total <= 0 || frame < total) return frame;
  if (!loop_) return total;
  const int64_t start = std::clamp<int64_t>(loopStart_.load(std::memory_order_relaxed), 0, total - 1);
  return start + (frame - total) % (total - start);
}

double TMusic::Position() {
  if (!channel_ || decoder_->Hertz() <= 0) return 0;
  int64_t played = 0;
  if (const Ref<TSonavoxChannel> channel = Cast<TSonavoxChannel>(channel_)) {
    played = channel->Position();
  } else {
    openal::ALint offset = 0;
    openal::AL().alGetSourcei(source_, openal::AL_SAMPLE_OFFSET, &offset);
    played = played_.load(std::memory_order_relaxed) + offset;
  }
  return static_cast<double>(TrackFrame(played)) / decoder_->Hertz();
}

int32_t TMusic::Seek(double seconds) {
  const int64_t total = frames_.load(std::memory_order_relaxed);
  double frame = std::isnan(seconds) ? 0 : std::max(0.0, seconds) * decoder_->Hertz();
  if (total >= 0) frame = std::min(frame, static_cast<double>(total));
  const auto target = static_cast<int64_t>(frame);
  if (!channel_ || channel_->IsPlaying() == 0) {
    if (!paused_ || !channel_) {
      Halt();  // the feeding thread may still be at the decoder
      decoderAt_ = decoder_->Seek(target) ? target : -1;
      return decoderAt_ >= 0 ? 1 : 0;
    }
  }
  const bool ok = Start(target, paused_);
  if (ok) {
    channel_->SetVolume(volume_);
    channel_->SetPan(pan_);
  }
  return ok ? 1 : 0;
}

double TMusic::Length() const {
  const int64_t total = frames_.load(std::memory_order_relaxed);
  return total > 0 ? static_cast<double>(total) / decoder_->Hertz() : 0;
}

void TMusic::SetLoopStart(double seconds) {
  const double frame = std::isnan(seconds) ? 0 : std::max(0.0, seconds) * decoder_->Hertz();
  const int64_t total = frames_.load(std::memory_order_relaxed);
  loopStart_.store(total >= 0 && frame >= static_cast<double>(total) ? 0 : static_cast<int64_t>(frame),
                   std::memory_order_relaxed);
}

int32_t TMusic::Underruns() const noexcept {
  return underrunsBefore_ + openALUnderruns_.load(std::memory_order_relaxed) +
         (ring_ ? ring_->underruns.load(std::memory_order_relaxed) : 0);
}

// ---- Module functions ----

Ref<TMusic> OpenMusic(const Url& url) {
  Ref<TStream> stream = OpenReadStream(url);
  if (!stream) return Null;
  // A stream that cannot seek (http, tcp, a pipe) keeps its compressed bytes in memory; its
  // frames are still decoded a piece at a time.
  if (stream->Pos() == -1 && !(stream = CopiedIntoMemory(stream))) return Null;
  std::unique_ptr<SoundDecoder> decoder;
  try {
    decoder = CloseOnFailure(stream, [&] { return OpenDecoder(stream); });
  } catch (const TStreamException&) {
    return Null;
  }
  if (!decoder) {
    stream->Close();
    return Null;
  }
  return New<TMusic>(stream, std::move(decoder));
}

int32_t PlayMusic(const Ref<TMusic>& music, int32_t loop) {
  return music ? music->Play(loop) : 0;
}
void StopMusic(const Ref<TMusic>& music) {
  if (music) music->Stop();
}
void PauseMusic(const Ref<TMusic>& music) {
  if (music) music->SetPaused(1);
}
void ResumeMusic(const Ref<TMusic>& music) {
  if (music) music->SetPaused(0);
}
void SetMusicVolume(const Ref<TMusic>& music, float volume) {
  if (music) music->SetVolume(volume);
}
void SetMusicPan(const Ref<TMusic>& music, float pan) {
  if (music) music->SetPan(pan);
}
int32_t MusicIsPlaying(const Ref<TMusic>& music) {
  return music ? music->IsPlaying() : 0;
}
double MusicPosition(const Ref<TMusic>& music) {
  return music ? music->Position() : 0;
}
int32_t SeekMusic(const Ref<TMusic>& music, double seconds) {
  return music ? music->Seek(seconds) : 0;
}
double MusicLength(const Ref<TMusic>& music) {
  return music ? music->Length() : 0;
}
void SetMusicLoopStart(const Ref<TMusic>& music, double seconds) {
  if (music) music->SetLoopStart(seconds);
}
int32_t MusicFailed(const Ref<TMusic>& music) {
  return music ? music->Failed() : 0;
}

}  // namespace corvex
