#include "audio/OpenALDriver.h"

#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {

using namespace openal;

namespace {

constexpr size_t kMaxDeviceNames = 100;

// The free-source list, newest first; sources are taken only once OpenAL reports them idle.
constinit Ref<TOpenALSource> g_freeSources;
// Counts driver start-ups and shut-downs: OpenAL names belong to one context, so sources and
// buffers of another count are stale and never passed to OpenAL again.
constinit int32_t g_context = 0;
// RegisterOpenALDevices' answer: -1 before the first call.
constinit int32_t g_devicesRegistered = -1;

void PushFree(const Ref<TOpenALSource>& source) {
  source->next = g_freeSources;
  g_freeSources = source;
}

ALenum ALFormat(int32_t format) {
  switch (format) {
    case SAMPLE_MONO8:
      return AL_FORMAT_MONO8;
    case SAMPLE_MONO16LE:
      return AL_FORMAT_MONO16;
    case SAMPLE_STEREO8:
      return AL_FORMAT_STEREO8;
    case SAMPLE_STEREO16LE:
      return AL_FORMAT_STEREO16;
    default:
      return AL_NONE;
  }
}

}  // namespace

// ---- Sources ----

ALint TOpenALSource::State() {
  ALint state = 0;
  AL().alGetSourcei(id, AL_SOURCE_STATE, &state);
  return state;
}

int32_t TOpenALSource::IsPlaying() {
  return State() == AL_PLAYING ? 1 : 0;
}

int32_t TOpenALSource::IsPaused() {
  return State() == AL_PAUSED ? 1 : 0;
}

int32_t TOpenALSource::IsActive() {
  const ALint state = State();
  return state == AL_PLAYING || state == AL_PAUSED ? 1 : 0;
}

int32_t TOpenALSource::IsReusable() {
  const ALint state = State();
  return state == AL_STOPPED || (state == AL_INITIAL && idle) ? 1 : 0;
}

// ---- Sounds ----

TOpenALSound::~TOpenALSound() {
  if (context_ == g_context && buffer_ != 0) AL().alDeleteBuffers(1, &buffer_);
}

Ref<TOpenALSound> TOpenALSound::Create(const Ref<TAudioSample>& sample, int32_t flags) {
  if (!sample) return Null;
  Ref<TAudioSample> frames = sample;
  if (frames->Format() == SAMPLE_MONO16BE) frames = frames->Convert(SAMPLE_MONO16LE);
  if (frames->Format() == SAMPLE_STEREO16BE) frames = frames->Convert(SAMPLE_STEREO16LE);
  ALuint buffer = 0;
  AL().alGenBuffers(1, &buffer);
  AL().alBufferData(buffer, ALFormat(frames->Format()), frames->Samples(), frames->ByteCount(),
                    frames->Hertz());
  return New<TOpenALSound>(buffer, flags & 1, g_context);
}

Ref<TChannel> TOpenALSound::Cue(const Ref<TChannel>& channel) {
  if (context_ != g_context) return Null;
  // No channel, or one of another driver: a one-shot channel of this driver.
  Ref<TOpenALChannel> own = Cast<TOpenALChannel>(channel);
  if (!own) own = TOpenALChannel::Create(0);
  own->Cue(Ref<TOpenALSound>(this));
  return own;
}

Ref<TChannel> TOpenALSound::Play(const Ref<TChannel>& channel) {
  Ref<TChannel> result = Cue(channel);
  if (result) result->SetPaused(0);
  return result;
}

// ---- Channels ----

TOpenALChannel::TOpenALChannel(Ref<TOpenALSource> source, int32_t owned) noexcept
    : source_(std::move(source)), seq_(source_->seq), owned_(owned) {}

TOpenALChannel::~TOpenALChannel() {
  if (!Valid()) return;
  if (source_->IsPaused()) AL().alSourceStop(source_->id);
  source_->idle = 1;
  if (owned_) PushFree(source_);
}

bool TOpenALChannel::Valid() const noexcept {
  return source_->seq == seq_ && source_->context == g_context;
}

Ref<TOpenALChannel> TOpenALChannel::Create(int32_t owned) {
  Ref<TOpenALSource> source;
  for (Ref<TOpenALSource>* link = &g_freeSources; *link; link = &(*link)->next) {
    if (!(*link)->IsReusable()) continue;
    source = *link;
    *link = source->next;
    source->next = Null;
    source->seq += 1;
    source->idle = 0;
    // A buffer still attached to a source cannot be deleted: detach it before the sound goes.
    AL().alSourcei(source->id, AL_BUFFER, 0);
    source->sound = Null;
    break;
  }
  if (!source) {
    source = New<TOpenALSource>();
    source->context = g_context;
    AL().alGenSources(1, &source->id);
    AL().alSourcei(source->id, AL_SOURCE_RELATIVE, 1);
  }
  AL().alSourcef(source->id, AL_GAIN, 1.0f);
  AL().alSourcef(source->id, AL_PITCH, 1.0f);
  AL().alSource3f(source->id, AL_POSITION, 0.0f, 0.0f, 1.0f);
  if (owned == 0) PushFree(source);
  return New<TOpenALChannel>(source, owned);
}

void TOpenALChannel::Cue(const Ref<TOpenALSound>& sound) {
  if (!Valid() || !sound) return;
  AL().alSourceStop(source_->id);
  AL().alSourcei(source_->id, AL_LOOPING, sound->Loop());
  // Attaching the new buffer detaches the old one, which can then go with its sound.
  AL().alSourcei(source_->id, AL_BUFFER, static_cast<ALint>(sound->Buffer()));
  source_->sound = sound;
}

void TOpenALChannel::Stop() {
  if (!Valid()) return;
  AL().alSourceStop(source_->id);
  source_->seq += 1;
  source_->idle = 1;
  if (owned_) PushFree(source_);
}

void TOpenALChannel::SetPaused(int32_t paused) {
  if (!Valid()) return;
  if (paused) {
    AL().alSourcePause(source_->id);
  } else {
    AL().alSourcePlay(source_->id);
  }
}

void TOpenALChannel::SetVolume(float volume) {
  if (Valid()) AL().alSourcef(source_->id, AL_GAIN, volume);
}

void TOpenALChannel::SetPan(float pan) {
  if (!Valid()) return;
  const double angle = static_cast<double>(pan) * std::numbers::pi / 2;
  AL().alSource3f(source_->id, AL_POSITION, static_cast<float>(std::sin(angle)), 0.0f,
                  static_cast<float>(-std::cos(angle)));
}

void TOpenALChannel::SetDepth(float) {}

void TOpenALChannel::SetRate(float rate) {
  if (Valid()) AL().alSourcef(source_->id, AL_PITCH, rate);
}

int32_t TOpenALChannel::IsPlaying() {
  return Valid() ? source_->IsActive() : 0;
}

// ---- Driver ----

TOpenALAudioDriver::TOpenALAudioDriver(String name, String deviceName)
    : name_(std::move(name)), deviceName_(std::move(deviceName)) {}

Ref<TOpenALAudioDriver> TOpenALAudioDriver::Create(const String& name, const String& deviceName) {
  return New<TOpenALAudioDriver>(name, deviceName);
}

String TOpenALAudioDriver::Name() {
  return name_;
}

int32_t TOpenALAudioDriver::Startup() {
  device_ = nullptr;
  if (!deviceName_.IsEmpty()) {
    device_ = AL().alcOpenDevice(deviceName_.ToBytes().c_str());
  } else if (LibraryLoaded()) {
    device_ = AL().alcOpenDevice(nullptr);
  }
  if (!device_)
    return FailZero(LibraryLoaded() ? "OpenAL: cannot open the device" : "OpenAL: library not found");
  context_ = AL().alcCreateContext(device_, nullptr);
  if (!context_) {
    AL().alcCloseDevice(device_);
    device_ = nullptr;
    return FailZero("OpenAL: cannot create a context");
  }
  AL().alcMakeContextCurrent(context_);
  AL().alDistanceModel(AL_NONE);
  g_context += 1;
  return 1;
}

void TOpenALAudioDriver::Shutdown() {
  if (!device_) return;
  // Pooled sources die with the context; channels and sounds of this start-up go stale.
  g_freeSources = Null;
  g_context += 1;
  AL().alcMakeContextCurrent(nullptr);
  AL().alcDestroyContext(context_);
  AL().alcCloseDevice(device_);
  context_ = nullptr;
  device_ = nullptr;
}

Ref<TSound> TOpenALAudioDriver::CreateSound(const Ref<TAudioSample>& sample, int32_t flags) {
  return TOpenALSound::Create(sample, flags);
}

Ref<TChannel> TOpenALAudioDriver::NewChannel() {
  return TOpenALChannel::Create(1);
}

// ---- Devices and registration ----

Array<String> OpenALDeviceNames() {
  std::vector<String> names;
  const ALCchar* list = AL().alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
  // The list is NUL-separated and ends with an empty name.
  while (list && *list && names.size() < kMaxDeviceNames) {
    const std::string name(list);
    names.push_back(String(name.c_str()));
    list += name.size() + 1;
  }
  return Array<String>::FromVector(std::move(names));
}

int32_t RegisterOpenALDevices() {
  if (g_devicesRegistered >= 0) return g_devicesRegistered;
  g_devicesRegistered = 0;
  if (!LibraryLoaded() || !HasEntryPoint("alcGetString")) return 0;
  const Array<String> names = OpenALDeviceNames();
  for (int32_t i = 0; i < names.Length(); ++i)
    TOpenALAudioDriver::Create(String("OpenAL ") + names[i], names[i]);
  const ALCchar* defaultName = AL().alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
  TOpenALAudioDriver::Create("OpenAL Default", String(defaultName ? defaultName : ""));
  g_devicesRegistered = 1;
  return 1;
}

void InitOpenALAudioModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitAudioModule();
  if (LoadLibrary()) TOpenALAudioDriver::Create("OpenAL", "");
}

}  // namespace corvex
