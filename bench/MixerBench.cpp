// The software mixer against OpenAL Soft's own mixing, in the same run: K looping mono 16-bit
// 22050 Hz voices with gains 0.05-0.5, pans -1..1 and rates 0.5-2.0, ten seconds of 44100 Hz
// 16-bit stereo output. The figure is CPU milliseconds of the mixing thread per second of
// audio ("ms_per_audio_s"); the baseline renders the same voices through OpenAL Soft's
// loopback device (ALC_SOFT_loopback), so neither side waits for a sound card.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numbers>
#include <vector>

#include "audio/OpenALLibrary.h"
#include "audio/SonavoxMixer.h"

namespace corvex {
namespace {

constexpr int32_t kOutputRate = 44100;
constexpr int32_t kSourceRate = 22050;
constexpr int32_t kBlockFrames = 512;
constexpr int32_t kSeconds = 10;
constexpr int32_t kBlocks = (kSeconds * kOutputRate + kBlockFrames - 1) / kBlockFrames;

double ThreadCpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One second of a tone with some harmonics: the same frames for every voice on both sides.
std::vector<int16_t> SourceFrames() {
  std::vector<int16_t> frames(kSourceRate);
  for (size_t i = 0; i < frames.size(); ++i) {
    const double t = static_cast<double>(i) / kSourceRate;
    frames[i] = static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * 220 * t) +
                                     4000 * std::sin(2 * std::numbers::pi * 1330 * t));
  }
  return frames;
}

// The settings of voice i of k.
struct VoiceSettings {
  float gain, pan, rate;
};
VoiceSettings SettingsOf(int i, int k) {
  const float x = k > 1 ? static_cast<float>(i) / static_cast<float>(k - 1) : 0.5f;
  return {0.05f + 0.45f * x, -1.0f + 2.0f * x, 0.5f + 1.5f * (1.0f - x)};
}

void Report(benchmark::State& state, double cpuMillis) {
  state.counters["ms_per_audio_s"] =
      benchmark::Counter(cpuMillis / kSeconds / static_cast<double>(state.iterations()));
}

int32_t BenchClock() {
  return 0;
}

void BM_SonavoxMix(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const std::vector<int16_t> frames = SourceFrames();
  sonavox::samplebuffer* buffer =
      sonavox::samplebuffer::Create(kSourceRate, 16, 1, kSourceRate, frames.data(), 1);
  sonavox::mixer mixer(2 * kBlockFrames, kOutputRate, 2, &BenchClock);
  for (int i = 0; i < k; ++i) {
    const VoiceSettings s = SettingsOf(i, k);
    sonavox::sound* voice = mixer.play(buffer, sonavox::kStatusLooping | sonavox::kStatusPaused, nullptr);
    voice->setVolume(sonavox::FixedFromFloat(s.gain, 4096, -32768, 32767));
    voice->setPan(sonavox::FixedFromFloat(s.pan, 4096, -4096, 4096));
    voice->setRate(sonavox::FixedFromFloat(s.rate, 65536, 0, 0x7FFFFFFF));
    voice->setPaused(false);
  }
  std::vector<int16_t> out(2 * kBlockFrames);
  // The first blocks wait out the start delay; leave them out of the measurement.
  for (int b = 0; b < 4; ++b) mixer.convert(out.data(), 2 * kBlockFrames);
  double cpu = 0;
  for (auto _ : state) {
    const double start = ThreadCpuMillis();
    for (int b = 0; b < kBlocks; ++b) mixer.convert(out.data(), 2 * kBlockFrames);
    cpu += ThreadCpuMillis() - start;
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, cpu);
  mixer.recycleAll();
  buffer->Release();
}
BENCHMARK(BM_SonavoxMix)->Arg(16)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The 256 voices above plus two stereo 44100 Hz streams, as music plays them: the figure is
// the mixing thread's CPU alone (the frames are decoded beforehand; refilling the rings runs on
// this thread too but outside the measured span, as a feeding thread would). Compare with
// BM_SonavoxMix/256 plus the decoding cost of two streams (corvex_audio_bench).
void BM_SonavoxMixWithTwoStreams(benchmark::State& state) {
  constexpr int kVoices = 256;
  const std::vector<int16_t> frames = SourceFrames();
  sonavox::samplebuffer* buffer =
      sonavox::samplebuffer::Create(kSourceRate, 16, 1, kSourceRate, frames.data(), 1);
  sonavox::mixer mixer(2 * kBlockFrames, kOutputRate, 2, &BenchClock);
  for (int i = 0; i < kVoices; ++i) {
    const VoiceSettings s = SettingsOf(i, kVoices);
    sonavox::sound* voice = mixer.play(buffer, sonavox::kStatusLooping | sonavox::kStatusPaused, nullptr);
    voice->setVolume(sonavox::FixedFromFloat(s.gain, 4096, -32768, 32767));
    voice->setPan(sonavox::FixedFromFloat(s.pan, 4096, -4096, 4096));
    voice->setRate(sonavox::FixedFromFloat(s.rate, 65536, 0, 0x7FFFFFFF));
    voice->setPaused(false);
  }
  // One second of stereo music frames, written round and round into each ring.
  std::vector<int16_t> music(2 * kOutputRate);
  for (size_t i = 0; i < music.size(); ++i) music[i] = frames[(i / 2) % frames.size()];
  std::vector<sonavox::streambuffer*> streams;
  std::vector<size_t> fed;
  for (int m = 0; m < 2; ++m) {
    streams.push_back(sonavox::streambuffer::Create(2, kOutputRate, 1 << 16, 1 << 13));
    fed.push_back(0);
    mixer.playStream(streams.back(), sonavox::kStatusOneShot, nullptr)->setVolume(2048);
  }
  const auto refill = [&] {
    for (size_t m = 0; m < streams.size(); ++m) {
      for (int32_t room = streams[m]->writable(); room > 0;) {
        const auto n =
            static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(room), kOutputRate - fed[m]));
        streams[m]->write(music.data() + 2 * fed[m], n);
        fed[m] = (fed[m] + static_cast<size_t>(n)) % kOutputRate;
        room -= n;
      }
    }
  };
  std::vector<int16_t> out(2 * kBlockFrames);
  refill();
  for (int b = 0; b < 4; ++b) mixer.convert(out.data(), 2 * kBlockFrames);
  double cpu = 0;
  int32_t underruns = 0;
  for (auto _ : state) {
    for (int b = 0; b < kBlocks; ++b) {
      if (b % 64 == 0) refill();
      const double start = ThreadCpuMillis();
      mixer.convert(out.data(), 2 * kBlockFrames);
      cpu += ThreadCpuMillis() - start;
    }
    benchmark::DoNotOptimize(out.data());
  }
  for (sonavox::streambuffer* stream : streams) underruns += stream->underruns.load();
  state.counters["underruns"] = underruns;
  Report(state, cpu);
  mixer.recycleAll();
  for (sonavox::streambuffer* stream : streams) stream->Release();
  buffer->Release();
}
BENCHMARK(BM_SonavoxMixWithTwoStreams)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_OpenALSoftLoopbackBaseline(benchmark::State& state) {
  using namespace openal;
  if (!LoadLibrary()) {
    state.SkipWithError("libopenal.so.1 is not installed");
    return;
  }
  auto openLoopback = reinterpret_cast<ALCdevice* (*)(const ALCchar*)>(
      AL().alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  auto render = reinterpret_cast<void (*)(ALCdevice*, void*, ALsizei)>(
      AL().alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  ALCdevice* device = openLoopback ? openLoopback(nullptr) : nullptr;
  if (!device || !render) {
    state.SkipWithError("the OpenAL library has no loopback device");
    return;
  }
  // Stereo, 16-bit, 44100 Hz: ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
  // ALC_SHORT_SOFT, ALC_FREQUENCY.
  const ALCint attributes[] = {0x1990, 0x1501, 0x1991, 0x1402, 0x1007, kOutputRate, 0};
  ALCcontext* context = AL().alcCreateContext(device, attributes);
  AL().alcMakeContextCurrent(context);
  AL().alDistanceModel(AL_NONE);

  const int k = static_cast<int>(state.range(0));
  const std::vector<int16_t> frames = SourceFrames();
  ALuint buffer = 0;
  AL().alGenBuffers(1, &buffer);
  AL().alBufferData(buffer, AL_FORMAT_MONO16, frames.data(), static_cast<ALsizei>(frames.size() * 2),
                    kSourceRate);
  std::vector<ALuint> sources(static_cast<size_t>(k));
  AL().alGenSources(k, sources.data());
  for (int i = 0; i < k; ++i) {
    const VoiceSettings s = SettingsOf(i, k);
    const ALuint id = sources[static_cast<size_t>(i)];
    const double angle = s.pan * std::numbers::pi / 2;
    AL().alSourcei(id, AL_SOURCE_RELATIVE, 1);
    AL().alSourcei(id, AL_LOOPING, 1);
    AL().alSourcei(id, AL_BUFFER, static_cast<ALint>(buffer));
    AL().alSourcef(id, AL_GAIN, s.gain);
    AL().alSourcef(id, AL_PITCH, s.rate);
    AL().alSource3f(id, AL_POSITION, static_cast<float>(std::sin(angle)), 0,
                    static_cast<float>(-std::cos(angle)));
    AL().alSourcePlay(id);
  }
  std::vector<int16_t> out(2 * kBlockFrames);
  render(device, out.data(), kBlockFrames);
  double cpu = 0;
  for (auto _ : state) {
    const double start = ThreadCpuMillis();
    for (int b = 0; b < kBlocks; ++b) render(device, out.data(), kBlockFrames);
    cpu += ThreadCpuMillis() - start;
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, cpu);
  for (ALuint id : sources) AL().alSourceStop(id);
  AL().alcMakeContextCurrent(nullptr);
  AL().alcDestroyContext(context);
  AL().alcCloseDevice(device);
}
BENCHMARK(BM_OpenALSoftLoopbackBaseline)
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace
}  // namespace corvex
