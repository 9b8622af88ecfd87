// The loader chain and the WAV loader: every committed file loads as data/expected.txt says,
// with the frames the generator wrote; refused files leave the chain going on; headers the
// committed files do not cover are made here.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>

#include "AudioTestSupport.h"
#include "audio/SoundDecoder.h"
#include "runtime/Exceptions.h"
#include "stream/Bank.h"

namespace corvex {
namespace {

using namespace audio_testing;

class SampleLoaderTest : public testing::Test {
 protected:
  void SetUp() override { InitModules(); }
};

TEST_F(SampleLoaderTest, EveryCommittedFileLoadsAsExpected) {
  for (const ExpectedSound& expected : ExpectedSounds()) {
    SCOPED_TRACE(expected.file);
    const Ref<TAudioSample> sample = ReadAudioSample(String(DataPath(expected.file).c_str()));
    if (!expected.loads) {
      EXPECT_FALSE(sample);
      continue;
    }
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->Length(), expected.frames);
    EXPECT_EQ(sample->Hertz(), expected.hertz);
    EXPECT_EQ(sample->Format(), expected.format);
    const std::string raw = expected.file.substr(0, expected.file.rfind('.')) + ".raw";
    if (std::ifstream(DataPath(raw)).good()) {
      // Decoded as the format's reference decoder (or SoX, for wide WAVs) decodes it.
      EXPECT_TRUE(SameBytes(SampleBytes(sample), ReadDataFile(raw)));
    } else if (expected.file.rfind("wav_", 0) == 0) {
      EXPECT_TRUE(SameBytes(SampleBytes(sample), PatternBytes(expected.format, expected.frames)));
    }
  }
}

TEST_F(SampleLoaderTest, RefusedFilesGoOnToTheNextLoaderFromTheSamePosition) {
  for (const char* file : {"ogg_3ch.ogg", "README.md"}) {
    SCOPED_TRACE(file);
    std::string bytes = "0123456789" + ReadDataFile(file);
    const Ref<TStream> stream = MemoryStream(bytes);
    stream->Seek(10);
    const int before = Probe().calls;
    EXPECT_FALSE(ReadAudioSample(stream));
    EXPECT_EQ(Probe().calls, before + 1);
    EXPECT_EQ(Probe().lastPosition, 10);
  }
}

TEST_F(SampleLoaderTest, LoadersAreAskedWavOggFlacMp3) {
  const Ref<TAudioSampleLoader> wav = AudioSampleLoaders();
  ASSERT_TRUE(wav);
  EXPECT_TRUE(IsA<TAudioSampleLoaderWAV>(wav));
  EXPECT_TRUE(IsA<TAudioSampleLoaderOGG>(wav->Next()));
  EXPECT_TRUE(IsA<TAudioSampleLoaderFLAC>(wav->Next()->Next()));
  EXPECT_TRUE(IsA<TAudioSampleLoaderMP3>(wav->Next()->Next()->Next()));
}

TEST_F(SampleLoaderTest, EachCompressedLoaderTakesOnlyItsOwnFormat) {
  for (const ExpectedSound& expected : ExpectedSounds()) {
    SCOPED_TRACE(expected.file);
    std::string bytes = ReadDataFile(expected.file);
    const bool flac = expected.file.rfind("flac_", 0) == 0;
    const bool mp3 = expected.file.rfind("mp3_", 0) == 0;
    EXPECT_EQ(bool(RegisteredLoader<TAudioSampleLoaderFLAC>()->LoadFrom(MemoryStream(bytes))), flac);
    EXPECT_EQ(bool(RegisteredLoader<TAudioSampleLoaderMP3>()->LoadFrom(MemoryStream(bytes))), mp3);
  }
  // Starting elsewhere than at 0, and from a stream whose reads come in small pieces.
  for (const char* file : {"flac_stereo_44100", "mp3_stereo_44100"}) {
    SCOPED_TRACE(file);
    std::string bytes = "0123456789" + ReadDataFile(std::string(file) + (file[0] == 'f' ? ".flac" : ".mp3"));
    const Ref<TStream> stream = MemoryStream(bytes);
    stream->Seek(10);
    const Ref<TAudioSample> sample = ReadAudioSample(stream);
    ASSERT_TRUE(sample);
    EXPECT_TRUE(SameBytes(SampleBytes(sample), ReadDataFile(std::string(file) + ".raw")));
  }
}

// Music reads through the decoders a piece at a time: they give the frames the loaders give
// (in 16 bits), and from any frame they seek to.
TEST_F(SampleLoaderTest, StreamingDecodersGiveTheLoadedFramesInPiecesAndAfterSeeking) {
  for (const ExpectedSound& expected : ExpectedSounds()) {
    if (!expected.loads || expected.file.rfind("ogg_chained", 0) == 0) continue;
    SCOPED_TRACE(expected.file);
    std::string bytes = ReadDataFile(expected.file);
    const Ref<TAudioSample> loaded = ReadAudioSample(MemoryStream(bytes));
    ASSERT_TRUE(loaded);
    const int32_t channels = SampleFormatChannels[loaded->Format()];
    const std::string whole =
        SampleBytes(loaded->Convert(channels == 1 ? SAMPLE_MONO16LE : SAMPLE_STEREO16LE));
    const Ref<TStream> stream = MemoryStream(bytes);
    std::unique_ptr<SoundDecoder> decoder;
    for (auto open : {&OpenWavDecoder, &OpenOggDecoder, &OpenFlacDecoder, &OpenMp3Decoder}) {
      stream->Seek(0);
      if ((decoder = open(stream))) break;
    }
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->Frames(), loaded->Length());
    const auto readFrom = [&](int64_t frame) {
      std::string out;
      std::vector<int16_t> piece(97 * 2);
      for (int32_t n; (n = decoder->Read(piece.data(), 97)) > 0;)
        out.append(reinterpret_cast<const char*>(piece.data()), static_cast<size_t>(n) * channels * 2);
      return SameBytes(out, whole.substr(static_cast<size_t>(frame) * channels * 2));
    };
    EXPECT_TRUE(readFrom(0));
    const int64_t middle = loaded->Length() / 2;
    ASSERT_TRUE(decoder->Seek(middle));
    EXPECT_TRUE(readFrom(middle));
  }
}

TEST_F(SampleLoaderTest, WideWavValuesRoundToSixteenBitsAndHoldInRange) {
  // 24-bit: 0x7FFFFF, 0x000080 (half a step: rounds up), 0x800000; 32-bit float: 1.5, -2, 0.5/32768.
  std::string wide = WavHeader(1, 8000, 24, 9) + std::string("\xFF\xFF\x7F\x80\x00\x00\x00\x00\x80", 9);
  const Ref<TAudioSample> fromInt = ReadAudioSample(MemoryStream(wide));
  ASSERT_TRUE(fromInt);
  const auto* values = reinterpret_cast<const int16_t*>(fromInt->Samples());
  EXPECT_EQ(fromInt->Length(), 3);
  EXPECT_EQ(values[0], 32767);
  EXPECT_EQ(values[1], 1);
  EXPECT_EQ(values[2], -32768);
  std::string floats = WavHeader(1, 8000, 32, 12, 3);
  for (const float f : {1.5f, -2.0f, 0.75f / 32768}) floats.append(reinterpret_cast<const char*>(&f), 4);
  const Ref<TAudioSample> fromFloat = ReadAudioSample(MemoryStream(floats));
  ASSERT_TRUE(fromFloat);
  values = reinterpret_cast<const int16_t*>(fromFloat->Samples());
  EXPECT_EQ(values[0], 32767);
  EXPECT_EQ(values[1], -32768);
  EXPECT_EQ(values[2], 1);
}

// A stream that can read but has no position.
class UnpositionedStream : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
};

struct SomeOtherFailure : Object {};

TEST_F(SampleLoaderTest, StreamsThatCannotSeekOrFail) {
  try {
    ReadAudioSample(New<UnpositionedStream>());
    ADD_FAILURE() << "no exception";
  } catch (const TRuntimeException& error) {
    EXPECT_EQ(error.Message(), String("Stream is not seekable"));
  }
  EXPECT_FALSE(ReadAudioSample("no/such/file.wav"));

  // A stream failure inside the loaders counts as Null; other failures go on to the caller.
  const std::string wav = ReadDataFile("wav_mono16_22050.wav");
  EXPECT_FALSE(ReadAudioSample(New<FailingStream<TStreamReadException>>(wav, 50)));
  EXPECT_THROW(ReadAudioSample(New<FailingStream<SomeOtherFailure>>(wav, 50)), SomeOtherFailure);
}

TEST_F(SampleLoaderTest, ADataChunkLongerThanTheStreamHoldsWhatTheStreamDelivers) {
  // 4-byte frames: ten announced, seven and a half present. Whole frames only.
  std::string bytes = WavHeader(2, 44100, 16, 40) + PatternBytes(SAMPLE_STEREO16LE, 8).substr(0, 30);
  Ref<TAudioSample> sample = ReadAudioSample(MemoryStream(bytes));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->Length(), 7);
  EXPECT_TRUE(SameBytes(SampleBytes(sample), PatternBytes(SAMPLE_STEREO16LE, 7)));

  // An announced size near 4 GiB allocates only what is there.
  bytes = WavHeader(1, 8000, 8, 0xFFFFFFF0u) + "abc";
  sample = ReadAudioSample(MemoryStream(bytes));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->Length(), 3);
  EXPECT_LE(sample->Capacity(), 3);
  EXPECT_TRUE(SameBytes(SampleBytes(sample), "abc"));
}

TEST_F(SampleLoaderTest, ADataSizeThatIsNoMultipleOfTheFrameSizeWritesOnlyWholeFrames) {
  // 11 bytes of 4-byte frames: two frames; the sample's memory is exactly 8 bytes (checked
  // under AddressSanitizer) and the surplus is not read into it.
  std::string bytes = WavHeader(2, 22050, 16, 11) + PatternBytes(SAMPLE_STEREO16LE, 3).substr(0, 11);
  const Ref<TAudioSample> sample = ReadAudioSample(MemoryStream(bytes));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->Length(), 2);
  EXPECT_EQ(sample->Capacity(), 8);
  EXPECT_TRUE(SameBytes(SampleBytes(sample), PatternBytes(SAMPLE_STEREO16LE, 2)));
}

// A stream over bytes that cannot say how long it is (Size 0), as a network stream.
class UnsizedStream : public TStream {
 public:
  explicit UnsizedStream(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Eof() override { return pos_ == static_cast<int32_t>(bytes_.size()); }
  int32_t Pos() override { return pos_; }
  int32_t Seek(int32_t position) override { return pos_ = position; }
  int32_t Read(void* buffer, int32_t count) override {
    const int32_t n = std::min<int32_t>({count, static_cast<int32_t>(bytes_.size()) - pos_, 1000});
    std::memcpy(buffer, bytes_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  int32_t pos_ = 0;
};

TEST_F(SampleLoaderTest, StreamsWithoutASizeAreReadInPieces) {
  // More than the first megabyte the loader sets aside, so the sample has to grow.
  const std::string frames = PatternBytes(SAMPLE_MONO16LE, 600000);
  Ref<TAudioSample> sample = ReadAudioSample(New<UnsizedStream>(WavHeader(1, 8000, 16, 1200000) + frames));
  ASSERT_TRUE(sample);
  EXPECT_TRUE(SameBytes(SampleBytes(sample), frames));

  sample = ReadAudioSample(New<UnsizedStream>(WavHeader(1, 8000, 16, 0x7FFFFFF0u) + frames.substr(0, 5001)));
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->Length(), 2500);
}

TEST_F(SampleLoaderTest, HeadersTheLoaderRefuses) {
  const std::string frames(8, '\x10');
  for (const auto& [bytes, why] : std::vector<std::pair<std::string, const char*>>{
           {WavHeader(1, 8000, 16, 8, 3) + frames, "format tag 3"},
           {WavHeader(3, 8000, 16, 8) + frames, "three channels"},
           {WavHeader(1, 8000, 12, 8) + frames, "12 bits"},
           {WavHeader(1, 0, 16, 8) + frames, "rate 0"},
           {"RIFX" + WavHeader(1, 8000, 16, 8).substr(4) + frames, "no RIFF"},
           {WavHeader(1, 8000, 16, 8).substr(0, 36) + "junk" + std::string(4, '\0'), "no data chunk"},
       }) {
    std::string copy = bytes;
    EXPECT_FALSE(RegisteredLoader<TAudioSampleLoaderWAV>()->LoadFrom(MemoryStream(copy))) << why;
  }
}

TEST_F(SampleLoaderTest, EncodeWavWritesWhatTheLoaderReadsBack) {
  for (const int32_t format : {SAMPLE_MONO8, SAMPLE_MONO16LE, SAMPLE_STEREO8, SAMPLE_STEREO16LE}) {
    SCOPED_TRACE(SampleFormatName(format));
    std::string frames = PatternBytes(format, 7);
    const Ref<TAudioSample> sample = WrapAudioSample(frames.data(), 7, 32000, format);
    const Ref<TBankStream> out = NewBankStream(Null);
    ASSERT_EQ(EncodeWAV(sample, out), 1);
    out->Seek(0);
    const Ref<TAudioSample> back = ReadAudioSample(out);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Format(), format);
    EXPECT_EQ(back->Hertz(), 32000);
    EXPECT_TRUE(SameBytes(SampleBytes(back), frames));
    EXPECT_EQ(out->Size() % 2, 0) << "odd data chunks get their pad byte";
  }
  std::string frames(4, '\0');
  EXPECT_EQ(EncodeWAV(WrapAudioSample(frames.data(), 2, 8000, SAMPLE_MONO16BE), NewBankStream(Null)), 0);
}

TEST_F(SampleLoaderTest, RatesWhoseByteRateOverflowsTheHeaderAreNotWritten) {
  // 44 bytes, rate 2^30: the loader takes any positive rate; 4 bytes a frame make a byte rate of
  // 2^32, which the writer's 32-bit field cannot hold.
  std::string file = WavHeader(2, 1 << 30, 16, 0);
  ASSERT_EQ(file.size(), 44u);
  const Ref<TAudioSample> huge = ReadAudioSample(MemoryStream(file));
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->Hertz(), 1 << 30);
  const Ref<TBankStream> refused = NewBankStream(Null);
  EXPECT_EQ(EncodeWAV(huge, refused), 0);
  EXPECT_EQ(refused->Size(), 0);
  // One byte a frame fits: the byte rate is written exactly.
  const Ref<TAudioSample> mono = huge->Convert(SAMPLE_MONO8);
  const Ref<TBankStream> out = NewBankStream(Null);
  ASSERT_EQ(EncodeWAV(mono, out), 1);
  out->Seek(28);
  EXPECT_EQ(LittleEndianView(out)->ReadInt(), 1 << 30);
  std::string negative(2, '\0');
  EXPECT_EQ(EncodeWAV(WrapAudioSample(negative.data(), 1, -5, SAMPLE_MONO16LE), NewBankStream(Null)), 0);
}

}  // namespace
}  // namespace corvex
