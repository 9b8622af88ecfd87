// Streamed music through the "Sonavox" driver and SDL's disk audio driver, which writes the real
// output stream to a file that the tests read back.
#include "audio/Music.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "AudioTestSupport.h"
#include "audio/SonavoxDriver.h"
#include "net/HttpStream.h"
#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "tests/net/PythonHttpServer.h"

namespace corvex {
namespace {

using namespace audio_testing;

std::vector<int16_t> ReadSamples(const std::string& path) {
  std::string bytes;
  test_files::ReadFileBytes(path, bytes);
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// The output from the first sample that is not silence on.
std::vector<int16_t> FromFirstSound(std::vector<int16_t> samples) {
  size_t first = 0;
  while (first < samples.size() && samples[first] == 0) ++first;
  first -= first % 2;
  return {samples.begin() + static_cast<std::ptrdiff_t>(first), samples.end()};
}

class MusicTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitModules();
    InitSonavoxAudioModule();
    InitHttpStreamModule();
  }
  void SetUp() override {
    output = ::testing::TempDir() + "music-disk-" + std::to_string(::getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    ASSERT_EQ(SelectAudioDriver("Sonavox"), 1);
  }
  void TearDown() override {
    SelectAudioDriver("Null");
    std::remove(output.c_str());
  }
  // Closes the device, so that the whole output is in the file, and reads it.
  std::vector<int16_t> Output() {
    SelectAudioDriver("Null");
    return ReadSamples(output);
  }
  static void Wait(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
  // Waits until the music stops (five seconds at most).
  static void WaitWhilePlaying(const Ref<TMusic>& music) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (MusicIsPlaying(music) && std::chrono::steady_clock::now() < deadline) Wait(10);
  }

  std::string output;
};

TEST_F(MusicTest, StreamedMusicSoundsAsTheWholeFilePlayedAsASoundLoopIncluded) {
  // 11025 frames looped: the stream's ring of 65536 frames wraps after six rounds.
  const std::string file = DataPath("flac_stereo_44100.flac");
  const Ref<TChannel> channel = StartSound(OpenSound(String(file.c_str()), 1), Null);
  ASSERT_TRUE(channel);
  Wait(2200);
  const std::vector<int16_t> whole = FromFirstSound(Output());

  ASSERT_EQ(SelectAudioDriver("Sonavox"), 1);
  const Ref<TMusic> music = OpenMusic(String(file.c_str()));
  ASSERT_TRUE(music);
  ASSERT_EQ(PlayMusic(music, 1), 1);
  Wait(2200);
  const int32_t underruns = music->Underruns();
  const std::vector<int16_t> streamed = FromFirstSound(Output());
  EXPECT_EQ(underruns, 0);
  const size_t compared = 2 * 44100 * 17 / 10;  // 1.7 s: six rounds and more
  ASSERT_GE(whole.size(), compared);
  ASSERT_GE(streamed.size(), compared);
  for (size_t i = 0; i < compared; ++i) ASSERT_EQ(streamed[i], whole[i]) << "sample " << i;
}

TEST_F(MusicTest, TwoStreamsBesideTwoHundredFiftySixVoicesNeverRunDry) {
  const Ref<TSound> sound = OpenSound(String(DataPath("ogg_mono_22050.ogg").c_str()), 1);
  std::vector<Ref<TChannel>> channels;
  for (int i = 0; i < 256; ++i) channels.push_back(StartSound(sound, Null));
  for (const Ref<TChannel>& channel : channels) ASSERT_TRUE(channel);
  const Ref<TMusic> flac = OpenMusic(String(DataPath("flac_stereo_44100.flac").c_str()));
  const Ref<TMusic> mp3 = OpenMusic(String(DataPath("mp3_stereo_44100.mp3").c_str()));
  ASSERT_TRUE(flac && mp3);
  ASSERT_EQ(PlayMusic(flac, 1), 1);
  ASSERT_EQ(PlayMusic(mp3, 1), 1);
  Wait(1500);
  EXPECT_EQ(MusicIsPlaying(flac), 1);
  EXPECT_EQ(MusicIsPlaying(mp3), 1);
  EXPECT_EQ(flac->Underruns(), 0);
  EXPECT_EQ(mp3->Underruns(), 0);
  EXPECT_EQ(ChannelIsPlaying(channels.back()), 1);
}

TEST_F(MusicTest, PauseSeekPositionAndLength) {
  const Ref<TMusic> music = OpenMusic(String(DataPath("ogg_stereo_44100.ogg").c_str()));
  ASSERT_TRUE(music);
  EXPECT_DOUBLE_EQ(MusicLength(music), 6615.0 / 44100);
  ASSERT_EQ(PlayMusic(music, 1), 1);
  SetMusicLoopStart(music, 0.1);
  PauseMusic(music);
  EXPECT_EQ(MusicIsPlaying(music), 0);
  ASSERT_EQ(SeekMusic(music, 0.12), 1);
  EXPECT_EQ(MusicIsPlaying(music), 0) << "paused music stays paused";
  EXPECT_NEAR(MusicPosition(music), 0.12, 1e-4);
  ResumeMusic(music);
  EXPECT_EQ(MusicIsPlaying(music), 1);
  Wait(400);  // past the end: the loop goes on from 0.1 s
  const double position = MusicPosition(music);
  EXPECT_GE(position, 0.1);
  EXPECT_LT(position, MusicLength(music));
  EXPECT_EQ(MusicIsPlaying(music), 1);
  StopMusic(music);
  EXPECT_EQ(MusicIsPlaying(music), 0);
  EXPECT_EQ(MusicPosition(music), 0);
  EXPECT_FALSE(OpenMusic(String(DataPath("README.md").c_str())));
  EXPECT_EQ(PlayMusic(Null, 1), 0);
}

TEST_F(MusicTest, ACutFileEndsTheMusicAndLeavesOtherSoundsPlaying) {
  const Ref<TChannel> other = StartSound(OpenSound(String(DataPath("ogg_mono_22050.ogg").c_str()), 1), Null);
  // FLAC and MP3 announce their length, so a file cut short is seen as such. (Ogg Vorbis takes
  // its length from the last page there is: a cut Ogg file is only a shorter one.)
  for (const char* name : {"flac_stereo_44100.flac", "mp3_stereo_44100.mp3"}) {
    SCOPED_TRACE(name);
    std::string bytes = ReadDataFile(name);
    bytes.resize(bytes.size() * 2 / 3);
    const Ref<TMusic> music = OpenMusic(MemoryStream(bytes));
    ASSERT_TRUE(music);
    ASSERT_EQ(PlayMusic(music, 1), 1);
    WaitWhilePlaying(music);
    EXPECT_EQ(MusicIsPlaying(music), 0);
    EXPECT_EQ(MusicFailed(music), 1);
  }
  EXPECT_EQ(ChannelIsPlaying(other), 1);
}

TEST_F(MusicTest, AStreamFailingWhileItPlaysEndsTheMusicAndLeavesOtherSoundsPlaying) {
  // Ten seconds of WAV whose stream fails, as a lost connection does, after about one second.
  const int32_t frames = 441000;
  std::string bytes = WavHeader(2, 44100, 16, static_cast<uint32_t>(frames) * 4);
  bytes.resize(bytes.size() + static_cast<size_t>(frames) * 4, '\x10');
  const Ref<TMusic> music = OpenMusic(New<FailingStream<TStreamException>>(bytes, 44 + 44100 * 4));
  ASSERT_TRUE(music);
  EXPECT_DOUBLE_EQ(MusicLength(music), 10.0);
  const Ref<TChannel> other = StartSound(OpenSound(String(DataPath("ogg_mono_22050.ogg").c_str()), 1), Null);
  ASSERT_EQ(PlayMusic(music, 0), 1);
  WaitWhilePlaying(music);
  EXPECT_EQ(MusicIsPlaying(music), 0);
  EXPECT_EQ(MusicFailed(music), 1);
  EXPECT_LT(MusicPosition(music), 1.5);
  EXPECT_EQ(ChannelIsPlaying(other), 1);
}

TEST_F(MusicTest, AnHttpConnectionLostMidwayEndsTheMusicAndLeavesOtherSoundsPlaying) {
  const testing_support::PythonHttpServer server(CORVEX_AUDIO_TEST_DATA);
  ASSERT_TRUE(server.Ready()) << server.Error();
  const std::string file = "flac_stereo_44100.flac";
  const std::string url = "http::127.0.0.1:" + std::to_string(server.Port()) + "/cut/" +
                          std::to_string(ReadDataFile(file).size() * 2 / 3) + "/" + file;
  const Ref<TChannel> other = StartSound(OpenSound(String(DataPath("ogg_mono_22050.ogg").c_str()), 1), Null);
  const Ref<TMusic> music = OpenMusic(String(url.c_str()));
  ASSERT_TRUE(music) << LastErrorText().ToBytes();
  ASSERT_EQ(PlayMusic(music, 1), 1);
  WaitWhilePlaying(music);
  EXPECT_EQ(MusicIsPlaying(music), 0);
  EXPECT_EQ(MusicFailed(music), 1);
  EXPECT_EQ(ChannelIsPlaying(other), 1);
}

TEST_F(MusicTest, OnADriverThatCannotStreamMusicStaysSilent) {
  SelectAudioDriver("Null");
  const Ref<TMusic> music = OpenMusic(String(DataPath("ogg_stereo_44100.ogg").c_str()));
  ASSERT_TRUE(music);
  EXPECT_EQ(PlayMusic(music, 0), 0);
  EXPECT_EQ(MusicIsPlaying(music), 0);
}

}  // namespace
}  // namespace corvex
