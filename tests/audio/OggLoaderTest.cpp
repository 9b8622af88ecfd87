// The Ogg Vorbis loader against the decoding oggdec wrote for the same files.
#include <gtest/gtest.h>

#include "AudioTestSupport.h"

namespace corvex {
namespace {

using namespace audio_testing;

class OggLoaderTest : public testing::Test {
 protected:
  void SetUp() override { InitModules(); }
  static Ref<TAudioSample> Load(std::string bytes) {
    return RegisteredLoader<TAudioSampleLoaderOGG>()->LoadFrom(MemoryStream(bytes));
  }
};

TEST_F(OggLoaderTest, DecodesAsOggdecDoes) {
  for (const auto& [name, format, hertz] : std::vector<std::tuple<std::string, int32_t, int32_t>>{
           {"ogg_mono_22050", SAMPLE_MONO16LE, 22050}, {"ogg_stereo_44100", SAMPLE_STEREO16LE, 44100}}) {
    SCOPED_TRACE(name);
    const Ref<TAudioSample> sample = Load(ReadDataFile(name + ".ogg"));
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->Format(), format);
    EXPECT_EQ(sample->Hertz(), hertz);
    EXPECT_TRUE(SameBytes(SampleBytes(sample), ReadDataFile(name + ".raw")));
  }
}

TEST_F(OggLoaderTest, AChainedFileGivesItsFirstBitstream) {
  const Ref<TAudioSample> sample = Load(ReadDataFile("ogg_chained.ogg"));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->Format(), SAMPLE_MONO16LE);
  EXPECT_TRUE(SameBytes(SampleBytes(sample), ReadDataFile("ogg_mono_22050.raw")));
}

TEST_F(OggLoaderTest, RefusesWavMoreThanTwoChannelsAndNothing) {
  EXPECT_FALSE(Load(ReadDataFile("wav_stereo16_44100.wav")));
  EXPECT_FALSE(Load(ReadDataFile("ogg_3ch.ogg")));
  EXPECT_FALSE(Load(""));
}

// A stream that hands out at most `chunk` bytes per read.
class TrickleStream : public TStream {
 public:
  TrickleStream(std::string bytes, int32_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}
  int32_t Pos() override { return pos_; }
  int32_t Size() override { return static_cast<int32_t>(bytes_.size()); }
  int32_t Seek(int32_t position) override {
    if (position < 0 || position > Size()) return -1;
    return pos_ = position;
  }
  int32_t Read(void* buffer, int32_t count) override {
    const int32_t n = std::min({count, chunk_, Size() - pos_});
    if (n <= 0) return 0;
    std::memcpy(buffer, bytes_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  int32_t chunk_;
  int32_t pos_ = 0;
};

TEST_F(OggLoaderTest, ShortReadsAndAnOffsetStart) {
  const Ref<TAudioSample> sample = RegisteredLoader<TAudioSampleLoaderOGG>()->LoadFrom(
      New<TrickleStream>(ReadDataFile("ogg_stereo_44100.ogg"), 7));
  ASSERT_TRUE(sample);
  EXPECT_TRUE(SameBytes(SampleBytes(sample), ReadDataFile("ogg_stereo_44100.raw")));
}

TEST_F(OggLoaderTest, DataThatEndsEarlyKeepsWhatWasDecoded) {
  // A file cut inside its audio pages either is refused or announces a length it cannot
  // fill; what it gives must be Null or a prefix of the full decoding.
  const std::string full = ReadDataFile("ogg_mono_22050.ogg");
  const std::string reference = ReadDataFile("ogg_mono_22050.raw");
  int loaded = 0;
  for (std::size_t cut = full.size() / 2; cut < full.size(); cut += 97) {
    const Ref<TAudioSample> sample = Load(full.substr(0, cut));
    if (!sample) continue;
    ++loaded;
    EXPECT_LE(sample->ByteCount(), static_cast<int32_t>(reference.size()));
    EXPECT_TRUE(
        SameBytes(SampleBytes(sample), reference.substr(0, static_cast<std::size_t>(sample->ByteCount()))))
        << cut;
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace corvex
