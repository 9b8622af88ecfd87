// The "Sonavox" drivers end to end: SDL's disk audio driver writes the real output stream to a
// file, which the tests read back.
#include "audio/SonavoxDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "audio/AudioDriver.h"
#include "audio/AudioSample.h"
#include "audio/SonavoxMixer.h"

namespace corvex {
namespace {

template <class Condition>
bool Eventually(Condition condition, int seconds = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A mono 16-bit sample whose frame i holds 1 + (i % 100) × 300: never silent, never constant.
Ref<TAudioSample> Pattern(int32_t length, int32_t format = SAMPLE_MONO16LE) {
  Ref<TAudioSample> sample = NewAudioSample(length, 44100, SAMPLE_MONO16LE);
  auto* frames = reinterpret_cast<int16_t*>(sample->Samples());
  for (int32_t i = 0; i < length; ++i) frames[i] = static_cast<int16_t>(1 + (i % 100) * 300);
  return format == SAMPLE_MONO16LE ? sample : sample->Convert(format);
}

std::vector<int16_t> ReadSamples(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

class SonavoxDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSonavoxAudioModule();
    output = ::testing::TempDir() + "sonavox-disk-" + std::to_string(::getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
  }
  void TearDown() override {
    SelectAudioDriver("Null");
    std::remove(output.c_str());
  }

  std::string output;
};

TEST_F(SonavoxDriverTest, RegistersSonavoxFirstAndNoDirectSoundDriver) {
  const Array<String> names = AudioDriverNames();
  ASSERT_GE(names.Length(), 3);
  EXPECT_EQ(names[0], String("Sonavox"));
  EXPECT_EQ(names[1], String("Sonavox Multimedia"));
  EXPECT_EQ(HasAudioDriver("sonavox multimedia"), 1);
  EXPECT_EQ(HasAudioDriver("Sonavox DirectSound"), 0);
}

TEST_F(SonavoxDriverTest, SoundAppearsInTheOutputStreamWithItsSamplesAfterTheStartDelay) {
  const auto opened = std::chrono::steady_clock::now();
  ASSERT_EQ(SelectAudioDriver("Sonavox"), 1);
  Ref<TSound> sound = OpenSound(Url(Pattern(4410)), 0);
  ASSERT_TRUE(IsA<TSonavoxSound>(sound));
  const double queuedMillis =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - opened).count();
  Ref<TChannel> channel = StartSound(sound, Null);
  ASSERT_TRUE(IsA<TSonavoxChannel>(channel));
  EXPECT_EQ(ChannelIsPlaying(channel), 1);
  ASSERT_TRUE(Eventually([&] { return ChannelIsPlaying(channel) == 0; }));
  EXPECT_EQ(Cast<TSonavoxChannel>(channel)->Position(), 4410);
  // The device writes the file in real time: wait for the sound and a frame after it.
  std::vector<int16_t> out;
  size_t first = 0;
  const bool written = Eventually([&] {
    out = ReadSamples(output);
    first = 0;
    while (first < out.size() && out[first] == 0) ++first;
    return first < out.size() && out.size() >= first + 2 * 4410 + 2;
  });
  SelectAudioDriver("Null");
  ASSERT_TRUE(written) << "the sound never reached the output";
  ASSERT_EQ(first % 2, 0u);
  const size_t frame = first / 2;
  // Six blocks of 512 frames were queued at open, before the sound: it lands after them, 20 ms
  // after it was queued at the earliest. The upper bound allows for a loaded machine.
  EXPECT_GE(frame, 6u * 512u);
  EXPECT_LE(frame, static_cast<size_t>((queuedMillis + 20 + 2000) * 44.1) + 11 * 512);
  for (size_t i = 0; i < 4410; ++i) {
    const int16_t expected = static_cast<int16_t>(1 + (i % 100) * 300);
    ASSERT_EQ(out[first + 2 * i], expected) << i;
    ASSERT_EQ(out[first + 2 * i + 1], expected) << i;
  }
  EXPECT_EQ(out[first + 2 * 4410], 0);
}

TEST_F(SonavoxDriverTest, ChannelsCueResumeStopAndIgnoreForeignOrStaleUse) {
  ASSERT_EQ(SelectAudioDriver("Sonavox"), 1);
  Ref<TSound> sound = CurrentAudioDriver()->CreateSound(Pattern(44100), 1);
  Ref<TChannel> channel = NewAudioChannel();
  ASSERT_TRUE(IsA<TSonavoxChannel>(channel));
  EXPECT_EQ(PrepareSound(sound, channel), channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 0);  // cued: paused
  ChannelResume(channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 1);
  EXPECT_EQ(StartSound(sound, channel), channel);  // replaces the voice on the same channel
  ChannelStop(channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 0);
  ChannelSetVolume(channel, 0.5f);  // stale: nothing
  ChannelResume(channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 0);
  // A stopped channel gets a channel of its own when played again.
  Ref<TChannel> again = StartSound(sound, channel);
  ASSERT_TRUE(again);
  EXPECT_NE(again, channel);

  EXPECT_FALSE(StartSound(sound, New<TChannel>()));  // a channel of another driver
  for (float bad : {std::nanf(""), INFINITY, -INFINITY, 1e30f, -5.0f, 0.0f}) {
    ChannelSetVolume(again, bad);
    ChannelSetPan(again, bad);
    ChannelSetDepth(again, bad);
    ChannelSetRate(again, bad);
  }
  EXPECT_EQ(ChannelIsPlaying(again), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the mixer runs the settings
}

TEST_F(SonavoxDriverTest, SoundsKeepTheirFramesInLittleEndianOrder) {
  ASSERT_EQ(SelectAudioDriver("Sonavox Multimedia"), 1);
  Ref<TSound> mono = CurrentAudioDriver()->CreateSound(Pattern(10, SAMPLE_MONO16BE), 0);
  Ref<TSound> stereo = CurrentAudioDriver()->CreateSound(Pattern(10, SAMPLE_STEREO16BE), 1);
  Ref<TSound> bytes = CurrentAudioDriver()->CreateSound(Pattern(10, SAMPLE_STEREO8), 0);
  const sonavox::samplebuffer* m = Cast<TSonavoxSound>(mono)->Buffer();
  const sonavox::samplebuffer* s = Cast<TSonavoxSound>(stereo)->Buffer();
  const sonavox::samplebuffer* b = Cast<TSonavoxSound>(bytes)->Buffer();
  EXPECT_EQ(m->bits, 16);
  EXPECT_EQ(m->channels, 1);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(m->data)[1], 301);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(m->data)[10], reinterpret_cast<const int16_t*>(m->data)[9]);
  EXPECT_EQ(s->channels, 2);
  EXPECT_EQ(s->loop, 1);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(s->data)[3], 301);
  EXPECT_EQ(reinterpret_cast<const int16_t*>(s->data)[20], 1);  // looping guard: frame 0
  EXPECT_EQ(b->bits, 8);
  EXPECT_EQ(b->bytesPerFrame, 2);
  EXPECT_FALSE(CurrentAudioDriver()->CreateSound(NewAudioSample(4, 44100, SAMPLE_NONE), 0));
}

TEST_F(SonavoxDriverTest, WithoutAnAudioDeviceTheNullDriverPlaysSilently) {
  setenv("SDL_AUDIODRIVER", "no-such-audio-driver", 1);
  EXPECT_EQ(SelectAudioDriver("Sonavox"), 0);
  EXPECT_EQ(CurrentAudioDriver()->Name(), String("Null"));
  Ref<TSound> sound = OpenSound(Url(Pattern(100)), 0);
  ASSERT_TRUE(sound);
  EXPECT_EQ(ChannelIsPlaying(StartSound(sound, Null)), 0);
  // Without an open device the mixer hands out no channels.
  ASSERT_TRUE(IsA<TSonavoxAudioDriver>(AudioDrivers()));
  EXPECT_FALSE(AudioDrivers()->NewChannel());
}

}  // namespace
}  // namespace corvex
