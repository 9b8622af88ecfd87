// Helpers shared by the audio tests: the committed sounds and the patterns they were made from
// (tests/audio/data/make_test_sounds.py), in-memory streams, and a WAV builder for headers the
// committed files do not cover.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "audio/AudioDriver.h"
#include "audio/AudioSampleLoader.h"
#include "audio/FlacLoader.h"
#include "audio/Mp3Loader.h"
#include "audio/OggLoader.h"
#include "audio/WavCodec.h"
#include "stream/Bank.h"
#include "stream/EndianStream.h"
#include "stream/RamStream.h"
#include "tests/support/TestFiles.h"

namespace corvex::audio_testing {

// The last loader of the chain: it answers Null, and counts the calls and the stream position
// it was shown, so tests see that the chain went on past the loaders that refused.
class ProbeLoader : public TAudioSampleLoader {
 public:
  Ref<TAudioSample> LoadFrom(const Ref<TStream>& stream) override {
    ++calls;
    lastPosition = stream->Pos();
    return Null;
  }
  int calls = 0;
  int32_t lastPosition = -1;
};

// Every module the audio tests touch, initialised once; the probe goes in first, so it is
// asked last (after the WAV, Ogg Vorbis, FLAC and MP3 loaders).
inline ProbeLoader& Probe() {
  static ProbeLoader* probe = [] {
    auto* created = new ProbeLoader();  // the chain holds it
    InitRamStreamModule();
    InitEndianStreamModule();
    InitBankModule();
    InitBankStreamModule();
    InitMp3LoaderModule();
    InitFlacLoaderModule();
    InitOggLoaderModule();
    InitWavLoaderModule();
    InitAudioModule();
    return created;
  }();
  return *probe;
}
inline void InitModules() {
  Probe();
}

// The loader of type T that its module registered.
template <class T>
Ref<T> RegisteredLoader() {
  for (Ref<TAudioSampleLoader> loader = AudioSampleLoaders(); loader; loader = loader->Next()) {
    if (Ref<T> found = Cast<T>(loader)) return found;
  }
  ADD_FAILURE() << "loader not registered";
  return Null;
}

inline std::string DataPath(const std::string& name) {
  return std::string(CORVEX_AUDIO_TEST_DATA) + "/" + name;
}

inline std::string ReadDataFile(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(test_files::ReadFileBytes(DataPath(name), bytes)) << name;
  return bytes;
}

using test_files::MemoryStream;

// A stream whose reads fail with the given exception after `good` bytes.
template <class Failure>
class FailingStream : public TStream {
 public:
  FailingStream(std::string bytes, int32_t good) : bytes_(std::move(bytes)), good_(good) {}
  int32_t Pos() override { return pos_; }
  int32_t Size() override { return static_cast<int32_t>(bytes_.size()); }
  int32_t Seek(int32_t position) override { return pos_ = position; }
  int32_t Read(void* buffer, int32_t count) override {
    if (pos_ >= good_) throw Failure();
    const int32_t n = std::min(count, good_ - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  int32_t good_;
  int32_t pos_ = 0;
};

// The sample's frames as bytes.
inline std::string SampleBytes(const Ref<TAudioSample>& sample) {
  return std::string(reinterpret_cast<const char*>(sample->Samples()),
                     static_cast<std::size_t>(sample->ByteCount()));
}

// Whether two byte strings are equal; on a difference, says where instead of printing both.
inline testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                     << " were expected; the first difference is at byte " << at;
}

// One line of data/expected.txt.
struct ExpectedSound {
  std::string file;
  bool loads = false;
  int32_t frames = 0;
  int32_t hertz = 0;
  int32_t format = 0;
};

inline std::vector<ExpectedSound> ExpectedSounds() {
  std::vector<ExpectedSound> sounds;
  std::istringstream lines(ReadDataFile("expected.txt"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    ExpectedSound sound;
    std::string second;
    words >> sound.file >> second;
    if (sound.file.empty()) continue;
    if (second != "null") {
      sound.loads = true;
      sound.frames = std::stoi(second);
      words >> sound.hertz >> sound.format;
    }
    sounds.push_back(sound);
  }
  return sounds;
}

// ---- the patterns of the committed PCM files ----

inline uint8_t Pattern8(int32_t i, int channel) {
  return static_cast<uint8_t>(channel == 0 ? (i * 37 + 11) % 256 : (i * 53 + 200) % 256);
}
inline int16_t Pattern16(int32_t i, int channel) {
  const int64_t n = i;
  return static_cast<int16_t>(channel == 0 ? (n * 4099 + 12345) % 65536 - 32768
                                           : (n * 8191 + 777) % 65536 - 32768);
}

// The frames a pattern file holds, as the loader must give them (16-bit little-endian).
inline std::string PatternBytes(int32_t format, int32_t frames) {
  std::string bytes;
  const int channels = SampleFormatChannels[format];
  const bool wide = SampleFormatBytes[format] / channels == 2;
  for (int32_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      if (wide) {
        const auto value = static_cast<uint16_t>(Pattern16(i, c));
        bytes += static_cast<char>(value & 0xFF);
        bytes += static_cast<char>(value >> 8);
      } else {
        bytes += static_cast<char>(Pattern8(i, c));
      }
    }
  }
  return bytes;
}

// ---- WAV files made in the test ----

inline void PutU16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
inline void PutU32(std::string& out, uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

// A RIFF WAVE header with a 16-byte PCM format chunk, then a "data" chunk header announcing
// `dataSize` bytes; the caller appends what the data chunk really holds.
inline std::string WavHeader(int32_t channels, int32_t hertz, int32_t bits, uint32_t dataSize,
                             int32_t formatTag = 1) {
  std::string out = "RIFF";
  PutU32(out, 36 + dataSize);
  out += "WAVEfmt ";
  PutU32(out, 16);
  PutU16(out, static_cast<uint32_t>(formatTag));
  PutU16(out, static_cast<uint32_t>(channels));
  PutU32(out, static_cast<uint32_t>(hertz));
  PutU32(out, static_cast<uint32_t>(int64_t{hertz} * channels * bits / 8));
  PutU16(out, static_cast<uint32_t>(channels * bits / 8));
  PutU16(out, static_cast<uint32_t>(bits));
  out += "data";
  PutU32(out, dataSize);
  return out;
}

}  // namespace corvex::audio_testing
