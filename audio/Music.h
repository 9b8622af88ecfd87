// Streamed music: a long sound decoded a little at a time while it plays, so memory stays
// bounded whatever its length. WAV, Ogg Vorbis, FLAC and MP3 stream; a format that only a
// loader added by the program reads is loaded whole and played from memory.
// Music plays on the "Sonavox" drivers (a voice of the mixer fed from a ring of decoded frames)
// and on the OpenAL drivers (buffers queued on a source), mixed with sounds; on other drivers
// it stays silent.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "audio/AudioDriver.h"
#include "audio/OpenALLibrary.h"
#include "runtime/Object.h"
#include "stream/Url.h"

namespace corvex {

class SoundDecoder;
namespace sonavox {
class streambuffer;
}

// One piece of music. A thread of its own decodes ahead: into a ring of 2^16 + 2^13 frames for
// the mixer, whose thread only reads the ring, or into four OpenAL buffers of 4096 frames.
// Either way under 1 MiB of decoded audio.
class TMusic : public Object {
 public:
  // Music that `decoder` decodes from `stream`; both are held for the music's life.
  TMusic(Ref<TStream> stream, std::unique_ptr<SoundDecoder> decoder);
  // Stops the music and its decoding thread.
  ~TMusic() override;
  TMusic(const TMusic&) = delete;
  TMusic& operator=(const TMusic&) = delete;

  // Plays from the start, looping when `loop` is non-zero; 1 when it plays, 0 on a driver
  // that cannot stream or when no voice is free.
  int32_t Play(int32_t loop);
  void Stop();
  void SetPaused(int32_t paused);
  void SetVolume(float volume);
  void SetPan(float pan);
  // 1 while it plays (a paused music does not play).
  int32_t IsPlaying();
  // Seconds into the music of what is heard now; 0 when stopped.
  double Position();
  // Goes to `seconds` (held to 0 ... the length); 1 when the data could seek there. Playing
  // music plays on from there, paused music stays paused.
  int32_t Seek(double seconds);
  // Seconds of the whole music; 0 when the data does not say.
  double Length() const;
  // Where a loop starts again, in seconds (0 unless set); beyond the length counts as 0.
  void SetLoopStart(double seconds);
  // 1 once the data failed (a cut file, a lost connection): the music ended there.
  int32_t Failed() const noexcept { return failed_.load(std::memory_order_acquire) ? 1 : 0; }
  // Blocks the mixer had to leave silent because decoding was behind.
  int32_t Underruns() const noexcept;

 private:
  bool Start(int64_t frame, bool paused);
  void Halt();
  // The feeding thread: the next frames in playing order (loops written out), 0 at the end.
  int32_t NextChunk(int16_t* out, int32_t count);
  void Feed(sonavox::streambuffer* ring);
  void FeedOpenAL(openal::ALuint source);
  int64_t TrackFrame(int64_t played) const;

  Ref<TStream> stream_;
  std::unique_ptr<SoundDecoder> decoder_;
  Ref<TChannel> channel_;
  sonavox::streambuffer* ring_ = nullptr;
  std::thread feeder_;
  std::atomic<bool> feeding_{false};
  std::atomic<bool> failed_{false};
  std::atomic<int64_t> frames_{-1};  // frames of the track, once known
  int64_t first_ = 0;                // the track frame the current voice started at
  int64_t track_ = 0;                // feeding thread: the track frame decoded next
  bool sinceLoop_ = false;           // feeding thread: frames decoded since the last loop
  openal::ALuint source_ = 0;        // OpenAL: the channel's source
  std::atomic<int64_t> played_{0};   // OpenAL: frames of buffers played and unqueued
  std::atomic<int32_t> openALUnderruns_{0};
  std::atomic<bool> primed_{false};  // OpenAL: the first buffers are queued and playing
  int64_t decoderAt_ = 0;            // the frame the decoder delivers next, -1 when not known
  std::atomic<int64_t> loopStart_{0};
  bool loop_ = false;
  std::atomic<bool> paused_{false};
  float volume_ = 1.0f;
  float pan_ = 0.0f;
  int32_t underrunsBefore_ = 0;
};

// Opens music from a URL (a name or an open stream, which the music then reads); Null when
// nothing opens or no loader recognises the data.
Ref<TMusic> OpenMusic(const Url& url);
// Plays the music from its start, looping when `loop` is non-zero; 1 when it plays.
int32_t PlayMusic(const Ref<TMusic>& music, int32_t loop);
void StopMusic(const Ref<TMusic>& music);
void PauseMusic(const Ref<TMusic>& music);
void ResumeMusic(const Ref<TMusic>& music);
// 1.0 is full volume.
void SetMusicVolume(const Ref<TMusic>& music, float volume);
// -1 left ... 1 right.
void SetMusicPan(const Ref<TMusic>& music, float pan);
int32_t MusicIsPlaying(const Ref<TMusic>& music);
// Seconds heard so far into the music (loops taken into account).
double MusicPosition(const Ref<TMusic>& music);
// Goes to a point in seconds; 1 on success.
int32_t SeekMusic(const Ref<TMusic>& music, double seconds);
double MusicLength(const Ref<TMusic>& music);
// Where later rounds of a looping music start, in seconds.
void SetMusicLoopStart(const Ref<TMusic>& music, double seconds);
// 1 when the music's data failed while it played.
int32_t MusicFailed(const Ref<TMusic>& music);

}  // namespace corvex
