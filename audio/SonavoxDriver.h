// The "Sonavox" audio drivers: sounds and channels over the software mixer, whose output goes
// to the platform's audio device. "Sonavox" and "Sonavox Multimedia" open the same device;
// the mode that would prefer another output kind has none on this platform.
#pragma once

#include <cstdint>

#include "audio/AudioDriver.h"
#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

namespace sonavox {
class samplebuffer;
class MixerCore;
}  // namespace sonavox

// A driver of the software mixer. Mode 1 asks for the DirectSound-style output (absent here),
// 0 for the wave-out-style device, -1 for that device with the other as fall-back.
class TSonavoxAudioDriver : public TAudioDriver {
 public:
  // A driver registered as `name` asking for output `mode` (1, 0 or -1 as above).
  TSonavoxAudioDriver(String name, int32_t mode);

  String Name() override;
  // Opens the output device; 1 when it opened.
  int32_t Startup() override;
  // Closes the device: every voice stops and every channel handle goes stale.
  void Shutdown() override;
  // A sound over a copy of the sample's frames (big-endian formats become little-endian);
  // flag bit 0 makes it loop. Null for a sample without channels.
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags) override;
  // A channel with a handle of its own; Null when all handles are taken or no device is open.
  Ref<TChannel> NewChannel() override;

  // The output mode asked for.
  int32_t Mode() const noexcept { return mode_; }

 private:
  String name_;
  int32_t mode_;
};

// A sound of the mixer: its shared sample buffer.
class TSonavoxSound : public TSound {
 public:
  // Takes over the buffer's first reference.
  explicit TSonavoxSound(sonavox::samplebuffer* buffer) noexcept : buffer_(buffer) {}
  ~TSonavoxSound() override;
  TSonavoxSound(const TSonavoxSound&) = delete;
  TSonavoxSound& operator=(const TSonavoxSound&) = delete;

  // Plays on the channel (Null: on a one-shot channel of its own) and answers the channel that
  // plays; Null for a channel of another driver or when no voice is free.
  Ref<TChannel> Play(const Ref<TChannel>& channel) override;
  // As Play, with the voice paused.
  Ref<TChannel> Cue(const Ref<TChannel>& channel) override;

  // The shared sample buffer voices play from.
  sonavox::samplebuffer* Buffer() const noexcept { return buffer_; }

 private:
  Ref<TChannel> Start(const Ref<TChannel>& channel, bool paused);

  sonavox::samplebuffer* buffer_;
};

// A mixer channel: a handle naming the voice it plays. Every operation does nothing once the
// handle is stale (stopped, replaced, its one-shot voice reused, or the device closed).
class TSonavoxChannel : public TChannel {
 public:
  // Takes over a handle the mixer core gave out.
  explicit TSonavoxChannel(int32_t handle) noexcept : handle_(handle) {}
  // Frees the handle. A playing voice plays on and is recycled when it ends; a paused one,
  // which nothing could resume any more, stops.
  ~TSonavoxChannel() override;
  TSonavoxChannel(const TSonavoxChannel&) = delete;
  TSonavoxChannel& operator=(const TSonavoxChannel&) = delete;

  // Stops the voice and lets go of the handle, so the channel goes stale.
  void Stop() override;
  void SetPaused(int32_t paused) override;
  // Volume × 4096, truncated and held to 16 bits; NaN gives 0.
  void SetVolume(float volume) override;
  // Pan × 4096, truncated and held to -4096 ... 4096; NaN gives 0.
  void SetPan(float pan) override;
  // Below 0 inverts the right side; NaN gives 0.
  void SetDepth(float depth) override;
  // Rate × 65536, truncated; 0 and below hold the voice still, NaN too.
  void SetRate(float rate) override;
  int32_t IsPlaying() override;
  // Frames played so far, loops included; 0 for a stale channel.
  virtual int32_t Position();

  // The mixer core's handle; 0 once stopped.
  int32_t Handle() const noexcept { return handle_; }

 private:
  friend class TSonavoxSound;
  int32_t handle_;
};

// The process-wide mixer core the drivers share (made by the module initialiser).
sonavox::MixerCore& SonavoxMixerCore();

// The software-mixer driver module's initialiser: registers "Sonavox Multimedia" and then
// "Sonavox", so "Sonavox" is found first.
void InitSonavoxAudioModule();

}  // namespace corvex
