// Stream throughput against plain stdio on the same data, in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/DataStream.h"
#include "data/List.h"
#include "startup/FrameworkModules.h"
#include "stream/Bank.h"
#include "stream/RamStream.h"
#include "stream/TextStream.h"
#include "stream/Url.h"

namespace corvex {
namespace {

// A scratch file of `bytes` bytes (raw, or short text lines), made once and then reused.
std::string ScratchFile(std::size_t bytes, bool lines) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("corvex-bench-" + std::to_string(bytes) + (lines ? "-lines" : "-raw")))
                               .string();
  if (!std::filesystem::exists(path) || std::filesystem::file_size(path) != bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    for (std::size_t i = 0; i < bytes; ++i) {
      const int byte =
          lines ? (i % 24 == 23 ? '\n' : 'a' + static_cast<int>(i % 23)) : static_cast<int>(i * 131);
      std::fputc(byte, file);
    }
    std::fclose(file);
  }
  return path;
}

constexpr std::size_t kBigFile = 16u << 20;
constexpr std::size_t kLineData = 4u << 20;

// The plain C way: ask the file for its size, allocate once and fread until the end.
void BM_FreadLoopBaseline(benchmark::State& state) {
  const std::string path = ScratchFile(kBigFile, false);
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::fseek(file, 0, SEEK_END);
    const auto size = static_cast<std::size_t>(std::ftell(file));
    std::fseek(file, 0, SEEK_SET);
    auto* bytes = static_cast<unsigned char*>(std::malloc(size));
    std::size_t filled = 0;
    while (filled < size) {
      const std::size_t n = std::fread(bytes + filled, 1, size - filled, file);
      if (n == 0) break;
      filled += n;
    }
    std::fclose(file);
    benchmark::DoNotOptimize(bytes);
    std::free(bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigFile));
}
BENCHMARK(BM_FreadLoopBaseline)->Unit(benchmark::kMillisecond);

void BM_LoadAllBytes(benchmark::State& state) {
  InitFrameworkModules();
  const String path(ScratchFile(kBigFile, false).c_str());
  for (auto _ : state) {
    ByteArray bytes = LoadAllBytes(path);
    benchmark::DoNotOptimize(bytes.Data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigFile));
}
BENCHMARK(BM_LoadAllBytes)->Unit(benchmark::kMillisecond);

void BM_ReadLineRamStream(benchmark::State& state) {
  InitFrameworkModules();
  std::string text;
  for (std::size_t i = 0; i < kLineData; ++i) text += (i % 24 == 23) ? '\n' : 'a';
  for (auto _ : state) {
    auto stream = NewMemoryStream(text.data(), static_cast<int32_t>(text.size()), true, false);
    int32_t lines = 0;
    while (!stream->Eof()) lines += stream->ReadLine().Length() > 0;
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLineData));
}
BENCHMARK(BM_ReadLineRamStream)->Unit(benchmark::kMillisecond);

void BM_FgetsBaseline(benchmark::State& state) {
  const std::string path = ScratchFile(kLineData, true);
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    char line[1024];
    int lines = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) ++lines;
    std::fclose(file);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLineData));
}
BENCHMARK(BM_FgetsBaseline)->Unit(benchmark::kMillisecond);

void BM_ReadLineFileStream(benchmark::State& state) {
  InitFrameworkModules();
  const String path(ScratchFile(kLineData, true).c_str());
  for (auto _ : state) {
    auto stream = OpenReadStream(path);
    int32_t lines = 0;
    while (!stream->Eof()) lines += stream->ReadLine().Length() > 0;
    stream->Close();
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLineData));
}
BENCHMARK(BM_ReadLineFileStream)->Unit(benchmark::kMillisecond);

// Text streams over a file and a memory stream: whole lines, and one character at a time until
// the end. The text is ASCII, so Latin-1 and UTF-8 read the same characters.
template <bool kLines, int32_t kEncoding = ENCODING_LATIN1>
void TextReads(benchmark::State& state, bool file) {
  InitFrameworkModules();
  const std::string path = ScratchFile(kLineData, true);
  std::string text;
  for (std::size_t i = 0; i < kLineData; ++i) text += (i % 24 == 23) ? '\n' : static_cast<char>('a' + i % 23);
  for (auto _ : state) {
    const Ref<TStream> source =
        file ? OpenReadStream(String(path.c_str()))
             : Ref<TStream>(NewMemoryStream(text.data(), static_cast<int32_t>(text.size()), true, false));
    const Ref<TTextStream> stream = TTextStream::Create(source, kEncoding);
    int64_t seen = 0;
    while (!stream->Eof()) seen += kLines ? stream->ReadLine().Length() : stream->ReadChar();
    source->Close();
    benchmark::DoNotOptimize(seen);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLineData));
}
void BM_TextReadLineFile(benchmark::State& state) {
  TextReads<true>(state, true);
}
BENCHMARK(BM_TextReadLineFile)->Unit(benchmark::kMillisecond);
void BM_TextReadCharFile(benchmark::State& state) {
  TextReads<false>(state, true);
}
BENCHMARK(BM_TextReadCharFile)->Unit(benchmark::kMillisecond);
void BM_TextReadLineMemory(benchmark::State& state) {
  TextReads<true>(state, false);
}
BENCHMARK(BM_TextReadLineMemory)->Unit(benchmark::kMillisecond);
void BM_TextReadCharMemory(benchmark::State& state) {
  TextReads<false>(state, false);
}
BENCHMARK(BM_TextReadCharMemory)->Unit(benchmark::kMillisecond);
void BM_Utf8ReadLineFile(benchmark::State& state) {
  TextReads<true, ENCODING_UTF8>(state, true);
}
BENCHMARK(BM_Utf8ReadLineFile)->Unit(benchmark::kMillisecond);
void BM_Utf8ReadCharMemory(benchmark::State& state) {
  TextReads<false, ENCODING_UTF8>(state, false);
}
BENCHMARK(BM_Utf8ReadCharMemory)->Unit(benchmark::kMillisecond);

// Writes a list of 100,000 eight-byte banks to a bank stream and reads it back.
void BM_DataStreamBankList(benchmark::State& state) {
  InitFrameworkModules();
  constexpr int kBanks = 100000;
  auto list = New<TList>();
  for (int i = 0; i < kBanks; ++i) {
    auto bank = NewBank(8);
    bank->PokeLong(0, i);
    list->AddLast(bank);
  }
  for (auto _ : state) {
    auto storage = NewBank(0);
    auto writer = TDataStream::Create(NewBankStream(storage));
    writer->WriteObject(list);
    auto reader = TDataStream::Create(NewBankStream(storage));
    auto back = Cast<TList>(reader->ReadObject());
    benchmark::DoNotOptimize(back.Get());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBanks));
}
BENCHMARK(BM_DataStreamBankList)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvex
