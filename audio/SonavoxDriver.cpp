#include "audio/SonavoxDriver.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "audio/AudioOutputPlatform.h"
#include "audio/SonavoxMixer.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

using sonavox::FixedFromFloat;

constexpr int32_t kInt16Min = std::numeric_limits<int16_t>::min();
constexpr int32_t kInt16Max = std::numeric_limits<int16_t>::max();

// Made by the module initialiser and kept for the life of the process: channels and sounds may
// outlive every at-exit action.
sonavox::MixerCore* g_core = nullptr;

sonavox::sound* VoiceOf(int32_t handle) {
  return g_core ? g_core->lookup(handle) : nullptr;
}

}  // namespace

sonavox::MixerCore& SonavoxMixerCore() {
  InitSonavoxAudioModule();
  return *g_core;
}

// ---- Driver ----

TSonavoxAudioDriver::TSonavoxAudioDriver(String name, int32_t mode) : name_(std::move(name)), mode_(mode) {}

String TSonavoxAudioDriver::Name() {
  return name_;
}

int32_t TSonavoxAudioDriver::Startup() {
  // Only the wave-out-style device exists here: modes 0 and -1 open it, mode 1 has nothing.
  if (mode_ == 1) return FailZero("no such output device");
  return SonavoxMixerCore().open(platform::NewAudioOutputDevice()) ? 1 : 0;
}

void TSonavoxAudioDriver::Shutdown() {
  SonavoxMixerCore().close();
}

Ref<TSound> TSonavoxAudioDriver::CreateSound(const Ref<TAudioSample>& sample, int32_t flags) {
  if (!sample) return Null;
  Ref<TAudioSample> frames = sample;
  if (frames->Format() == SAMPLE_MONO16BE) frames = frames->Convert(SAMPLE_MONO16LE);
  if (frames->Format() == SAMPLE_STEREO16BE) frames = frames->Convert(SAMPLE_STEREO16LE);
  const int32_t format = frames->Format();
  if (!IsSampleFormat(format) || SampleFormatChannels[format] == 0) return Null;
  const int32_t channels = SampleFormatChannels[format];
  const int32_t bits = SampleFormatBytes[format] * 8 / channels;
  sonavox::samplebuffer* buffer = sonavox::samplebuffer::Create(
      frames->Length(), bits, channels, frames->Hertz(), frames->Samples(), flags & 1);
  if (!buffer) return Null;
  return New<TSonavoxSound>(buffer);
}

Ref<TChannel> TSonavoxAudioDriver::NewChannel() {
  const int32_t handle = SonavoxMixerCore().allocateChannel();
  if (handle == 0) return Null;
  return New<TSonavoxChannel>(handle);
}

// ---- Sound ----

TSonavoxSound::~TSonavoxSound() {
  buffer_->Release();
}

Ref<TChannel> TSonavoxSound::Play(const Ref<TChannel>& channel) {
  return Start(channel, false);
}

Ref<TChannel> TSonavoxSound::Cue(const Ref<TChannel>& channel) {
  return Start(channel, true);
}

Ref<TChannel> TSonavoxSound::Start(const Ref<TChannel>& channel, bool paused) {
  const Ref<TSonavoxChannel> own = Cast<TSonavoxChannel>(channel);
  if (channel && !own) return Null;
  const int32_t handle = own ? own->handle_ : 0;
  const int32_t result = SonavoxMixerCore().playSound(handle, buffer_, paused);
  if (result == 0) return Null;
  if (own && result == handle) return own;
  return New<TSonavoxChannel>(result);
}

// ---- Channel ----

TSonavoxChannel::~TSonavoxChannel() {
  if (g_core) g_core->releaseChannel(handle_);
}

void TSonavoxChannel::Stop() {
  if (g_core) g_core->stopChannel(handle_);
  handle_ = 0;
}

void TSonavoxChannel::SetPaused(int32_t paused) {
  if (sonavox::sound* voice = VoiceOf(handle_)) voice->setPaused(paused != 0);
}

void TSonavoxChannel::SetVolume(float volume) {
  if (sonavox::sound* voice = VoiceOf(handle_))
    voice->setVolume(FixedFromFloat(volume, 4096, kInt16Min, kInt16Max));
}

void TSonavoxChannel::SetPan(float pan) {
  if (sonavox::sound* voice = VoiceOf(handle_)) voice->setPan(FixedFromFloat(pan, 4096, -4096, 4096));
}

void TSonavoxChannel::SetDepth(float depth) {
  if (sonavox::sound* voice = VoiceOf(handle_))
    voice->setDepth(FixedFromFloat(depth, 4096, kInt16Min, kInt16Max));
}

void TSonavoxChannel::SetRate(float rate) {
  if (sonavox::sound* voice = VoiceOf(handle_))
    voice->setRate(FixedFromFloat(rate, 65536, 0, std::numeric_limits<int32_t>::max()));
}

int32_t TSonavoxChannel::IsPlaying() {
  const sonavox::sound* voice = VoiceOf(handle_);
  return voice ? voice->isPlaying() : 0;
}

int32_t TSonavoxChannel::Position() {
  sonavox::sound* voice = VoiceOf(handle_);
  return voice ? voice->getPosition() : 0;
}

// ---- Module ----

void InitSonavoxAudioModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitAudioModule();
  g_core = new sonavox::MixerCore();
  // No DirectSound-style output exists here, so "Sonavox DirectSound" is not registered.
  New<TSonavoxAudioDriver>("Sonavox Multimedia", 0);
  New<TSonavoxAudioDriver>("Sonavox", -1);
}

}  // namespace corvex
