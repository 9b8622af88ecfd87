// Sample conversion for every pair of formats against a plain loop doing the same arithmetic;
// Ogg Vorbis, FLAC and MP3 loading through ReadAudioSample against vorbisfile, libFLAC and
// libmpg123 called directly on the same bytes; a five-minute Ogg file opened as music until
// its first sound against decoding it whole. All in the same run.
#include <benchmark/benchmark.h>

#include <FLAC/stream_decoder.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/AudioDriver.h"
#include "audio/AudioSampleLoader.h"
#include "audio/Music.h"
#include "audio/SonavoxDriver.h"
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

// ---- ConvertSampleData for every pair of formats against a plain loop for that pair ----

// Random bytes for one second of frames of the widest format.
const std::vector<uint8_t>& SourceSecond() {
  static const std::vector<uint8_t> bytes = Stereo16Second();
  return bytes;
}

// The plain loop: each frame read as two 16-bit values and written out, spelt out per format.
int32_t PlainRead(const uint8_t* s, int32_t format, int32_t& right) {
  int32_t left = 0;
  switch (format) {
    case SAMPLE_MONO8:
      left = right = (s[0] << 8 | s[0]) - 32768;
      break;
    case SAMPLE_MONO16LE:
      left = right = static_cast<int16_t>(s[0] | s[1] << 8);
      break;
    case SAMPLE_MONO16BE:
      left = right = static_cast<int16_t>(s[0] << 8 | s[1]);
      break;
    case SAMPLE_STEREO8:
      left = (s[0] << 8 | s[0]) - 32768, right = (s[1] << 8 | s[1]) - 32768;
      break;
    case SAMPLE_STEREO16LE:
      left = static_cast<int16_t>(s[0] | s[1] << 8), right = static_cast<int16_t>(s[2] | s[3] << 8);
      break;
    default:
      left = static_cast<int16_t>(s[0] << 8 | s[1]), right = static_cast<int16_t>(s[2] << 8 | s[3]);
  }
  return left;
}

void PlainWrite(uint8_t* d, int32_t format, int32_t left, int32_t right) {
  const int32_t mid = (left + right) / 2;
  switch (format) {
    case SAMPLE_MONO8:
      d[0] = static_cast<uint8_t>((mid + 32768) / 257);
      break;
    case SAMPLE_MONO16LE:
      d[0] = static_cast<uint8_t>(mid), d[1] = static_cast<uint8_t>(mid >> 8);
      break;
    case SAMPLE_MONO16BE:
      d[0] = static_cast<uint8_t>(mid >> 8), d[1] = static_cast<uint8_t>(mid);
      break;
    case SAMPLE_STEREO8:
      d[0] = static_cast<uint8_t>((left + 32768) / 257), d[1] = static_cast<uint8_t>((right + 32768) / 257);
      break;
    case SAMPLE_STEREO16LE:
      d[0] = static_cast<uint8_t>(left), d[1] = static_cast<uint8_t>(left >> 8);
      d[2] = static_cast<uint8_t>(right), d[3] = static_cast<uint8_t>(right >> 8);
      break;
    default:
      d[0] = static_cast<uint8_t>(left >> 8), d[1] = static_cast<uint8_t>(left);
      d[2] = static_cast<uint8_t>(right >> 8), d[3] = static_cast<uint8_t>(right);
  }
}

// The formats are template arguments, so the compiler sees each pair's loop on its own.
template <int32_t From, int32_t To>
void PlainConvert(const uint8_t* s, uint8_t* d, int32_t count) {
  for (int32_t i = 0; i < count; ++i, s += SampleFormatBytes[From], d += SampleFormatBytes[To]) {
    int32_t right = 0;
    const int32_t left = PlainRead(s, From, right);
    PlainWrite(d, To, left, right);
  }
}

template <int32_t From, int32_t To>
void BM_ConvertSampleData(benchmark::State& state) {
  const std::vector<uint8_t>& source = SourceSecond();
  std::vector<uint8_t> dest(kFrames * 4);
  for (auto _ : state) {
    ConvertSampleData(source.data(), From, dest.data(), To, kFrames);
    benchmark::DoNotOptimize(dest.data());
  }
  SetFrameRate(state, kFrames);
}

template <int32_t From, int32_t To>
void BM_PlainLoop(benchmark::State& state) {
  const std::vector<uint8_t>& source = SourceSecond();
  std::vector<uint8_t> dest(kFrames * 4);
  for (auto _ : state) {
    PlainConvert<From, To>(source.data(), dest.data(), kFrames);
    benchmark::DoNotOptimize(dest.data());
  }
  SetFrameRate(state, kFrames);
}

template <int32_t From, int32_t To>
void RegisterPair() {
  if constexpr (From != To) {
    const std::string pair = std::string(SampleFormatName(From) + 7) + "/" + (SampleFormatName(To) + 7);
    benchmark::RegisterBenchmark(("BM_ConvertSampleData/" + pair).c_str(), BM_ConvertSampleData<From, To>);
    benchmark::RegisterBenchmark(("BM_PlainLoop/" + pair).c_str(), BM_PlainLoop<From, To>);
  }
}

template <int32_t From>
void RegisterPairsFrom() {
  RegisterPair<From, 1>();
  RegisterPair<From, 2>();
  RegisterPair<From, 3>();
  RegisterPair<From, 4>();
  RegisterPair<From, 5>();
  RegisterPair<From, 6>();
}

const bool kPairsRegistered = [] {
  RegisterPairsFrom<1>();
  RegisterPairsFrom<2>();
  RegisterPairsFrom<3>();
  RegisterPairsFrom<4>();
  RegisterPairsFrom<5>();
  RegisterPairsFrom<6>();
  return true;
}();

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

// ---- FLAC and MP3: the same ten seconds, made by the build with flac and lame ----

std::string FileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Ref<TStream> RamStreamOver(std::string& bytes) {
  return TRamStream::Create(bytes.data(), static_cast<int32_t>(bytes.size()), true, false);
}

void InitLoaders() {
  InitRamStreamModule();
  InitMp3LoaderModule();
  InitFlacLoaderModule();
  InitOggLoaderModule();
  InitWavLoaderModule();
}

void LoadWhole(benchmark::State& state, std::string bytes) {
  InitLoaders();
  int64_t frames = 0;
  for (auto _ : state) {
    const Ref<TAudioSample> sample = ReadAudioSample(RamStreamOver(bytes));
    if (!sample) {
      state.SkipWithError("the benchmark's file did not load");
      return;
    }
    frames = sample->Length();
    benchmark::DoNotOptimize(sample->Samples());
  }
  SetFrameRate(state, frames);
}

void BM_ReadAudioSample_Flac10s(benchmark::State& state) {
  LoadWhole(state, FileBytes(CORVEX_AUDIO_BENCH_FLAC));
}
BENCHMARK(BM_ReadAudioSample_Flac10s)->Unit(benchmark::kMillisecond);

void BM_ReadAudioSample_Mp3_10s(benchmark::State& state) {
  LoadWhole(state, FileBytes(CORVEX_AUDIO_BENCH_MP3));
}
BENCHMARK(BM_ReadAudioSample_Mp3_10s)->Unit(benchmark::kMillisecond);

// libFLAC on the same bytes in memory, writing 16-bit interleaved frames into one vector.
struct FlacMemory {
  const std::string* bytes;
  std::size_t pos;
  std::vector<int16_t> pcm;
};

void BM_LibFLAC_Flac10s(benchmark::State& state) {
  const std::string bytes = FileBytes(CORVEX_AUDIO_BENCH_FLAC);
  int64_t frames = 0;
  for (auto _ : state) {
    FlacMemory memory{&bytes, 0, {}};
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_init_stream(
        decoder,
        [](const FLAC__StreamDecoder*, FLAC__byte buffer[], std::size_t* n, void* data) {
          auto& m = *static_cast<FlacMemory*>(data);
          *n = std::min(*n, m.bytes->size() - m.pos);
          std::memcpy(buffer, m.bytes->data() + m.pos, *n);
          m.pos += *n;
          return *n > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE
                        : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        },
        nullptr, nullptr, nullptr, nullptr,
        [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const buffer[],
           void* data) {
          auto& m = *static_cast<FlacMemory*>(data);
          const unsigned channels = frame->header.channels;
          for (unsigned i = 0; i < frame->header.blocksize; ++i)
            for (unsigned c = 0; c < channels; ++c) m.pcm.push_back(static_cast<int16_t>(buffer[c][i]));
          return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        },
        nullptr, [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}, &memory);
    FLAC__stream_decoder_process_until_end_of_stream(decoder);
    FLAC__stream_decoder_delete(decoder);
    frames = static_cast<int64_t>(memory.pcm.size() / 2);
    benchmark::DoNotOptimize(memory.pcm.data());
  }
  SetFrameRate(state, frames);
}
BENCHMARK(BM_LibFLAC_Flac10s)->Unit(benchmark::kMillisecond);

// libmpg123 on the same bytes in memory, decoding into one growing vector.
struct Mp3Memory {
  const std::string* bytes;
  off_t pos;
};

void BM_Mpg123_Mp3_10s(benchmark::State& state) {
  const std::string bytes = FileBytes(CORVEX_AUDIO_BENCH_MP3);
  int64_t frames = 0;
  for (auto _ : state) {
    Mp3Memory memory{&bytes, 0};
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_replace_reader_handle(
        handle,
        [](void* data, void* buffer, std::size_t n) -> mpg123_ssize_t {
          auto& m = *static_cast<Mp3Memory*>(data);
          n = std::min<std::size_t>(n, m.bytes->size() - static_cast<std::size_t>(m.pos));
          std::memcpy(buffer, m.bytes->data() + m.pos, n);
          m.pos += static_cast<off_t>(n);
          return static_cast<mpg123_ssize_t>(n);
        },
        [](void* data, off_t offset, int whence) -> off_t {
          auto& m = *static_cast<Mp3Memory*>(data);
          const off_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? m.pos
                                                  : static_cast<off_t>(m.bytes->size());
          return m.pos = base + offset;
        },
        nullptr);
    mpg123_open_handle(handle, &memory);
    std::vector<unsigned char> pcm(1 << 20);
    std::size_t done = 0;
    for (;;) {
      if (pcm.size() - done < 65536) pcm.resize(pcm.size() * 2);
      std::size_t n = 0;
      const int status = mpg123_read(handle, pcm.data() + done, pcm.size() - done, &n);
      done += n;
      if (status != MPG123_OK && status != MPG123_NEW_FORMAT) break;
    }
    mpg123_close(handle);
    mpg123_delete(handle);
    frames = static_cast<int64_t>(done / 4);
    benchmark::DoNotOptimize(pcm.data());
  }
  SetFrameRate(state, frames);
}
BENCHMARK(BM_Mpg123_Mp3_10s)->Unit(benchmark::kMillisecond);

// ---- Music: a five-minute Ogg Vorbis file opened as music until its voice is queued (the
// first sound), against the same file decoded whole ----

std::string& FiveMinutes() {
  static std::string bytes = FileBytes(CORVEX_AUDIO_BENCH_OGG_5MIN);
  return bytes;
}

void BM_OpenMusicToFirstSound_Ogg5min(benchmark::State& state) {
  InitLoaders();
  InitSonavoxAudioModule();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (SelectAudioDriver("Sonavox") != 1) {
    state.SkipWithError("the mixer did not start on SDL's dummy driver");
    return;
  }
  for (auto _ : state) {
    const Ref<TMusic> music = OpenMusic(RamStreamOver(FiveMinutes()));
    if (PlayMusic(music, 0) != 1) {
      state.SkipWithError("the music did not play");
      break;
    }
    state.PauseTiming();
    StopMusic(music);
    state.ResumeTiming();
  }
  // What music holds decoded: the ring and its mirrored window, in stereo.
  state.counters["decoded_bytes"] = (65536 + 8192) * 4;
  SelectAudioDriver("Null");
}
BENCHMARK(BM_OpenMusicToFirstSound_Ogg5min)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadAudioSample_Ogg5min(benchmark::State& state) {
  LoadWhole(state, FiveMinutes());
}
BENCHMARK(BM_ReadAudioSample_Ogg5min)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace corvex
