#include "audio/Music.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/AudioSampleLoader.h"
#include "audio/SonavoxDriver.h"
#include "audio/SonavoxMixer.h"
#include "audio/SoundDecoder.h"
#include "runtime/Exceptions.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

// The ring of decoded frames and its mirrored window: 73728 frames, 288 KiB in stereo.
constexpr int32_t kRingFrames = 1 << 16;
constexpr int32_t kWindowFrames = 1 << 13;
// Frames decoded per step, and decoded ahead before the voice starts.
constexpr int32_t kChunkFrames = 4096;
constexpr int32_t kPrimeFrames = 4 * kChunkFrames;
constexpr auto kFeedPause = std::chrono::milliseconds(2);

// Data no streaming decoder takes, loaded whole: the sample in 16 bits, handed out in pieces.
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
  for (auto open : {&OpenOggDecoder, &OpenFlacDecoder, &OpenMp3Decoder}) {
    stream->Seek(start);
    if (std::unique_ptr<SoundDecoder> decoder = open(stream)) return decoder;
  }
  stream->Seek(start);
  const Ref<TAudioSample> sample = ReadAudioSample(stream);
  if (!sample || sample->Hertz() <= 0 || SampleFormatChannels[sample->Format()] == 0) return nullptr;
  return std::make_unique<SampleDecoder>(sample);
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
  if (!IsA<TSonavoxAudioDriver>(driver)) return false;
  // A decoder just opened is at the start already; some data cannot seek at all.
  if (frame != decoderAt_ && !decoder_->Seek(frame)) return false;
  decoderAt_ = -1;
  const Ref<TSonavoxChannel> channel = Cast<TSonavoxChannel>(driver->NewChannel());
  if (!channel) return false;
  ring_ = sonavox::streambuffer::Create(decoder_->Channels(), decoder_->Hertz(), kRingFrames, kWindowFrames);
  if (!ring_) return false;
  first_ = frame;
  failed_.store(false, std::memory_order_relaxed);
  feeding_.store(true, std::memory_order_relaxed);
  feeder_ = std::thread(&TMusic::Feed, this, ring_);
  // Some frames decoded before the voice starts, so its first blocks do not run dry.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (ring_->written.load(std::memory_order_acquire) < kPrimeFrames &&
         ring_->endFrame.load(std::memory_order_acquire) < 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  if (SonavoxMixerCore().playStream(channel->Handle(), ring_, paused) == 0) {
    Halt();
    return false;
  }
  channel_ = channel;
  return true;
}

void TMusic::Halt() {
  if (channel_) channel_->Stop();
  channel_ = Null;
  feeding_.store(false, std::memory_order_relaxed);
  if (feeder_.joinable()) feeder_.join();
  if (ring_) {
    underrunsBefore_ += ring_->underruns.load(std::memory_order_relaxed);
    ring_->Release();
    ring_ = nullptr;
  }
}

void TMusic::Feed(sonavox::streambuffer* ring) {
  const int32_t channels = decoder_->Channels();
  std::vector<int16_t> chunk(static_cast<size_t>(kChunkFrames) * channels);
  std::array<int16_t, 2> last{};  // the guard frame after a non-looping end repeats the last one
  int64_t written = 0;
  int64_t track = first_;
  bool sinceLoop = false;  // frames decoded since the last loop: an empty loop ends the music
  const auto finish = [&] {
    while (ring->writable() < 1 && feeding_.load(std::memory_order_relaxed))
      std::this_thread::sleep_for(kFeedPause);
    ring->write(last.data(), 1);
    ring->end(written);
  };
  while (feeding_.load(std::memory_order_relaxed)) {
    const int32_t room = ring->writable();
    if (room < kChunkFrames) {
      std::this_thread::sleep_for(kFeedPause);
      continue;
    }
    const int32_t n = decoder_->Read(chunk.data(), kChunkFrames);
    if (n > 0) {
      ring->write(chunk.data(), n);
      std::memcpy(last.data(), &chunk[static_cast<size_t>(n - 1) * channels], sizeof(int16_t) * channels);
      written += n;
      track += n;
      sinceLoop = true;
      continue;
    }
    if (n < 0 || decoder_->Failure()) {
      failed_.store(true, std::memory_order_release);
      return finish();
    }
    const int64_t announced = frames_.load(std::memory_order_relaxed);
    if (announced < 0) frames_.store(track, std::memory_order_relaxed);
    // Data that ends before the length it announced was cut: the music ends there.
    if (announced > track) {
      failed_.store(true, std::memory_order_release);
      return finish();
    }
    const int64_t start = std::min(loopStart_.load(std::memory_order_relaxed), track);
    if (!loop_ || !sinceLoop || !decoder_->Seek(start)) return finish();
    track = start;
    sinceLoop = false;
  }
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
  const Ref<TSonavoxChannel> channel = Cast<TSonavoxChannel>(channel_);
  if (!channel || decoder_->Hertz() <= 0) return 0;
  return static_cast<double>(TrackFrame(channel->Position())) / decoder_->Hertz();
}

int32_t TMusic::Seek(double seconds) {
  const int64_t total = frames_.load(std::memory_order_relaxed);
  double frame = std::isnan(seconds) ? 0 : std::max(0.0, seconds) * decoder_->Hertz();
  if (total >= 0) frame = std::min(frame, static_cast<double>(total));
  const auto target = static_cast<int64_t>(frame);
  if (!channel_ || channel_->IsPlaying() == 0) {
    if (!paused_ || !channel_) {
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
  return underrunsBefore_ + (ring_ ? ring_->underruns.load(std::memory_order_relaxed) : 0);
}

// ---- Module functions ----

Ref<TMusic> OpenMusic(const Url& url) {
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) return Null;
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
