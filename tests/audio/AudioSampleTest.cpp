// Samples and format conversion. The conversion oracle works on channel values, derived from
// the format tables (an 8-bit value c stands for 257 × c - 32768; packing averages the channels
// with truncation toward zero and maps v to (v + 32768) / 257), not on the byte shuffles of the
// code under test.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "AudioTestSupport.h"
#include "runtime/Exceptions.h"

namespace corvex {
namespace {

using namespace audio_testing;

struct Frame {
  int32_t left;
  int32_t right;
};

// The channel values of the frame at `bytes` in `format`.
Frame Decode(const uint8_t* bytes, int32_t format) {
  auto from8 = [](uint8_t c) { return 257 * c - 32768; };
  auto le = [](const uint8_t* b) { return static_cast<int32_t>(static_cast<int16_t>(b[0] | b[1] << 8)); };
  auto be = [](const uint8_t* b) { return static_cast<int32_t>(static_cast<int16_t>(b[0] << 8 | b[1])); };
  switch (format) {
    case SAMPLE_MONO8:
      return {from8(bytes[0]), from8(bytes[0])};
    case SAMPLE_MONO16LE:
      return {le(bytes), le(bytes)};
    case SAMPLE_MONO16BE:
      return {be(bytes), be(bytes)};
    case SAMPLE_STEREO8:
      return {from8(bytes[0]), from8(bytes[1])};
    case SAMPLE_STEREO16LE:
      return {le(bytes), le(bytes + 2)};
    default:
      return {be(bytes), be(bytes + 2)};
  }
}

// The bytes of a frame of these channel values in `format`.
std::vector<uint8_t> Encode(Frame frame, int32_t format) {
  const int32_t middle = (frame.left + frame.right) / 2;
  auto to8 = [](int32_t v) { return static_cast<uint8_t>((v + 32768) / 257); };
  auto lo = [](int32_t v) { return static_cast<uint8_t>(v & 0xFF); };
  auto hi = [](int32_t v) { return static_cast<uint8_t>((v >> 8) & 0xFF); };
  switch (format) {
    case SAMPLE_MONO8:
      return {to8(middle)};
    case SAMPLE_MONO16LE:
      return {lo(middle), hi(middle)};
    case SAMPLE_MONO16BE:
      return {hi(middle), lo(middle)};
    case SAMPLE_STEREO8:
      return {to8(frame.left), to8(frame.right)};
    case SAMPLE_STEREO16LE:
      return {lo(frame.left), hi(frame.left), lo(frame.right), hi(frame.right)};
    default:
      return {hi(frame.left), lo(frame.left), hi(frame.right), lo(frame.right)};
  }
}

// Frames of `format`: every byte value in every position, then random bytes.
std::vector<uint8_t> SourceFrames(int32_t format, int32_t& count) {
  std::vector<uint8_t> bytes;
  std::mt19937 random(static_cast<uint32_t>(format));
  count = 0;
  for (int32_t i = 0; i < 4000; ++i, ++count) {
    for (int32_t b = 0; b < SampleFormatBytes[format]; ++b) {
      bytes.push_back(static_cast<uint8_t>(i < 256 ? i + b * 85 : random()));
    }
  }
  return bytes;
}

TEST(ConvertSampleDataTest, EveryPairOfFormatsMatchesTheTables) {
  for (int32_t from = 1; from <= 6; ++from) {
    int32_t count = 0;
    const std::vector<uint8_t> source = SourceFrames(from, count);
    for (int32_t to = 1; to <= 6; ++to) {
      std::vector<uint8_t> dest(static_cast<std::size_t>(count * SampleFormatBytes[to]) + 1, 0xA5);
      ConvertSampleData(source.data(), from, dest.data(), to, count);
      EXPECT_EQ(dest.back(), 0xA5) << "wrote past the frames, " << from << " to " << to;
      // One pass gives the bytes of the route through SAMPLE_STEREO16BE.
      std::vector<uint8_t> middle(static_cast<std::size_t>(count) * 4);
      std::vector<uint8_t> twoPass(dest.size(), 0xA5);
      ConvertSampleData(source.data(), from, middle.data(), SAMPLE_STEREO16BE, count);
      ConvertSampleData(middle.data(), SAMPLE_STEREO16BE, twoPass.data(), to, count);
      EXPECT_EQ(dest, twoPass) << from << " to " << to;
      for (int32_t i = 0; i < count; ++i) {
        const uint8_t* in = source.data() + i * SampleFormatBytes[from];
        const std::vector<uint8_t> expected = from == to
                                                  ? std::vector<uint8_t>(in, in + SampleFormatBytes[from])
                                                  : Encode(Decode(in, from), to);
        const std::vector<uint8_t> actual(dest.begin() + i * SampleFormatBytes[to],
                                          dest.begin() + (i + 1) * SampleFormatBytes[to]);
        ASSERT_EQ(actual, expected) << "frame " << i << ", " << SampleFormatName(from) << " to "
                                    << SampleFormatName(to);
      }
    }
  }
}

TEST(ConvertSampleDataTest, TheDocumentedFrames) {
  // 8-bit silence widens to 0x00 0x80 per channel (value 128) and packs back to 128.
  const uint8_t silence = 128;
  uint8_t wide[4] = {};
  ConvertSampleData(&silence, SAMPLE_MONO8, wide, SAMPLE_STEREO16BE, 1);
  EXPECT_EQ(std::vector<uint8_t>(wide, wide + 4), (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x80}));
  uint8_t narrow = 0;
  ConvertSampleData(wide, SAMPLE_STEREO16BE, &narrow, SAMPLE_MONO8, 1);
  EXPECT_EQ(narrow, 128);

  // 0 and 255 become the 16-bit extremes.
  const uint8_t extremes[2] = {0, 255};
  uint8_t le[4] = {};
  ConvertSampleData(extremes, SAMPLE_MONO8, le, SAMPLE_MONO16LE, 2);
  EXPECT_EQ(std::vector<uint8_t>(le, le + 4), (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0x7F}));

  // L = 1000, R = -1001: (L + R) / 2 = -1 / 2 truncates to 0.
  const int16_t stereo[2] = {1000, -1001};
  int16_t mono = 99;
  ConvertSampleData(stereo, SAMPLE_STEREO16LE, &mono, SAMPLE_MONO16LE, 1);
  EXPECT_EQ(mono, 0);
}

TEST(ConvertSampleDataTest, UnknownFormatsAreRefused) {
  uint8_t bytes[8] = {};
  for (const auto& [from, to] :
       std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {1, 0}, {7, 2}, {2, 7}, {-1, -1}}) {
    try {
      ConvertSampleData(bytes, from, bytes + 4, to, 1);
      ADD_FAILURE() << from << " to " << to << " converted";
    } catch (const TRuntimeException& error) {
      EXPECT_EQ(error.Message(), String("Unimplemented sample format conversion"));
    }
  }
}

TEST(AudioSampleTest, CreateOwnsMemoryAndCreateOverBorrowsIt) {
  const Ref<TAudioSample> owned = NewAudioSample(10, 22050, SAMPLE_STEREO16LE);
  ASSERT_TRUE(owned);
  EXPECT_EQ(owned->Length(), 10);
  EXPECT_EQ(owned->Hertz(), 22050);
  EXPECT_EQ(owned->Format(), SAMPLE_STEREO16LE);
  EXPECT_EQ(owned->Capacity(), 40);
  EXPECT_EQ(owned->ByteCount(), 40);

  uint8_t frames[6] = {1, 2, 3, 4, 5, 6};
  const Ref<TAudioSample> wrapped = WrapAudioSample(frames, 3, 8000, SAMPLE_MONO16BE);
  ASSERT_TRUE(wrapped);
  EXPECT_EQ(wrapped->Samples(), frames);
  EXPECT_EQ(wrapped->Capacity(), -1);

  EXPECT_TRUE(NewAudioSample(0, 44100, SAMPLE_MONO8));
  EXPECT_FALSE(NewAudioSample(-1, 44100, SAMPLE_MONO8));
  EXPECT_FALSE(NewAudioSample(1, 44100, 7));
  EXPECT_FALSE(NewAudioSample(INT32_MAX / 2, 44100, SAMPLE_STEREO16LE));  // beyond 2^31 - 1 bytes
  EXPECT_FALSE(WrapAudioSample(frames, INT32_MAX, 8000, SAMPLE_MONO16LE));
}

TEST(AudioSampleTest, CopyAndConvertMakeNewSamples) {
  uint8_t frames[4] = {0, 128, 255, 7};
  const Ref<TAudioSample> wrapped = WrapAudioSample(frames, 4, 11025, SAMPLE_MONO8);

  const Ref<TAudioSample> copy = wrapped->Copy();
  EXPECT_NE(copy->Samples(), frames);
  EXPECT_EQ(copy->Capacity(), 4);
  EXPECT_EQ(SampleBytes(copy), SampleBytes(wrapped));

  const Ref<TAudioSample> same = wrapped->Convert(SAMPLE_MONO8);
  EXPECT_NE(same.Get(), wrapped.Get());
  EXPECT_EQ(SampleBytes(same), SampleBytes(wrapped));

  const Ref<TAudioSample> wide = wrapped->Convert(SAMPLE_STEREO16LE);
  EXPECT_EQ(wide->Length(), 4);
  EXPECT_EQ(wide->Hertz(), 11025);
  EXPECT_EQ(wide->Format(), SAMPLE_STEREO16LE);
  const auto* values = reinterpret_cast<const int16_t*>(wide->Samples());
  EXPECT_EQ(values[0], -32768);
  EXPECT_EQ(values[3], 128);
  EXPECT_EQ(values[5], 32767);
  EXPECT_THROW(wrapped->Convert(9), TRuntimeException);
}

TEST(AudioSampleTest, ResizeGrowsOwnedMemoryAndNeverGrowsBorrowedMemory) {
  const Ref<TAudioSample> owned = NewAudioSample(2, 8000, SAMPLE_STEREO16LE);
  std::memcpy(owned->Samples(), "abcdefgh", 8);
  ASSERT_TRUE(owned->Resize(1000));
  EXPECT_EQ(owned->Length(), 1000);
  EXPECT_EQ(owned->Capacity(), 4000);
  EXPECT_EQ(SampleBytes(owned).substr(0, 8), "abcdefgh");
  ASSERT_TRUE(owned->Resize(1));
  EXPECT_EQ(owned->ByteCount(), 4);
  EXPECT_EQ(owned->Capacity(), 4000);
  EXPECT_FALSE(owned->Resize(-1));
  EXPECT_FALSE(owned->Resize(INT32_MAX / 2));
  EXPECT_EQ(owned->Length(), 1);

  uint8_t frames[4] = {};
  const Ref<TAudioSample> wrapped = WrapAudioSample(frames, 4, 8000, SAMPLE_MONO8);
  EXPECT_FALSE(wrapped->Resize(5));
  EXPECT_TRUE(wrapped->Resize(3));
  EXPECT_EQ(wrapped->Samples(), frames);
  EXPECT_FALSE(wrapped->Resize(4));
}

}  // namespace
}  // namespace corvex
