#include "audio/AudioDriver.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "audio/AudioSampleLoader.h"
#include "runtime/LastError.h"
#include "runtime/Log.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

// Most names AudioDriverNames answers.
constexpr int32_t kMaxDriverNames = 100;

// Head of the driver chain: a plain pointer holding one reference that is never released, so
// drivers outlive every at-exit action.
TAudioDriver* g_audioDrivers = nullptr;
// The null driver, made by the module initialiser and kept for the life of the process.
TAudioDriver* g_nullDriver = nullptr;
// The current driver, null until the first choice. Drivers live in the chain for the rest of
// the process, so this needs no reference of its own.
TAudioDriver* g_currentDriver = nullptr;

void ShutdownCurrentDriverAtExit() noexcept {
  TAudioDriver* const driver = std::exchange(g_currentDriver, nullptr);
  if (driver == nullptr) return;
  try {
    driver->Shutdown();
  } catch (...) {
    // The program is ending: an output that cannot close is left to the platform.
  }
}

}  // namespace

// ---- The null driver's sounds and channels ----

void TChannel::Stop() {}
void TChannel::SetPaused(int32_t) {}
void TChannel::SetVolume(float) {}
void TChannel::SetPan(float) {}
void TChannel::SetDepth(float) {}
void TChannel::SetRate(float) {}
int32_t TChannel::IsPlaying() {
  return 0;
}

Ref<TChannel> TSound::Play(const Ref<TChannel>&) {
  return New<TChannel>();
}

Ref<TChannel> TSound::Cue(const Ref<TChannel>&) {
  return New<TChannel>();
}

Ref<TSound> TSound::Load(const Url& url, int32_t flags) {
  Ref<TAudioSample> sample = Cast<TAudioSample>(url.Target());
  if (!sample) sample = ReadAudioSample(url);
  if (!sample) return Null;
  return CurrentAudioDriver()->CreateSound(sample, flags);
}

TAudioDriver::TAudioDriver() : next_(g_audioDrivers) {
  AddRef();  // the chain's reference, never released
  g_audioDrivers = this;
}

String TAudioDriver::Name() {
  return "Null";
}

int32_t TAudioDriver::Startup() {
  return 1;
}

void TAudioDriver::Shutdown() {}

Ref<TSound> TAudioDriver::CreateSound(const Ref<TAudioSample>&, int32_t) {
  return New<TSound>();
}

Ref<TChannel> TAudioDriver::NewChannel() {
  return New<TChannel>();
}

// ---- Choosing the driver ----

Ref<TAudioDriver> AudioDrivers() {
  return Ref<TAudioDriver>(g_audioDrivers);
}

Array<String> AudioDriverNames() {
  std::vector<String> names;
  for (TAudioDriver* driver = g_audioDrivers; driver != nullptr && names.size() < kMaxDriverNames;
       driver = driver->Next().Get()) {
    names.push_back(driver->Name());
  }
  return Array<String>::FromVector(std::move(names));
}

int32_t HasAudioDriver(const String& name) {
  const String wanted = name.ToLower();
  for (TAudioDriver* driver = g_audioDrivers; driver != nullptr; driver = driver->Next().Get()) {
    if (driver->Name().ToLower() == wanted) return 1;
  }
  return 0;
}

int32_t SelectAudioDriver(const String& name) {
  const String wanted = name.ToLower();
  if (TAudioDriver* const previous = std::exchange(g_currentDriver, g_nullDriver)) previous->Shutdown();
  TAudioDriver* candidate = g_audioDrivers;
  while (candidate != nullptr && candidate->Name().ToLower() != wanted) candidate = candidate->Next().Get();
  const String subjectName = "audio driver " + name;
  const ErrorSubject subject(&subjectName);
  if (candidate == nullptr) return FailZero("no such driver");
  const uint64_t failures = LastErrorCount();
  if (candidate->Startup() == 0) return LastErrorCount() != failures ? 0 : FailZero("did not start");
  g_currentDriver = candidate;
  return 1;
}

Ref<TAudioDriver> CurrentAudioDriver() {
  if (g_currentDriver == nullptr && SelectAudioDriver(kDefaultAudioDriverName) == 0) {
    LogLine(LogLevel::Warning, LastErrorText() + "; using the \"Null\" audio driver");
    SelectAudioDriver("Null");
  }
  return Ref<TAudioDriver>(g_currentDriver);
}

// ---- Sounds and channels ----

Ref<TSound> OpenSound(const Url& url, int32_t flags) {
  return TSound::Load(url, flags);
}

Ref<TChannel> StartSound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
  return sound->Play(channel);
}

Ref<TChannel> PrepareSound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
  return sound->Cue(channel);
}

Ref<TChannel> NewAudioChannel() {
  return CurrentAudioDriver()->NewChannel();
}

void ChannelStop(const Ref<TChannel>& channel) {
  if (channel.IsNull()) return;
  channel->Stop();
}
void ChannelPause(const Ref<TChannel>& channel) {
  if (channel.IsNull()) return;
  channel->SetPaused(1);
}
void ChannelResume(const Ref<TChannel>& channel) {
  if (channel.IsNull()) return;
  channel->SetPaused(0);
}
void ChannelSetVolume(const Ref<TChannel>& channel, float volume) {
  if (channel.IsNull()) return;
  channel->SetVolume(volume);
}
void ChannelSetPan(const Ref<TChannel>& channel, float pan) {
  if (channel.IsNull()) return;
  channel->SetPan(pan);
}
void ChannelSetDepth(const Ref<TChannel>& channel, float depth) {
  if (channel.IsNull()) return;
  channel->SetDepth(depth);
}
void ChannelSetRate(const Ref<TChannel>& channel, float rate) {
  if (channel.IsNull()) return;
  channel->SetRate(rate);
}
int32_t ChannelIsPlaying(const Ref<TChannel>& channel) {
  return channel.IsNull() ? 0 : channel->IsPlaying();
}

void InitAudioModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  g_nullDriver = new TAudioDriver();  // the chain holds it for the rest of the process
  std::atexit(&ShutdownCurrentDriverAtExit);
}

}  // namespace corvex
