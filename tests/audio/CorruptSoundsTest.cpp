// Damaged sounds: every committed file cut short and with bits flipped must give Null or a
// whole sample, through the chain and through each loader alone, without touching memory
// outside its buffers (run under AddressSanitizer) and without leaving frames unwritten.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "AudioTestSupport.h"

namespace corvex {
namespace {

using namespace audio_testing;

std::vector<std::string> SoundFiles() {
  std::vector<std::string> names;
  for (const ExpectedSound& sound : ExpectedSounds()) names.push_back(sound.file);
  return names;
}

uint64_t FrameSum(const Ref<TAudioSample>& sample) {
  uint64_t sum = 0;
  for (int32_t i = 0; i < sample->ByteCount(); ++i) sum = sum * 31 + sample->Samples()[i];
  return sum;
}

// Decodes the bytes twice; both results must agree (unwritten frames would differ from one
// allocation to the next) and be Null or a sane sample no larger than the input allows.
template <class Decode>
void ExpectNullOrWhole(const std::string& bytes, Decode decode, const std::string& what) {
  Ref<TAudioSample> results[2];
  for (Ref<TAudioSample>& result : results) {
    std::string copy = bytes;
    try {
      result = decode(MemoryStream(copy));
    } catch (const TStreamException&) {
      result = Null;  // a loader called alone may report a stream that runs dry
    }
  }
  ASSERT_EQ(results[0].IsNull(), results[1].IsNull()) << what;
  if (!results[0]) return;
  for (const Ref<TAudioSample>& result : results) {
    ASSERT_GE(result->Length(), 0) << what;
    ASSERT_GE(result->Format(), SAMPLE_MONO8) << what;
    ASSERT_LE(result->Format(), SAMPLE_STEREO16BE) << what;
    ASSERT_GT(result->Hertz(), 0) << what;
  }
  EXPECT_EQ(results[0]->Length(), results[1]->Length()) << what;
  EXPECT_EQ(FrameSum(results[0]), FrameSum(results[1])) << what;
}

void ExpectEveryLoaderSurvives(const std::string& bytes, const std::string& what) {
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return ReadAudioSample(s); }, what + " chain");
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return RegisteredLoader<TAudioSampleLoaderWAV>()->LoadFrom(s); },
      what + " wav");
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return RegisteredLoader<TAudioSampleLoaderOGG>()->LoadFrom(s); },
      what + " ogg");
}

class CorruptSoundsTest : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { InitModules(); }
};

TEST_P(CorruptSoundsTest, TruncatedCopiesGiveNullOrAWholeSample) {
  const std::string bytes = ReadDataFile(GetParam());
  for (std::size_t length = 0; length < bytes.size(); length += length < 80 ? 1 : 61) {
    ExpectEveryLoaderSurvives(bytes.substr(0, length), GetParam() + " cut at " + std::to_string(length));
  }
}

TEST_P(CorruptSoundsTest, BitFlippedCopiesGiveNullOrAWholeSample) {
  const std::string bytes = ReadDataFile(GetParam());
  std::mt19937 random(static_cast<uint32_t>(std::hash<std::string>()(GetParam())));
  for (int trial = 0; trial < 60; ++trial) {
    std::string damaged = bytes;
    // Headers matter most: half the flips land in the first 64 bytes.
    const std::size_t span = trial % 2 == 0 ? std::min<std::size_t>(64, damaged.size()) : damaged.size();
    const int flips = 1 + trial % 3;
    for (int i = 0; i < flips; ++i) damaged[random() % span] ^= static_cast<char>(1 << (random() % 8));
    ExpectEveryLoaderSurvives(damaged, GetParam() + " flip trial " + std::to_string(trial));
  }
}

INSTANTIATE_TEST_SUITE_P(CommittedSounds, CorruptSoundsTest, testing::ValuesIn(SoundFiles()),
                         [](const testing::TestParamInfo<std::string>& file) {
                           std::string name = file.param;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

}  // namespace
}  // namespace corvex
