// The driver-independent audio layer: sounds, channels and audio drivers, the driver chain and
// the choice of the current driver, and the functions programs call. The base classes are
// also the silent driver named "Null": sounds load and channels answer, but nothing is heard.
#pragma once

#include <cstdint>

#include "audio/AudioSample.h"
#include "runtime/Array.h"
#include "runtime/Object.h"
#include "runtime/String.h"
#include "stream/Url.h"

namespace corvex {

// A playing (or cued) sound. Every operation of the base does nothing; IsPlaying answers 0.
class TChannel : public Object {
 public:
  // Ends the sound for good; the channel cannot be resumed.
  virtual void Stop();
  // Non-zero pauses, 0 resumes.
  virtual void SetPaused(int32_t paused);
  // 1.0 is full volume.
  virtual void SetVolume(float volume);
  // -1 left, 0 centre, 1 right.
  virtual void SetPan(float pan);
  virtual void SetDepth(float depth);
  // 1.0 plays at the sound's own rate.
  virtual void SetRate(float rate);
  // 1 while the channel plays, else 0.
  virtual int32_t IsPlaying();
};

// A sound made by a driver from an audio sample, ready to play any number of times.
class TSound : public Object {
 public:
  // Starts the sound on `channel` (Null: on a channel of its own); answers the channel that
  // plays it. The base ignores the argument and answers a new silent channel.
  virtual Ref<TChannel> Play(const Ref<TChannel>& channel);
  // As Play, but the channel starts paused. The base answers a new silent channel.
  virtual Ref<TChannel> Cue(const Ref<TChannel>& channel);

  // A sound of the current driver from the URL's sample; a TAudioSample object given as the URL
  // is used as it is. Null when no sample loads or the driver cannot make the sound. `flags`
  // mean what the driver says (bit 0: loop, for the drivers of this framework).
  static Ref<TSound> Load(const Url& url, int32_t flags);
};

// An audio output. Constructing one links it in front of the driver chain for the rest of the
// process (made with New, never destroyed), so the most recently constructed is found first.
class TAudioDriver : public Object {
 public:
  TAudioDriver();
  TAudioDriver(const TAudioDriver&) = delete;
  TAudioDriver& operator=(const TAudioDriver&) = delete;

  // The name programs select the driver by; "Null" for the base.
  virtual String Name();
  // Opens the output; 1 when the driver can be used, else 0. The base answers 1.
  virtual int32_t Startup();
  // Closes the output; sounds and channels of the driver go silent.
  virtual void Shutdown();
  // A sound over the sample; `flags` are the driver's (see TSound::Load). Null when the driver
  // cannot take the sample. The base answers a new silent sound.
  virtual Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags);
  // A channel to play sounds on. The base answers a new silent channel.
  virtual Ref<TChannel> NewChannel();

  // The driver constructed before this one; Null at the end of the chain.
  const Ref<TAudioDriver>& Next() const noexcept { return next_; }

 protected:
  ~TAudioDriver() override = default;

 private:
  Ref<TAudioDriver> next_;
};

// The default driver's name, the software mixer's.
inline constexpr const char* kDefaultAudioDriverName = "Sonavox";

// The most recently constructed driver, Null before any.
Ref<TAudioDriver> AudioDrivers();

// The names of the drivers in chain order, at most 100.
Array<String> AudioDriverNames();
// 1 when a driver of that name (ignoring letter case) is registered, else 0.
int32_t HasAudioDriver(const String& name);
// Shuts the current driver down, then starts the first driver of that name (ignoring letter
// case) and makes it current: 1 on success. On failure the null driver is current: 0.
int32_t SelectAudioDriver(const String& name);
// The current driver; the first call selects "Sonavox", and the null driver when that fails.
Ref<TAudioDriver> CurrentAudioDriver();

// TSound::Load.
Ref<TSound> OpenSound(const Url& url, int32_t flags);
// sound.Play(channel).
Ref<TChannel> StartSound(const Ref<TSound>& sound, const Ref<TChannel>& channel);
// sound.Cue(channel).
Ref<TChannel> PrepareSound(const Ref<TSound>& sound, const Ref<TChannel>& channel);

// A new channel of the current driver.
Ref<TChannel> NewAudioChannel();
// The Channel functions do nothing on Null (ChannelIsPlaying answers 0).
void ChannelStop(const Ref<TChannel>& channel);
// SetPaused(1).
void ChannelPause(const Ref<TChannel>& channel);
// SetPaused(0).
void ChannelResume(const Ref<TChannel>& channel);
void ChannelSetVolume(const Ref<TChannel>& channel, float volume);
void ChannelSetPan(const Ref<TChannel>& channel, float pan);
void ChannelSetDepth(const Ref<TChannel>& channel, float depth);
void ChannelSetRate(const Ref<TChannel>& channel, float rate);
int32_t ChannelIsPlaying(const Ref<TChannel>& channel);

// The audio module's initialiser: creates the null driver and shuts the current driver down
// when the program exits. No driver is chosen until one is needed.
void InitAudioModule();

}  // namespace corvex
