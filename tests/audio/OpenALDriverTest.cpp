// The OpenAL drivers against the installed OpenAL library, rendering to its null backend.
#include "audio/OpenALDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <thread>

#include "audio/AudioDriver.h"
#include "audio/AudioSample.h"
#include "audio/AudioSampleLoader.h"
#include "audio/Music.h"
#include "audio/OpenALLibrary.h"
#include "audio/SonavoxDriver.h"
#include "audio/SonavoxMixer.h"

namespace corvex {
namespace {

using namespace openal;

template <class Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

Ref<TAudioSample> Silence(int32_t frames) {
  Ref<TAudioSample> sample = NewAudioSample(frames, 44100, SAMPLE_MONO16LE);
  std::fill_n(sample->Samples(), sample->ByteCount(), uint8_t{0});
  return sample;
}

ALuint SourceOf(const Ref<TChannel>& channel) {
  return Cast<TOpenALChannel>(channel)->Source()->id;
}

// Buffer names the library holds now; it hands them out from 1 upwards and reuses freed ones.
int LiveBuffers() {
  int live = 0;
  for (ALuint id = 1; id <= 4096; ++id) live += AL().alIsBuffer(id) ? 1 : 0;
  return live;
}

class OpenALDriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("ALSOFT_DRIVERS", "null", 1);
    InitOpenALAudioModule();
    InitSonavoxAudioModule();
  }
  void SetUp() override {
    if (!LibraryLoaded()) GTEST_SKIP() << "libopenal.so.1 is not installed";
    ASSERT_EQ(SelectAudioDriver("OpenAL"), 1);
    shortSound = OpenSound(Url(Silence(441)), 0);  // 10 ms
    loopSound = OpenSound(Url(Silence(4410)), 1);
    ASSERT_TRUE(IsA<TOpenALSound>(shortSound));
  }
  void TearDown() override { SelectAudioDriver("Null"); }

  Ref<TSound> shortSound;
  Ref<TSound> loopSound;
};

TEST_F(OpenALDriverTest, RegistersItsDriversAndDevices) {
  EXPECT_EQ(HasAudioDriver("openal"), 1);
  EXPECT_EQ(RegisterOpenALDevices(), 1);
  EXPECT_EQ(RegisterOpenALDevices(), 1);
  const Array<String> names = OpenALDeviceNames();
  ASSERT_GE(names.Length(), 1);
  EXPECT_EQ(HasAudioDriver(String("OpenAL ") + names[0]), 1);
  EXPECT_EQ(HasAudioDriver("OpenAL Default"), 1);
  EXPECT_EQ(SelectAudioDriver("OpenAL Default"), 1);
}

TEST_F(OpenALDriverTest, OneShotSourcesAreReusedOnceTheyStop) {
  Ref<TChannel> a = StartSound(shortSound, Null);
  Ref<TChannel> b = StartSound(shortSound, Null);
  ASSERT_TRUE(a && b);
  EXPECT_NE(SourceOf(a), SourceOf(b));  // both play at once: two sources
  const std::set<ALuint> first = {SourceOf(a), SourceOf(b)};
  ASSERT_TRUE(Eventually([&] { return ChannelIsPlaying(a) == 0 && ChannelIsPlaying(b) == 0; }));
  Ref<TChannel> c = StartSound(shortSound, Null);
  Ref<TChannel> d = StartSound(shortSound, Null);
  EXPECT_EQ((std::set<ALuint>{SourceOf(c), SourceOf(d)}), first);
  // Taking a source over leaves the old channel stale.
  EXPECT_EQ(ChannelIsPlaying(a), 0);
}

TEST_F(OpenALDriverTest, StoppedChannelIgnoresSettingsEvenAfterItsSourceIsReused) {
  Ref<TChannel> a = StartSound(loopSound, Null);
  ChannelStop(a);
  Ref<TChannel> b = StartSound(loopSound, Null);
  ASSERT_EQ(SourceOf(a), SourceOf(b));
  ChannelSetVolume(a, 0.25f);
  ChannelSetRate(a, 2.0f);
  ChannelPause(a);
  ALfloat gain = 0, pitch = 0;
  AL().alGetSourcef(SourceOf(b), AL_GAIN, &gain);
  AL().alGetSourcef(SourceOf(b), AL_PITCH, &pitch);
  EXPECT_EQ(gain, 1.0f);
  EXPECT_EQ(pitch, 1.0f);
  EXPECT_EQ(ChannelIsPlaying(b), 1);
  ChannelSetVolume(b, 0.5f);
  AL().alGetSourcef(SourceOf(b), AL_GAIN, &gain);
  EXPECT_EQ(gain, 0.5f);
  ChannelStop(b);
}

TEST_F(OpenALDriverTest, PanPlacesTheSourceOnTheUnitCircle) {
  Ref<TChannel> channel = NewAudioChannel();
  ASSERT_TRUE(IsA<TOpenALChannel>(channel));
  StartSound(loopSound, channel);
  ALfloat x = 9, y = 9, z = 9;
  ChannelSetPan(channel, -1.0f);
  AL().alGetSource3f(SourceOf(channel), AL_POSITION, &x, &y, &z);
  EXPECT_FLOAT_EQ(x, -1.0f);
  EXPECT_FLOAT_EQ(y, 0.0f);
  EXPECT_NEAR(z, 0.0f, 1e-6);
  ChannelSetPan(channel, 0.0f);
  AL().alGetSource3f(SourceOf(channel), AL_POSITION, &x, &y, &z);
  EXPECT_FLOAT_EQ(x, 0.0f);
  EXPECT_FLOAT_EQ(z, -1.0f);
  ChannelSetPan(channel, 1.0f);
  AL().alGetSource3f(SourceOf(channel), AL_POSITION, &x, &y, &z);
  EXPECT_FLOAT_EQ(x, 1.0f);
  // Values OpenAL refuses leave the source as it was.
  ChannelSetPan(channel, std::nanf(""));
  ChannelSetVolume(channel, -1.0f);
  ChannelSetRate(channel, 0.0f);
  AL().alGetSource3f(SourceOf(channel), AL_POSITION, &x, &y, &z);
  EXPECT_FLOAT_EQ(x, 1.0f);
  EXPECT_EQ(ChannelIsPlaying(channel), 1);
}

TEST_F(OpenALDriverTest, PausedChannelCountsAsPlaying) {
  Ref<TChannel> channel = NewAudioChannel();
  EXPECT_EQ(PrepareSound(loopSound, channel), channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 0);  // cued: stopped, not yet playing
  ChannelResume(channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 1);
  ChannelPause(channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 1);
  EXPECT_EQ(Cast<TOpenALChannel>(channel)->Source()->IsPaused(), 1);
  ChannelStop(channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 0);
}

TEST_F(OpenALDriverTest, OwnedChannelsGiveTheirSourceBackWhenDestroyed) {
  ALuint id = 0;
  {
    Ref<TChannel> channel = NewAudioChannel();
    id = SourceOf(channel);
    StartSound(loopSound, channel);
    ChannelPause(channel);
  }  // destroying a paused channel stops its source and frees it
  EXPECT_EQ(SourceOf(StartSound(shortSound, Null)), id);
  {
    Ref<TChannel> unused = NewAudioChannel();
    id = SourceOf(unused);
  }  // never played: free again at once
  EXPECT_EQ(SourceOf(NewAudioChannel()), id);
}

TEST_F(OpenALDriverTest, ForeignChannelsGiveAOneShotChannelAndStaleSoundsGiveNull) {
  const Ref<TChannel> foreign = New<TChannel>();
  const Ref<TChannel> played = StartSound(loopSound, foreign);
  ASSERT_TRUE(IsA<TOpenALChannel>(played));
  EXPECT_EQ(ChannelIsPlaying(played), 1);
  ChannelStop(played);
  Ref<TChannel> channel = NewAudioChannel();
  const int16_t frame = 0;
  Ref<TSound> mixerSound = New<TSonavoxSound>(sonavox::samplebuffer::Create(1, 16, 1, 44100, &frame, 0));
  EXPECT_FALSE(StartSound(mixerSound, channel));
  StartSound(loopSound, channel);
  // A new start-up makes a new context: the earlier sounds and channels are stale.
  ASSERT_EQ(SelectAudioDriver("OpenAL"), 1);
  EXPECT_FALSE(StartSound(shortSound, Null));
  EXPECT_EQ(ChannelIsPlaying(channel), 0);
  ChannelSetVolume(channel, 0.5f);
  ChannelStop(channel);
  EXPECT_TRUE(StartSound(OpenSound(Url(Silence(10)), 0), Null));
}

TEST_F(OpenALDriverTest, CuedOneShotChannelKeepsItsSourceUntilPlayed) {
  const Ref<TChannel> cued = PrepareSound(loopSound, Null);
  ASSERT_TRUE(cued);
  const Ref<TChannel> next = StartSound(shortSound, Null);
  EXPECT_NE(SourceOf(next), SourceOf(cued));
  ChannelResume(cued);
  EXPECT_EQ(ChannelIsPlaying(cued), 1);
  ChannelStop(cued);
}

TEST_F(OpenALDriverTest, BuffersOfDroppedSoundsAreDeletedAfterReuseAndReCue) {
  const int start = LiveBuffers();
  ASSERT_GE(start, 2);  // the fixture's two sounds
  const Ref<TChannel> owned = NewAudioChannel();
  for (int i = 0; i < 20; ++i) {
    // Each sound's last reference goes when a stopped source is reused or the channel re-cued.
    const Ref<TChannel> oneShot = StartSound(OpenSound(Url(Silence(10)), 0), Null);
    PrepareSound(OpenSound(Url(Silence(10)), 0), owned);
    ASSERT_TRUE(Eventually([&] { return ChannelIsPlaying(oneShot) == 0; }));
  }
  // Displace the last two: the owned channel is re-cued, the stopped source reused.
  PrepareSound(shortSound, owned);
  StartSound(shortSound, Null);
  EXPECT_EQ(LiveBuffers(), start);
}

TEST_F(OpenALDriverTest, MusicStreamsThroughQueuedBuffersAndGivesThemBack) {
  InitMp3LoaderModule();
  InitFlacLoaderModule();
  const int start = LiveBuffers();
  const std::string file = std::string(CORVEX_AUDIO_TEST_DATA) + "/flac_stereo_44100.flac";
  const Ref<TMusic> music = OpenMusic(String(file.c_str()));
  ASSERT_TRUE(music);
  ASSERT_EQ(PlayMusic(music, 1), 1);
  EXPECT_EQ(MusicIsPlaying(music), 1);
  ASSERT_TRUE(Eventually([&] { return MusicPosition(music) > 0.2; }));  // past the first buffers
  SetMusicVolume(music, 0.5f);
  PauseMusic(music);
  EXPECT_EQ(MusicIsPlaying(music), 1) << "a paused OpenAL channel counts as playing";
  ResumeMusic(music);
  // Once round (0.25 s) and on into the loop: the position comes back under the length.
  ASSERT_TRUE(Eventually([&] { return MusicPosition(music) < 0.1; }));
  EXPECT_EQ(music->Underruns(), 0);
  StopMusic(music);
  EXPECT_EQ(MusicIsPlaying(music), 0);
  EXPECT_EQ(LiveBuffers(), start);
  // Without looping it plays to its end and stops.
  ASSERT_EQ(PlayMusic(music, 0), 1);
  EXPECT_TRUE(Eventually([&] { return MusicIsPlaying(music) == 0; }));
  StopMusic(music);
  EXPECT_EQ(LiveBuffers(), start);
}

// The library's loopback device, made current under the driver, renders what the sources play
// on demand: the whole sound and the streamed music must render the same samples.
TEST_F(OpenALDriverTest, StreamedMusicRendersAsTheWholeSoundLoopIncluded) {
  InitMp3LoaderModule();
  InitFlacLoaderModule();
  auto openLoopback = reinterpret_cast<ALCdevice* (*)(const ALCchar*)>(
      AL().alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  auto render = reinterpret_cast<void (*)(ALCdevice*, void*, ALsizei)>(
      AL().alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  ALCdevice* device = openLoopback ? openLoopback(nullptr) : nullptr;
  if (!device || !render) GTEST_SKIP() << "the OpenAL library has no loopback device";
  // Stereo float at 44100 Hz (ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
  // ALC_FLOAT_SOFT, ALC_FREQUENCY): 16-bit output would be dithered, differently each time.
  const ALCint attributes[] = {0x1990, 0x1501, 0x1991, 0x1406, 0x1007, 44100, 0};
  ALCcontext* context = AL().alcCreateContext(device, attributes);
  AL().alcMakeContextCurrent(context);
  AL().alDistanceModel(AL_NONE);
  constexpr int kBlock = 1024;
  constexpr int kBlocks = 120;  // 2.8 s: eleven rounds of the 0.25 s file
  // The output from its first sound on: where a source starts within a block is the library's.
  const auto renderAll = [&] {
    std::vector<float> out;
    std::vector<float> block(2 * kBlock);
    for (int b = 0; b < kBlocks; ++b) {
      render(device, block.data(), kBlock);
      out.insert(out.end(), block.begin(), block.end());
      // The music's thread refills a buffer as soon as one is played.
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    size_t first = 0;
    while (first < out.size() && out[first] == 0) ++first;
    out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(first - first % 2));
    return out;
  };
  const std::string file = std::string(CORVEX_AUDIO_TEST_DATA) + "/flac_stereo_44100.flac";
  {
    const Ref<TChannel> whole = StartSound(OpenSound(String(file.c_str()), 1), Null);
    ASSERT_TRUE(whole);
    const std::vector<float> expected = renderAll();
    ChannelStop(whole);
    const Ref<TMusic> music = OpenMusic(String(file.c_str()));
    ASSERT_EQ(PlayMusic(music, 1), 1);
    const std::vector<float> streamed = renderAll();
    EXPECT_EQ(music->Underruns(), 0);
    StopMusic(music);
    const size_t compared = 2 * 44100 * 2;  // 2 s: eight rounds
    ASSERT_GE(expected.size(), compared);
    ASSERT_GE(streamed.size(), compared);
    for (size_t i = 0; i < compared; ++i) ASSERT_EQ(streamed[i], expected[i]) << "sample " << i;
  }
  AL().alcMakeContextCurrent(nullptr);
  AL().alcDestroyContext(context);
  AL().alcCloseDevice(device);
}

}  // namespace
}  // namespace corvex
