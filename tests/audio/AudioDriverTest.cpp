// The driver-independent audio layer: the null driver, the driver chain and how the current
// driver is chosen. Tests that register drivers keep them for the rest of the process, so each
// checks the chain relative to what it finds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "AudioTestSupport.h"

namespace corvex {
namespace {

using namespace audio_testing;

// A driver that counts what it is asked and can refuse to start.
class CountingDriver : public TAudioDriver {
 public:
  CountingDriver(String name, int32_t startsUp) : name_(std::move(name)), startsUp_(startsUp) {}
  String Name() override { return name_; }
  int32_t Startup() override {
    ++startups;
    return startsUp_;
  }
  void Shutdown() override {
    ++shutdowns;
    if (reportShutdown) std::fputs("driver shut down\n", stderr);
  }
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int32_t flags) override {
    lastSample = sample;
    lastFlags = flags;
    return TAudioDriver::CreateSound(sample, flags);
  }

  int startups = 0;
  int shutdowns = 0;
  bool reportShutdown = false;
  Ref<TAudioSample> lastSample;
  int32_t lastFlags = -1;

 private:
  String name_;
  int32_t startsUp_;
};

// Drivers are made with new and kept by the chain, as the framework's own are.
CountingDriver& Register(const char* name, int32_t startsUp = 1) {
  return *new CountingDriver(name, startsUp);
}

class AudioDriverTest : public testing::Test {
 protected:
  void SetUp() override { InitModules(); }
};

TEST_F(AudioDriverTest, WithOnlyTheNullDriverTheDefaultIsTriedOnce) {
  if (AudioDriverNames().Length() != 1) GTEST_SKIP() << "another test of this process registered drivers";
  EXPECT_EQ(AudioDriverNames()[0], String("Null"));
  EXPECT_EQ(HasAudioDriver("NULL"), 1);
  EXPECT_EQ(HasAudioDriver("Sonavox"), 0);

  const Ref<TAudioDriver> current = CurrentAudioDriver();
  ASSERT_TRUE(current);
  EXPECT_EQ(current->Name(), String("Null"));
  EXPECT_EQ(current, AudioDrivers());

  // The default is not tried again once the null driver stands in for it.
  CountingDriver& late = Register("Sonavox");
  EXPECT_EQ(CurrentAudioDriver(), current);
  EXPECT_EQ(late.startups, 0);
}

TEST_F(AudioDriverTest, TheNullDriverPlaysSilently) {
  ASSERT_EQ(SelectAudioDriver("null"), 1);
  uint8_t frames[4] = {};
  const Ref<TSound> sound = OpenSound(WrapAudioSample(frames, 4, 8000, SAMPLE_MONO8), 0);
  ASSERT_TRUE(sound);
  const Ref<TChannel> channel = StartSound(sound, Null);
  ASSERT_TRUE(channel);
  EXPECT_EQ(ChannelIsPlaying(channel), 0);
  ChannelPause(channel);
  ChannelResume(channel);
  ChannelSetVolume(channel, 0.5F);
  ChannelSetPan(channel, -1.0F);
  ChannelSetDepth(channel, 1.0F);
  ChannelSetRate(channel, 2.0F);
  ChannelStop(channel);
  EXPECT_EQ(ChannelIsPlaying(PrepareSound(sound, NewAudioChannel())), 0);
  EXPECT_FALSE(OpenSound("no/such/sound.wav", 0));
}

TEST_F(AudioDriverTest, SelectingShutsThePreviousDriverDownFirst) {
  CountingDriver& good = Register("Counting Good");
  CountingDriver& bad = Register("Counting Bad", 0);
  const Array<String> names = AudioDriverNames();
  ASSERT_GE(names.Length(), 3);
  EXPECT_EQ(names[0], String("Counting Bad"));  // newest first
  EXPECT_EQ(names[1], String("Counting Good"));

  EXPECT_EQ(SelectAudioDriver("COUNTING good"), 1);
  EXPECT_EQ(good.startups, 1);
  EXPECT_EQ(CurrentAudioDriver().Get(), &good);

  // A driver that will not start leaves the null driver current, after the previous one shut down.
  EXPECT_EQ(SelectAudioDriver("counting bad"), 0);
  EXPECT_EQ(good.shutdowns, 1);
  EXPECT_EQ(bad.startups, 1);
  EXPECT_EQ(CurrentAudioDriver()->Name(), String("Null"));

  // So does a name no driver has.
  ASSERT_EQ(SelectAudioDriver("Counting Good"), 1);
  EXPECT_EQ(SelectAudioDriver("no such driver"), 0);
  EXPECT_EQ(good.shutdowns, 2);
  EXPECT_EQ(CurrentAudioDriver()->Name(), String("Null"));
}

TEST_F(AudioDriverTest, OpenSoundUsesASampleObjectAsItIs) {
  CountingDriver& driver = Register("Counting Sounds");
  ASSERT_EQ(SelectAudioDriver("Counting Sounds"), 1);
  uint8_t frames[2] = {1, 2};
  const Ref<TAudioSample> sample = WrapAudioSample(frames, 2, 8000, SAMPLE_MONO8);
  EXPECT_TRUE(OpenSound(sample, 1));
  EXPECT_EQ(driver.lastSample, sample);
  EXPECT_EQ(driver.lastFlags, 1);

  EXPECT_TRUE(OpenSound(String(DataPath("wav_mono8_8000.wav").c_str()), 0));
  ASSERT_TRUE(driver.lastSample);
  EXPECT_EQ(driver.lastSample->Length(), 301);
  SelectAudioDriver("Null");
}

TEST_F(AudioDriverTest, NamesStopAtOneHundred) {
  for (int i = 0; i < 101; ++i) Register("Counting Many");
  EXPECT_EQ(AudioDriverNames().Length(), 100);
}

TEST_F(AudioDriverTest, TheCurrentDriverShutsDownAtExit) {
  EXPECT_EXIT(
      {
        CountingDriver& driver = Register("Counting Exit");
        driver.reportShutdown = true;
        SelectAudioDriver("Counting Exit");
        std::exit(0);
      },
      testing::ExitedWithCode(0), "driver shut down");
}

}  // namespace
}  // namespace corvex
