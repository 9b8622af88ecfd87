// The software mixer behind the "Sonavox" drivers: shared sample buffers with a guard frame,
// playing voices, the mixer that adds them into a 32-bit accumulator and converts it to 16-bit
// stereo, the output-device interface, and the mixer core (the open device and the table of
// channel handles) that the driver classes call.
//
// Threads: the program's thread queues voices and changes their settings; the device's mixing
// thread runs `mixer::update` and `mixer::convert`. They meet only in the two rings, the voice
// fields marked "shared" and the buffers' reference counts, all atomic. This file depends on
// nothing but the standard library, so its tests also build alone under ThreadSanitizer.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace corvex::sonavox {

// Milliseconds of a monotonic clock that may wrap around; the mixer compares by subtraction.
using MillisClock = int32_t (*)();

// Voice status values and flags.
inline constexpr int32_t kStatusFree = 0;
inline constexpr int32_t kStatusFinished = 1;
inline constexpr int32_t kStatusOneShot = 2;
inline constexpr int32_t kStatusLooping = 4;
inline constexpr int32_t kStatusPaused = 0x10;

// Defaults of a voice without a template: rate 1.0 (16.16), volume 1.0 (4.12), centre, no depth.
inline constexpr int32_t kDefaultRate = 0x10000;
inline constexpr int32_t kDefaultVolume = 4096;

// Capacity of each ring and of the handle table; a ring holds one entry less than its size.
inline constexpr int32_t kRingSize = 4096;
inline constexpr int32_t kHandleCount = 4096;
// Voices a mixer ever makes: no more than a ring holds, so neither ring can overflow.
inline constexpr int32_t kMaxVoices = kRingSize - 1;

// A voice starts this long after it was queued, so that voices queued together start together.
inline constexpr int32_t kStartDelayMillis = 20;

// PCM frames shared by a sound and every voice playing it. One frame more than `length` is
// allocated: the guard frame repeats the first frame of a looping buffer and the last frame
// otherwise, so interpolating between frame i and i + 1 never reads past the data.
class samplebuffer {
 public:
  // A buffer with a count of 1 holding a copy of `length` frames of `bits` (8 unsigned or 16
  // signed little-endian) and `channels` (1 or 2). Null for other formats, a negative length or
  // more than 2^31 - 1 bytes.
  static samplebuffer* Create(int32_t length, int32_t bits, int32_t channels, int32_t hertz,
                              const void* frames, int32_t loop);
  samplebuffer(const samplebuffer&) = delete;
  samplebuffer& operator=(const samplebuffer&) = delete;

  // Either thread may hold and release the buffer.
  void Retain() noexcept { refCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept;

  // The format, the length in frames and in bytes, the frames copied in so far, the
  // reference count, the loop flag, the frames (the guard frame after them), where the next
  // copied frame goes, and the bytes allocated.
  int32_t hertz = 0;
  int32_t channels = 0;
  int32_t bits = 0;
  int32_t length = 0;
  int32_t bytesPerFrame = 0;
  int32_t totalBytes = 0;
  int32_t framesWritten = 0;
  std::atomic<int32_t> refCount{1};
  int32_t loop = 0;
  uint8_t* data = nullptr;
  uint8_t* write = nullptr;
  int32_t ownedBytes = 0;

 private:
  samplebuffer() = default;
  ~samplebuffer();
};

// Frames decoded ahead of a streaming voice: a ring that one feeding thread fills and the
// mixing thread reads, neither waiting for the other. Frames are numbered from 0 in the order
// the voice plays them (a loop is written out again after the end). The first `window` slots
// are mirrored after the ring, so any `window` frames from any slot lie in one piece. 16-bit
// little-endian frames of one or two channels.
class streambuffer {
 public:
  // A buffer with a count of 1; null for other channel counts, rates of 0 or less, or sizes
  // that are not positive.
  static streambuffer* Create(int32_t channels, int32_t hertz, int32_t ringFrames, int32_t windowFrames);
  streambuffer(const streambuffer&) = delete;
  streambuffer& operator=(const streambuffer&) = delete;

  // Either thread may hold and release the buffer; the last release deletes it.
  void Retain() noexcept { refCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept;

  // Feeding thread: frames that fit now without overwriting what the mixer may still read.
  int32_t writable() const noexcept;
  // Feeding thread: appends `count` frames (at most writable()).
  void write(const int16_t* frames, int32_t count) noexcept;
  // Feeding thread: the sequence ends after `frames` frames; the frame written after them is
  // the interpolation guard. A voice finishes when it reaches the end.
  void end(int64_t frames) noexcept;

  // The frame format, the ring's size in frames, and the mirrored window's.
  int32_t channels = 0;
  int32_t hertz = 0;
  int32_t ringFrames = 0;
  int32_t window = 0;
  // Frames written (feeding thread) and frames the mixer has moved past (mixing thread).
  alignas(64) std::atomic<int64_t> written{0};
  alignas(64) std::atomic<int64_t> consumed{0};
  // The frame the sequence ends at; -1 until end() is called.
  std::atomic<int64_t> endFrame{-1};
  // Blocks the mixer found too few frames for and left silent.
  std::atomic<int32_t> underruns{0};
  std::atomic<int32_t> refCount{1};
  std::vector<int16_t> frames;  // (ringFrames + window) × channels values

 private:
  streambuffer() = default;
  ~streambuffer() = default;
};

// Settings every output has. Setters store targets that the mixer moves to over one block;
// `which` 1 asks a getter for the target and 0 for the current value.
class output {
 public:
  virtual ~output() = default;
  // 16.16 fixed: 0x10000 plays at the buffer's own speed.
  virtual void setRate(int32_t rate) = 0;
  // 4.12 fixed: 4096 is full volume.
  virtual void setVolume(int32_t volume) = 0;
  // -4096 left ... 4096 right.
  virtual void setPan(int32_t pan) = 0;
  // Below 0 inverts the right channel.
  virtual void setDepth(int32_t depth) = 0;
  // Each setting's target or current value, as `which` asks.
  virtual int32_t getRate(int32_t which) = 0;
  virtual int32_t getVolume(int32_t which) = 0;
  virtual int32_t getPan(int32_t which) = 0;
  virtual int32_t getDepth(int32_t which) = 0;
  // Frames played so far, loops included.
  virtual int32_t getPosition() = 0;
};

class mixer;

// One playing voice. Made and reused by its mixer, never freed while the mixer lives, so a
// stale pointer from the handle table still points at a voice.
class sound final : public output {
 public:
  // A free voice of `owner`.
  explicit sound(mixer* owner) noexcept : mixer_(owner) {}

  void setRate(int32_t rate) override;
  void setVolume(int32_t volume) override;
  void setPan(int32_t pan) override;
  void setDepth(int32_t depth) override;
  int32_t getRate(int32_t which) override;
  int32_t getVolume(int32_t which) override;
  int32_t getPan(int32_t which) override;
  int32_t getDepth(int32_t which) override;
  int32_t getPosition() override;

  // Sets or clears the paused flag of a playing voice; finished and free voices stay so.
  void setPaused(bool paused) noexcept;
  // Marks a voice that has not been recycled as finished (status 1).
  void finish() noexcept;
  // 1 while the voice plays: status neither free, finished nor paused.
  int32_t isPlaying() const noexcept;

  // The mixer that made the voice.
  mixer* owner() const noexcept { return mixer_; }

  // Shared: written by both threads.
  std::atomic<int32_t> status{kStatusFree};
  std::atomic<int32_t> autoFree{0};
  // Program's thread only.
  int32_t handle = 0;
  // Set on the program's thread before the voice is queued; cleared by the mixing thread
  // before it hands the voice back. The rings order these hand-overs.
  samplebuffer* buffer = nullptr;
  streambuffer* stream = nullptr;    // instead of `buffer` for a streaming voice
  uint64_t position = 0;             // 32.32 samples (frames × channels); mixing thread once queued
  std::atomic<uint64_t> elapsed{0};  // 32.32 samples consumed, loops included
  std::atomic<int32_t> channels{0};  // the buffer's, for getPosition on the program's thread
  // Shared settings: current values (moved by the mixer, set directly while paused) and targets.
  std::atomic<int32_t> rate{kDefaultRate}, targetRate{kDefaultRate};
  std::atomic<int16_t> volume{kDefaultVolume}, targetVolume{kDefaultVolume};
  std::atomic<int16_t> pan{0}, targetPan{0};
  std::atomic<int16_t> depth{0}, targetDepth{0};
  int32_t queuedAt = 0;
  int32_t delay = 0;      // mixing thread: output frames to wait before starting
  sound* next = nullptr;  // mixing thread: the active list

 private:
  bool paused() const noexcept { return (status.load(std::memory_order_relaxed) & kStatusPaused) != 0; }

  mixer* mixer_;
};

// Adds every active voice into `accum` (left and right interleaved) and converts the sum to
// 16-bit output. The mixer is an `output` whose getters answer the defaults.
class mixer final : public output {
 public:
  // `count` is the largest block in samples; `clock` stamps queued voices and times starts.
  mixer(int32_t count, int32_t frequency, int32_t outChannels, MillisClock clock);
  ~mixer() override;
  mixer(const mixer&) = delete;
  mixer& operator=(const mixer&) = delete;

  void setRate(int32_t) override {}
  void setVolume(int32_t) override {}
  void setPan(int32_t) override {}
  void setDepth(int32_t) override {}
  int32_t getRate(int32_t) override { return kDefaultRate; }
  int32_t getVolume(int32_t) override { return kDefaultVolume; }
  int32_t getPan(int32_t) override { return 0; }
  int32_t getDepth(int32_t) override { return 0; }
  int32_t getPosition() override { return 0; }

  // Program's thread: queues a voice playing `buffer` with `flags` and the settings of
  // `templateVoice` (the defaults when none). Null when the buffer has no channels, the mixer
  // no frequency, or no voice is free (every voice busy, or the start ring full).
  sound* play(samplebuffer* buffer, int32_t flags, const sound* templateVoice);
  // Program's thread: as play, for a voice fed from a stream buffer. Position 0 of the voice is
  // the stream's frame `consumed`; the voice finishes at the stream's end. A block for which
  // the stream holds too few frames stays silent for this voice and counts as an underrun.
  sound* playStream(streambuffer* stream, int32_t flags, const sound* templateVoice);

  // Mixing thread: starts queued voices and mixes `count` samples of every active voice into
  // the accumulator, handing finished voices back.
  void update(int32_t count);
  // Mixing thread: update, then writes `count` samples, (accum >> 4) clamped to 16 bits, and
  // clears the accumulator.
  void convert(int16_t* out, int32_t count);
  // Mixing thread, with the device stopped: hands every active voice back.
  void recycleAll();

  // The settings it was made with, and a reading of its clock.
  int32_t count() const noexcept { return count_; }
  int32_t frequency() const noexcept { return frequency_; }
  int32_t outChannels() const noexcept { return outChannels_; }
  int32_t now() const { return clock_(); }
  // The accumulator as the last update left it (tests look at it before conversion).
  const int32_t* accum() const noexcept { return accum_.data(); }
  // Voices made so far.
  int32_t voiceCount() const noexcept { return static_cast<int32_t>(voices_.size()); }

 private:
  // Mixes one voice into `accum` over `count` samples: 0 keep, -1 free, -2 paused,
  // 1 finished.
  int32_t mix(sound& voice, int32_t* accum, int32_t count);
  void recycle(sound* voice);
  sound* takeVoice();
  sound* takeVoiceForQueue();
  sound* queue(sound* voice, int32_t channels, int32_t flags, const sound* templateVoice);

  std::vector<int32_t> accum_;
  int32_t count_;
  int32_t frequency_;
  int32_t outChannels_;
  MillisClock clock_;
  sound* active_ = nullptr;
  // Every voice made; the program's thread adds to it, the mixer reads none of it.
  std::vector<std::unique_ptr<sound>> voices_;

  // startRing: the program's thread writes, the mixing thread reads. recycleRing: the other way.
  alignas(64) std::atomic<int32_t> startRead_{0};
  alignas(64) std::atomic<int32_t> startWrite_{0};
  alignas(64) std::atomic<int32_t> recycleRead_{0};
  alignas(64) std::atomic<int32_t> recycleWrite_{0};
  std::array<sound*, kRingSize> startRing_{};
  std::array<sound*, kRingSize> recycleRing_{};
};

// An output device that consumes the mixer's 16-bit stereo blocks. `open` makes the device's
// mixer and starts the mixing thread.
class audiodevice {
 public:
  virtual ~audiodevice() = default;
  // 0 on success.
  virtual int32_t open() = 0;
  // Stops the mixing thread, hands every voice back and closes the device.
  virtual void close() = 0;

  // The device's mixer; null until open made it.
  mixer* getMixer() const noexcept { return mixer_.get(); }

 protected:
  // Made by open, for the mixing thread to drive.
  std::unique_ptr<mixer> mixer_;
};

// Channel handles: index | generation, the index in the low 12 bits. A stale handle (freed,
// or its index reallocated since) names no voice.
class HandleTable {
 public:
  HandleTable();
  // A new handle, or 0 when all 4095 are in use.
  int32_t allocate();
  // The voice the handle names, or null.
  sound* lookup(int32_t handle) const;
  // Whether the handle is the current allocation of its index.
  bool current(int32_t handle) const;
  // Frees the handle when it is the current allocation of its index; a stale one does nothing.
  void free(int32_t handle);
  // Sets the voice of a current handle.
  void setVoice(int32_t handle, sound* voice);
  // Frees every handle; generations carry on, so earlier handles stay stale.
  void clear();

 private:
  std::array<sound*, kHandleCount> voice_{};
  std::array<int32_t, kHandleCount> nextFree_{};
  std::array<uint32_t, kHandleCount> generation_{};
  std::array<bool, kHandleCount> inUse_{};
};

// The open output device and the channel-handle table; the driver classes act through it.
// All of it runs on the program's thread.
class MixerCore {
 public:
  // Opens the device and owns it; false (and the device closed) when it cannot open.
  bool open(std::unique_ptr<audiodevice> device);
  // Closes the open device, if any, and frees every handle.
  void close();
  // Whether a device is open, and its mixer (null when none).
  bool isOpen() const noexcept { return device_ != nullptr; }
  mixer* getMixer() const noexcept { return device_ ? device_->getMixer() : nullptr; }

  // A free handle, 0 when none (or no device is open).
  int32_t allocateChannel();
  // The voice a handle names, or null when the handle is 0 or stale.
  sound* lookup(int32_t handle) const;
  // Plays `buffer` on the channel `handle` (0, or a stale handle: on a new one-shot channel);
  // paused leaves the voice paused. Answers the channel's handle, 0 when there is none.
  int32_t playSound(int32_t handle, samplebuffer* buffer, bool paused);
  // As playSound, for a stream buffer; the voice does not loop (the stream writes loops out).
  int32_t playStream(int32_t handle, streambuffer* stream, bool paused);
  // Ends the channel's voice and frees the handle.
  void stopChannel(int32_t handle);
  // Lets go of a channel without stopping its voice: a playing voice finishes and is then
  // recycled; a paused voice, which nothing could resume any more, stops.
  void releaseChannel(int32_t handle);

 private:
  int32_t attach(int32_t handle, int32_t result, sound* voice);

  std::unique_ptr<audiodevice> device_;
  HandleTable table_;
};

// Settings from floats as the channels take them: x × scale truncated toward zero and held to
// `low`..`high`; NaN gives 0.
int32_t FixedFromFloat(float value, float scale, int32_t low, int32_t high) noexcept;

}  // namespace corvex::sonavox
