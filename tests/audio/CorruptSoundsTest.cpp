// Damaged sounds: every committed file cut short and with bits flipped must give Null or a
// whole sample, through the chain and through each loader alone, without touching memory
// outside its buffers (run under AddressSanitizer) and without leaving frames unwritten.
#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "tests/support/DamagedCopies.h"

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
  const auto results = damaged_copies::DecodeTwice<TAudioSample>(bytes, decode);
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
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return RegisteredLoader<TAudioSampleLoaderFLAC>()->LoadFrom(s); },
      what + " flac");
  ExpectNullOrWhole(
      bytes, [](const Ref<TStream>& s) { return RegisteredLoader<TAudioSampleLoaderMP3>()->LoadFrom(s); },
      what + " mp3");
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
  const std::vector<std::string> copies =
      damaged_copies::BitFlippedCopies(ReadDataFile(GetParam()), GetParam());
  for (std::size_t trial = 0; trial < copies.size(); ++trial) {
    ExpectEveryLoaderSurvives(copies[trial], GetParam() + " flip trial " + std::to_string(trial));
  }
}

INSTANTIATE_TEST_SUITE_P(CommittedSounds, CorruptSoundsTest, testing::ValuesIn(SoundFiles()),
                         damaged_copies::FileTestName);

}  // namespace
}  // namespace corvex
