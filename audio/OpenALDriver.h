// The OpenAL audio drivers: sounds become OpenAL buffers and channels borrow OpenAL sources
// from a pool. Registered only when the OpenAL library loads.
#pragma once

#include <cstdint>

#include "audio/AudioDriver.h"
#include "audio/OpenALLibrary.h"
#include "runtime/Array.h"
#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

class TOpenALSound;

// One OpenAL source. Sources are never deleted while their context lives: they move between
// the free-source list and channels.
class TOpenALSource : public Object {
 public:
  // 1 while the source state is playing.
  virtual int32_t IsPlaying();
  // 1 while it is paused.
  virtual int32_t IsPaused();
  // 1 while it is playing or paused.
  virtual int32_t IsActive();
  // 1 when a channel may take it: stopped, or never started and given up by its channel. A
  // source cued and not yet played still belongs to the channel that cued it.
  int32_t IsReusable();

  Ref<TOpenALSource> next;  // the free-source list
  openal::ALuint id = 0;    // the OpenAL source name
  int32_t seq = 0;          // use counter: a channel is valid while its copy equals this
  Ref<TOpenALSound> sound;  // the sound last cued on it
  int32_t context = 0;      // the driver start-up the source belongs to
  int32_t idle = 0;         // 1 once no channel can start it any more (stopped or dropped)

 private:
  openal::ALint State();
};

// A sound held in one OpenAL buffer; destroying it deletes the buffer.
class TOpenALSound : public TSound {
 public:
  // Takes ownership of `buffer`, made in driver start-up `context`; `loop` 1 makes it loop.
  TOpenALSound(openal::ALuint buffer, int32_t loop, int32_t context) noexcept
      : buffer_(buffer), loop_(loop), context_(context) {}
  ~TOpenALSound() override;
  TOpenALSound(const TOpenALSound&) = delete;
  TOpenALSound& operator=(const TOpenALSound&) = delete;

  // Cues and starts the sound; answers the channel (a new one-shot channel for Null or a
  // channel of another driver), Null for a sound from an earlier start-up of the driver.
  Ref<TChannel> Play(const Ref<TChannel>& channel) override;
  // Attaches the sound to the channel (Null or another driver's: to a one-shot channel)
  // stopped and ready.
  Ref<TChannel> Cue(const Ref<TChannel>& channel) override;

  // A sound over a new buffer with the sample's frames (big-endian formats converted first);
  // flag bit 0 makes it loop.
  static Ref<TOpenALSound> Create(const Ref<TAudioSample>& sample, int32_t flags);

  // The OpenAL buffer, and 1 when the sound loops.
  openal::ALuint Buffer() const noexcept { return buffer_; }
  int32_t Loop() const noexcept { return loop_; }

 private:
  openal::ALuint buffer_;
  int32_t loop_;
  int32_t context_;
};

// A channel on a borrowed source. Every operation does nothing once the source has been taken
// by another channel or the channel was stopped.
class TOpenALChannel : public TChannel {
 public:
  // A channel on `source`, valid while the source's use counter stays as it is now; `owned` as
  // for Create.
  TOpenALChannel(Ref<TOpenALSource> source, int32_t owned) noexcept;
  // A still valid channel stops its source when paused; an owned one gives the source back.
  ~TOpenALChannel() override;
  TOpenALChannel(const TOpenALChannel&) = delete;
  TOpenALChannel& operator=(const TOpenALChannel&) = delete;

  // Stops the source; an owned channel gives it back to the free list.
  void Stop() override;
  void SetPaused(int32_t paused) override;
  // Source gain; OpenAL ignores negative and non-finite values.
  void SetVolume(float volume) override;
  // Places the source on the unit circle: ahead at 0, left at -1, right at 1.
  void SetPan(float pan) override;
  void SetDepth(float depth) override;
  // Source pitch; OpenAL ignores 0, negative and non-finite values.
  void SetRate(float rate) override;
  // 1 while the source plays or is paused.
  int32_t IsPlaying() override;
  // Stops the source and attaches the sound's buffer with its looping.
  virtual void Cue(const Ref<TOpenALSound>& sound);

  // A channel on a reusable source from the free list, or on a new one. `owned` 1 keeps the
  // source for this channel; 0 puts it back in the list at once (a one-shot channel).
  static Ref<TOpenALChannel> Create(int32_t owned);

  // The borrowed source, and whether this channel may still use it.
  const Ref<TOpenALSource>& Source() const noexcept { return source_; }
  bool Valid() const noexcept;

 private:
  Ref<TOpenALSource> source_;
  int32_t seq_;
  int32_t owned_;
};

// A driver on one OpenAL device ("" for the default device).
class TOpenALAudioDriver : public TAudioDriver {
 public:
  // A driver registered as `name` that opens the device `deviceName` ("" for the default).
  TOpenALAudioDriver(String name, String deviceName);

  String Name() override;
  // Opens the device and makes a context on it current; 1 on success.
  int32_t Startup() override;
  // Destroys the context and closes the device; its sources and sounds go stale.
  void Shutdown() override;
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags) override;
  // An owned channel.
  Ref<TChannel> NewChannel() override;

  // The constructor's driver as a Ref.
  static Ref<TOpenALAudioDriver> Create(const String& name, const String& deviceName);

 private:
  String name_;
  String deviceName_;
  openal::ALCdevice* device_ = nullptr;
  openal::ALCcontext* context_ = nullptr;
};

// The library's output device names, at most 100; empty without the library.
Array<String> OpenALDeviceNames();
// Registers "OpenAL " + name for every device, then "OpenAL Default"; 1 when OpenAL is usable.
// Later calls repeat the first answer.
int32_t RegisterOpenALDevices();

// The OpenAL module's initialiser: loads the library and, when it loaded, registers "OpenAL".
void InitOpenALAudioModule();

}  // namespace corvex
