// The software mixer's output on SDL2: a queued audio device fed by a mixing thread of our
// own. Every 5 ms the thread tops the device's queue up to `lead` blocks ahead of what it has
// played; a queue found nearly empty (the thread fell behind) raises the lead by two blocks, up
// to 11, and refills at once instead of stopping playback.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <thread>

#include "audio/AudioOutputPlatform.h"
#include "audio/SharedLibraryPlatform.h"
#include "runtime/LastError.h"
#include "system/SystemDriver.h"

namespace corvex::platform {
namespace {

constexpr int kFrequency = 44100;
constexpr int kChannels = 2;
constexpr int32_t kBlockSamples = 1024;  // 512 frames, 11.6 ms
constexpr Uint32 kBlockBytes = kBlockSamples * sizeof(int16_t);
constexpr int32_t kStartLead = 6;
constexpr int32_t kMaxLead = 11;
constexpr int kTickMillis = 5;

int32_t FailWithSdlError() {
  SetLastError(String("SDL: ") + SDL_GetError());
  return -1;
}

int32_t MixerClock() {
  return MillisNow();
}

class AudioDeviceSdl2 final : public sonavox::audiodevice {
 public:
  ~AudioDeviceSdl2() override { close(); }

  int32_t open() override {
    if (device_ != 0) return 0;
    platform::RouteSoundLibraryMessagesToLog();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return FailWithSdlError();
    SDL_AudioSpec wanted{};
    wanted.freq = kFrequency;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kChannels;
    wanted.samples = kBlockSamples / kChannels;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device_ == 0) {
      FailWithSdlError();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return -1;
    }
    mixer_ = std::make_unique<sonavox::mixer>(kBlockSamples, kFrequency, kChannels, &MixerClock);
    lead_ = kStartLead;
    Fill();
    running_.store(true);
    SDL_PauseAudioDevice(device_, 0);
    thread_ = std::thread([this] { Run(); });
    return 0;
  }

  void close() override {
    if (device_ == 0) return;
    running_.store(false);
    if (thread_.joinable()) thread_.join();
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    mixer_->recycleAll();
  }

 private:
  // Converts blocks until the queue holds `lead_` of them. Every block the device refuses is
  // reported, at start-up and on the mixing thread alike; the next tick tries again.
  void Fill() {
    std::array<int16_t, kBlockSamples> block;
    Uint32 queued = SDL_GetQueuedAudioSize(device_);
    while (queued < static_cast<Uint32>(lead_) * kBlockBytes) {
      mixer_->convert(block.data(), kBlockSamples);
      if (SDL_QueueAudio(device_, block.data(), kBlockBytes) != 0) {
        std::printf("waveOutWrite error\n");
        std::fflush(stdout);
        return;
      }
      queued += kBlockBytes;
    }
  }

  void Run() {
    while (running_.load()) {
      if (SDL_GetQueuedAudioSize(device_) < kBlockBytes && lead_ <= kMaxLead - 2) lead_ += 2;
      Fill();
      SDL_Delay(kTickMillis);
    }
  }

  SDL_AudioDeviceID device_ = 0;
  std::thread thread_;
  std::atomic<bool> running_{false};
  int32_t lead_ = kStartLead;  // mixing thread, once started
};

}  // namespace

std::unique_ptr<sonavox::audiodevice> NewAudioOutputDevice() {
  return std::make_unique<AudioDeviceSdl2>();
}

}  // namespace corvex::platform
