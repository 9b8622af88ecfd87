// Sample conversion against a plain loop doing the same arithmetic, and Ogg Vorbis loading
// through ReadAudioSample against vorbisfile called directly on the same bytes, in the same run.
#include <benchmark/benchmark.h>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/AudioSampleLoader.h"
#include "stream/RamStream.h"

namespace corvex {
namespace {

constexpr int32_t kFrames = 44100;  // one second

void SetFrameRate(benchmark::State& state, int64_t framesPerIteration) {
  state.counters["Mframe/s"] = benchmark::Counter(static_cast<double>(framesPerIteration) * 1e-6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

std::vector<uint8_t> Stereo16Second() {
  std::vector<uint8_t> bytes(kFrames * 4);
  uint32_t seed = 12345;
  for (uint8_t& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(seed >> 24);
  }
  return bytes;
}

void BM_ConvertSampleData_Stereo16ToMono8(benchmark::State& state) {
  const std::vector<uint8_t> source = Stereo16Second();
  std::vector<uint8_t> dest(kFrames);
  for (auto _ : state) {
    ConvertSampleData(source.data(), SAMPLE_STEREO16LE, dest.data(), SAMPLE_MONO8, kFrames);
    benchmark::DoNotOptimize(dest.data());
  }
  SetFrameRate(state, kFrames);
}
BENCHMARK(BM_ConvertSampleData_Stereo16ToMono8);

void BM_PlainLoop_Stereo16ToMono8(benchmark::State& state) {
  const std::vector<uint8_t> source = Stereo16Second();
  std::vector<uint8_t> dest(kFrames);
  for (auto _ : state) {
    const uint8_t* s = source.data();
    for (int32_t i = 0; i < kFrames; ++i, s += 4) {
      const int32_t left = static_cast<int16_t>(s[0] | s[1] << 8);
      const int32_t right = static_cast<int16_t>(s[2] | s[3] << 8);
      dest[static_cast<std::size_t>(i)] = static_cast<uint8_t>(((left + right) / 2 + 32768) / 257);
    }
    benchmark::DoNotOptimize(dest.data());
  }
  SetFrameRate(state, kFrames);
}
BENCHMARK(BM_PlainLoop_Stereo16ToMono8);

void BM_ConvertSampleData_Mono8ToStereo16(benchmark::State& state) {
  std::vector<uint8_t> source(kFrames);
  ConvertSampleData(Stereo16Second().data(), SAMPLE_STEREO16LE, source.data(), SAMPLE_MONO8, kFrames);
  std::vector<uint8_t> dest(kFrames * 4);
  for (auto _ : state) {
    ConvertSampleData(source.data(), SAMPLE_MONO8, dest.data(), SAMPLE_STEREO16LE, kFrames);
    benchmark::DoNotOptimize(dest.data());
  }
  SetFrameRate(state, kFrames);
}
BENCHMARK(BM_ConvertSampleData_Mono8ToStereo16);

void BM_PlainLoop_Mono8ToStereo16(benchmark::State& state) {
  std::vector<uint8_t> source(kFrames);
  ConvertSampleData(Stereo16Second().data(), SAMPLE_STEREO16LE, source.data(), SAMPLE_MONO8, kFrames);
  std::vector<int16_t> dest(kFrames * 2);
  for (auto _ : state) {
    for (int32_t i = 0; i < kFrames; ++i) {
      const auto value = static_cast<int16_t>(257 * source[static_cast<std::size_t>(i)] - 32768);
      dest[static_cast<std::size_t>(i) * 2] = value;
      dest[static_cast<std::size_t>(i) * 2 + 1] = value;
    }
    benchmark::DoNotOptimize(dest.data());
  }
  SetFrameRate(state, kFrames);
}
BENCHMARK(BM_PlainLoop_Mono8ToStereo16);

// ---- Ogg Vorbis: ten seconds of 44100 Hz stereo, made by the build with SoX and oggenc ----

const std::string& OggBytes() {
  static const std::string bytes = [] {
    std::ifstream in(CORVEX_AUDIO_BENCH_OGG, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  return bytes;
}

void BM_ReadAudioSample_Ogg10s(benchmark::State& state) {
  InitRamStreamModule();
  InitOggLoaderModule();
  InitWavLoaderModule();
  std::string bytes = OggBytes();
  int64_t frames = 0;
  for (auto _ : state) {
    const Ref<TAudioSample> sample =
        ReadAudioSample(TRamStream::Create(bytes.data(), static_cast<int32_t>(bytes.size()), true, false));
    if (!sample) {
      state.SkipWithError("the benchmark's Ogg file did not load");
      return;
    }
    frames = sample->Length();
    benchmark::DoNotOptimize(sample->Samples());
  }
  SetFrameRate(state, frames);
}
BENCHMARK(BM_ReadAudioSample_Ogg10s)->Unit(benchmark::kMillisecond);

// vorbisfile on the same bytes in memory, decoding into one buffer sized by the PCM length.
struct MemorySource {
  const std::string* bytes;
  std::size_t pos;
};

void BM_Vorbisfile_Ogg10s(benchmark::State& state) {
  static const ov_callbacks kCallbacks = {
      [](void* buffer, std::size_t size, std::size_t count, void* data) -> std::size_t {
        auto& source = *static_cast<MemorySource*>(data);
        const std::size_t n = std::min(size * count, source.bytes->size() - source.pos);
        std::memcpy(buffer, source.bytes->data() + source.pos, n);
        source.pos += n;
        return n / size;
      },
      [](void* data, ogg_int64_t offset, int whence) -> int {
        auto& source = *static_cast<MemorySource*>(data);
        const auto base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? source.pos : source.bytes->size();
        source.pos =
            std::min(source.bytes->size(), static_cast<std::size_t>(static_cast<ogg_int64_t>(base) + offset));
        return 0;
      },
      [](void*) -> int { return 0; },
      [](void* data) -> long { return static_cast<long>(static_cast<MemorySource*>(data)->pos); }};
  const std::string& bytes = OggBytes();
  int64_t frames = 0;
  for (auto _ : state) {
    MemorySource source{&bytes, 0};
    OggVorbis_File file;
    if (ov_open_callbacks(&source, &file, nullptr, 0, kCallbacks) < 0) {
      state.SkipWithError("vorbisfile did not open the benchmark's Ogg file");
      return;
    }
    frames = ov_pcm_total(&file, 0);
    const long total = static_cast<long>(frames) * 2 * ov_info(&file, -1)->channels;
    std::vector<char> pcm(static_cast<std::size_t>(total));
    long done = 0;
    int section = 0;
    while (done < total) {
      const long n = ov_read(&file, pcm.data() + done, static_cast<int>(total - done), 0, 2, 1, &section);
      if (n <= 0) break;
      done += n;
    }
    ov_clear(&file);
    benchmark::DoNotOptimize(pcm.data());
  }
  SetFrameRate(state, frames);
}
BENCHMARK(BM_Vorbisfile_Ogg10s)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvex
