// The mixer core driven block by block with a test clock. Expected samples are worked out by
// hand from the fixed-point rules: a frame adds (s × gain) >> 8 to each side, gain 4096 is full
// volume, and the output is (accum >> 4) held to 16 bits, so full volume reproduces s.
#include "audio/SonavoxMixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace corvex::sonavox {
namespace {

std::atomic<int32_t> g_now{1000};
int32_t TestClock() {
  return g_now.load(std::memory_order_relaxed);
}

constexpr int32_t kBlock = 1024;  // samples per block: 512 stereo frames
constexpr int32_t kFrames = kBlock / 2;

// A device without output: the test plays the mixing thread.
class ManualDevice final : public audiodevice {
 public:
  int32_t open() override {
    mixer_ = std::make_unique<mixer>(kBlock, 44100, 2, TestClock);
    return 0;
  }
  void close() override { mixer_->recycleAll(); }
};

class SonavoxMixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now = 1000;
    ASSERT_TRUE(core.open(std::make_unique<ManualDevice>()));
  }
  void TearDown() override {
    core.close();
    for (samplebuffer* b : buffers) {
      EXPECT_EQ(b->refCount.load(), 1) << "a voice kept its buffer";
      b->Release();
    }
  }

  samplebuffer* Mono16(std::vector<int16_t> frames, int32_t hertz = 44100, bool loop = false) {
    return Keep(samplebuffer::Create(static_cast<int32_t>(frames.size()), 16, 1, hertz, frames.data(), loop));
  }
  samplebuffer* Constant16(int16_t value, int32_t length, bool loop = true) {
    return Mono16(std::vector<int16_t>(static_cast<size_t>(length), value), 44100, loop);
  }
  samplebuffer* Keep(samplebuffer* b) {
    if (b) buffers.push_back(b);
    return b;
  }

  // One output block, with the clock far enough on that queued voices start at once.
  std::vector<int16_t> Block() {
    std::vector<int16_t> out(kBlock);
    core.getMixer()->convert(out.data(), kBlock);
    return out;
  }
  // Cues a sound paused, applies settings while paused (they take effect at once), resumes it.
  int32_t PlayWith(samplebuffer* b, int32_t volume, int32_t pan = 0, int32_t depth = 0) {
    const int32_t h = core.allocateChannel();
    EXPECT_EQ(core.playSound(h, b, true), h);
    sound* v = core.lookup(h);
    v->setVolume(volume);
    v->setPan(pan);
    v->setDepth(depth);
    v->setPaused(false);
    return h;
  }
  void SkipStartDelay() { g_now += 25; }

  MixerCore core;
  std::vector<samplebuffer*> buffers;
};

TEST_F(SonavoxMixerTest, VoiceStartsTwentyMillisecondsAfterItWasQueued) {
  core.playSound(0, Constant16(10000, 4096), false);
  // Mixed at the same millisecond: 20 ms = 882 output frames of silence first.
  const auto first = Block();
  const auto second = Block();
  for (int32_t k = 0; k < kFrames; ++k) EXPECT_EQ(first[2 * k], 0) << k;
  for (int32_t k = 0; k < kFrames; ++k) {
    const int16_t expected = 512 + k >= 882 ? 10000 : 0;
    ASSERT_EQ(second[2 * k], expected) << k;
    ASSERT_EQ(second[2 * k + 1], expected) << k;
  }
}

TEST_F(SonavoxMixerTest, VoiceQueuedLongerAgoThanTheDelayStartsAtOnce) {
  core.playSound(0, Constant16(10000, 4096), false);
  g_now += 21;
  EXPECT_EQ(Block()[0], 10000);
}

TEST_F(SonavoxMixerTest, VolumeHalfAddsHalfGainToEachSide) {
  PlayWith(Constant16(32767, 4096), 2048);
  SkipStartDelay();
  mixer& m = *core.getMixer();
  m.update(kBlock);
  EXPECT_EQ(m.accum()[0], 32767 * 2048 >> 8);
  EXPECT_EQ(m.accum()[1], 262136);
  std::vector<int16_t> out(kBlock);
  m.convert(out.data(), kBlock);  // the second block adds to the first's sums
  EXPECT_EQ(out[0], (262136 * 2) >> 4);
  m.convert(out.data(), kBlock);
  EXPECT_EQ(out[100], 16383);
}

TEST_F(SonavoxMixerTest, PanAndDepthSetTheSideGains) {
  PlayWith(Constant16(10000, 4096), 4096, 4096, -4096);
  SkipStartDelay();
  auto out = Block();
  EXPECT_EQ(out[0], 0);       // pan fully right: no left
  EXPECT_EQ(out[1], -10000);  // negative depth inverts the right side
  core.close();
  ASSERT_TRUE(core.open(std::make_unique<ManualDevice>()));
  PlayWith(Constant16(10000, 4096), 4096, -2048);
  SkipStartDelay();
  out = Block();
  EXPECT_EQ(out[0], 10000);
  EXPECT_EQ(out[1], 10000 * (4096 * 2048 >> 12) >> 8 >> 4);  // 5000
}

TEST_F(SonavoxMixerTest, VolumeChangeFadesLinearlyOverOneBlock) {
  const int32_t h = core.playSound(0, Constant16(10000, 8192), false);
  SkipStartDelay();
  EXPECT_EQ(Block()[0], 10000);
  core.lookup(h)->setVolume(0);
  const auto fade = Block();
  // Volume runs in 8 fractional bits: 4096 << 8 down by (4096 << 8) / 512 = 2048 a frame.
  for (int32_t k = 0; k < kFrames; ++k) {
    const int32_t volume = ((4096 << 8) - 2048 * k) >> 8;
    ASSERT_EQ(fade[2 * k], (10000 * volume >> 8) >> 4) << k;
  }
  EXPECT_EQ(fade[0], 10000);
  EXPECT_EQ(fade[2 * 256], 5000);
  EXPECT_EQ(fade[2 * 511], 19);  // volume 8: 10000 × 8 >> 8 = 312, >> 4
  EXPECT_EQ(Block()[0], 0);
  EXPECT_EQ(core.lookup(h)->getVolume(0), 0);
}

TEST_F(SonavoxMixerTest, HalfRateLoopInterpolatesAndWraps) {
  std::vector<int16_t> ramp(100);
  for (int i = 0; i < 100; ++i) ramp[static_cast<size_t>(i)] = static_cast<int16_t>(i * 100);
  // 22050 Hz at rate 0x10000: step 0x10000 × 22050 / 44100 = 0x8000, half a frame.
  const int32_t h = core.playSound(0, Mono16(ramp, 22050, true), false);
  SkipStartDelay();
  const auto out = Block();
  for (int32_t k = 0; k < kFrames; ++k) {
    const int32_t j = k % 200;  // 100 frames at half speed: 200 output frames a lap
    const int32_t a = (j / 2) * 100;
    const int32_t b = j / 2 == 99 ? 0 : a + 100;  // the guard frame repeats frame 0
    const int32_t s = a + ((b - a) * (j % 2 ? 0x8000 : 0) >> 16);
    ASSERT_EQ(out[2 * k], s) << k;
  }
  EXPECT_EQ(out[2 * 199], 4950);
  EXPECT_EQ(out[2 * 200], 0);
  EXPECT_EQ(out[2 * 201], 50);
  EXPECT_EQ(core.lookup(h)->getPosition(), 256);
}

TEST_F(SonavoxMixerTest, OutputConversionClampsTo16Bits) {
  const std::vector<int16_t> frame = {30000, -30000, 30000, -30000};
  samplebuffer* b = Keep(samplebuffer::Create(2, 16, 2, 44100, frame.data(), 1));
  PlayWith(b, 5120);  // 30000 × 5120 >> 8 = 600000
  SkipStartDelay();
  mixer& m = *core.getMixer();
  m.update(kBlock);
  EXPECT_EQ(m.accum()[0], 600000);
  EXPECT_EQ(m.accum()[1], -600000);
  std::vector<int16_t> out(kBlock);
  m.convert(out.data(), kBlock);  // the sums doubled: still clamped
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
}

TEST_F(SonavoxMixerTest, EightBitSamplesAreCentredAndInterpolated) {
  const std::vector<uint8_t> stereo = {255, 0, 255, 0};
  PlayWith(Keep(samplebuffer::Create(2, 8, 2, 44100, stereo.data(), 1)), 4096);
  const std::vector<uint8_t> rising = {0, 255};
  // Mono at 22050 Hz: frame 1 of the output lies halfway between 0 and 255.
  core.playSound(0, Keep(samplebuffer::Create(2, 8, 1, 22050, rising.data(), 0)), false);
  SkipStartDelay();
  const auto out = Block();
  // Stereo: left 255 gives 255 × 256 - 0x8000 = 32512, right 0 gives -32768. The mono voice
  // adds -32768, -128 (halfway: (255 × 0x8000 >> 8) - 0x8000), then 32512 twice (frame 1 and
  // its guard copy) and ends after four output frames.
  EXPECT_EQ(out[0], 32512 - 32768);
  EXPECT_EQ(out[1], -32768);  // -65536 held to 16 bits
  EXPECT_EQ(out[2], 32512 - 128);
  EXPECT_EQ(out[4], 32767);
  EXPECT_EQ(out[6], 32767);
  EXPECT_EQ(out[8], 32512);
  EXPECT_EQ(out[9], -32768);
}

TEST_F(SonavoxMixerTest, OneShotVoiceIsRecycledAndItsChannelStopsPlaying) {
  samplebuffer* b = Constant16(1000, 100, false);
  const int32_t h = core.playSound(0, b, false);
  ASSERT_NE(h, 0);
  EXPECT_EQ(core.lookup(h)->isPlaying(), 1);
  SkipStartDelay();
  const auto out = Block();
  EXPECT_EQ(out[2 * 99], 1000);
  EXPECT_EQ(out[2 * 100], 0);  // the rest of the block stays silent
  ASSERT_NE(core.lookup(h), nullptr);
  EXPECT_EQ(core.lookup(h)->isPlaying(), 0);
  EXPECT_EQ(b->refCount.load(), 1);
  // Reusing the voice frees the handle it still held.
  const int32_t again = core.playSound(0, b, false);
  EXPECT_EQ(core.getMixer()->voiceCount(), 1);
  EXPECT_EQ(core.lookup(h), nullptr);
  EXPECT_NE(core.lookup(again), nullptr);
}

TEST_F(SonavoxMixerTest, SecondPlayOnABusyChannelReplacesTheFirst) {
  const int32_t h = core.allocateChannel();
  ASSERT_EQ(core.playSound(h, Constant16(1000, 4096), false), h);
  sound* first = core.lookup(h);
  first->setVolume(2048);
  SkipStartDelay();
  Block();
  ASSERT_EQ(core.playSound(h, Constant16(3000, 4096), false), h);
  sound* second = core.lookup(h);
  EXPECT_NE(second, first);
  EXPECT_EQ(first->status.load(), kStatusFinished);
  EXPECT_EQ(second->getVolume(0), 2048);  // the channel's settings carry over
  SkipStartDelay();
  EXPECT_EQ(Block()[0], 1500);  // only the new voice, at half volume
  EXPECT_EQ(first->status.load(), kStatusFree);
  EXPECT_EQ(second->isPlaying(), 1);
}

TEST_F(SonavoxMixerTest, StaleHandlesNameNothing) {
  const int32_t h = core.allocateChannel();
  core.playSound(h, Constant16(1000, 4096), false);
  sound* voice = core.lookup(h);
  core.stopChannel(h);
  EXPECT_EQ(core.lookup(h), nullptr);
  EXPECT_EQ(voice->status.load(), kStatusFinished);
  core.stopChannel(h);  // twice: nothing
  core.releaseChannel(h);
  core.stopChannel(0);
  EXPECT_EQ(core.lookup(0), nullptr);
  EXPECT_EQ(core.lookup(h ^ 0x1000), nullptr);  // another generation of the same index
  // The index comes back with a new generation; the old handle stays stale.
  const int32_t next = core.allocateChannel();
  EXPECT_EQ(next & 0xFFF, h & 0xFFF);
  EXPECT_NE(next, h);
  EXPECT_FALSE(core.playSound(h, Constant16(1000, 10), false) == next);
  // Freeing a stale handle must not put the index on the free list twice.
  core.releaseChannel(h);
  std::vector<int32_t> handles;
  while (int32_t x = core.allocateChannel()) handles.push_back(x);
  EXPECT_EQ(handles.size() + 2, static_cast<size_t>(kHandleCount - 1));
  SkipStartDelay();
  Block();
}

TEST_F(SonavoxMixerTest, ReleasedChannelsLetTheirVoicesFinishAndStopPausedOnes) {
  samplebuffer* b = Constant16(1000, 100, false);
  const int32_t playing = core.allocateChannel();
  core.playSound(playing, b, false);
  const int32_t paused = core.allocateChannel();
  core.playSound(paused, b, true);
  sound* pausedVoice = core.lookup(paused);
  core.releaseChannel(playing);
  core.releaseChannel(paused);
  EXPECT_EQ(pausedVoice->status.load(), kStatusFinished);
  SkipStartDelay();
  EXPECT_EQ(Block()[0], 1000);
  EXPECT_EQ(b->refCount.load(), 1);  // both voices went back to the mixer
}

TEST_F(SonavoxMixerTest, HostileSettingsStayInsideTheBuffer) {
  samplebuffer* loop = Constant16(7, 3, true);
  samplebuffer* once = Constant16(7, 3, false);
  samplebuffer* empty = Constant16(7, 0, false);
  std::vector<int16_t> one = {5};
  samplebuffer* oddRate = Keep(samplebuffer::Create(1, 16, 1, -44100, one.data(), 1));
  samplebuffer* hugeRate =
      Keep(samplebuffer::Create(1, 16, 1, std::numeric_limits<int32_t>::max(), one.data(), 1));
  const int32_t rates[] = {0, -65536, std::numeric_limits<int32_t>::max(),
                           std::numeric_limits<int32_t>::min(), 1};
  for (int32_t rate : rates) {
    for (samplebuffer* b : {loop, once, empty, oddRate, hugeRate}) {
      const int32_t h = core.allocateChannel();
      core.playSound(h, b, false);
      core.lookup(h)->setRate(rate);
      core.lookup(h)->setVolume(std::numeric_limits<int32_t>::max());
      core.lookup(h)->setPan(std::numeric_limits<int32_t>::min());
    }
  }
  SkipStartDelay();
  for (int i = 0; i < 4; ++i) Block();  // ASan and UBSan watch the reads and sums
  EXPECT_EQ(FixedFromFloat(std::nanf(""), 4096, INT16_MIN, INT16_MAX), 0);
  EXPECT_EQ(FixedFromFloat(1e30f, 65536, 0, std::numeric_limits<int32_t>::max()),
            std::numeric_limits<int32_t>::max());
  EXPECT_EQ(FixedFromFloat(-2.0f, 65536, 0, std::numeric_limits<int32_t>::max()), 0);
  EXPECT_EQ(FixedFromFloat(0.5f, 4096, INT16_MIN, INT16_MAX), 2048);
  EXPECT_EQ(FixedFromFloat(-0.99999f, 4096, -4096, 4096), -4095);  // truncates toward zero
  EXPECT_EQ(samplebuffer::Create(-1, 16, 1, 44100, nullptr, 0), nullptr);
  EXPECT_EQ(samplebuffer::Create(1, 12, 1, 44100, one.data(), 0), nullptr);
  EXPECT_EQ(samplebuffer::Create(1, 16, 3, 44100, one.data(), 0), nullptr);
  EXPECT_EQ(samplebuffer::Create(std::numeric_limits<int32_t>::max(), 16, 2, 44100, one.data(), 0), nullptr);
}

TEST_F(SonavoxMixerTest, ThousandsOfPlaysInOneFrameNeitherOverflowNorLeak) {
  samplebuffer* b = Constant16(1, 64, false);
  int32_t played = 0, refused = 0;
  for (int i = 0; i < 10000; ++i) {
    // Each play's channel is dropped at once, as a program ignoring the answer does.
    const int32_t h = core.playSound(0, b, false);
    h != 0 ? ++played : ++refused;
    core.releaseChannel(h);
  }
  EXPECT_EQ(played, kMaxVoices);
  EXPECT_EQ(refused, 10000 - kMaxVoices);
  SkipStartDelay();
  Block();
  EXPECT_EQ(b->refCount.load(), 1);
  // Every voice is back and is reused: no new ones are made.
  for (int i = 0; i < 10000; ++i) core.playSound(0, b, false);
  EXPECT_EQ(core.getMixer()->voiceCount(), kMaxVoices);
  SkipStartDelay();
  Block();
  EXPECT_EQ(b->refCount.load(), 1);
}

// Writes into the stream as much of `sequence` (the frames in playing order) as fits; answers
// how far it got.
size_t Feed(streambuffer& stream, const std::vector<int16_t>& sequence, size_t at) {
  const size_t channels = static_cast<size_t>(stream.channels);
  const size_t n = std::min(static_cast<size_t>(stream.writable()), (sequence.size() - at) / channels);
  stream.write(sequence.data() + at, static_cast<int32_t>(n));
  return at + n * channels;
}

// A streamed voice sounds exactly as the whole buffer does: across the ring's wrap, at other
// rates (interpolating across pieces), at the end and across the loop point.
TEST_F(SonavoxMixerTest, StreamedVoiceSoundsAsTheWholeBuffer) {
  constexpr int32_t kLength = 5000;
  std::vector<int16_t> frames;
  for (int32_t i = 0; i < kLength; ++i) {
    frames.push_back(static_cast<int16_t>((i * 7919) % 60000 - 30000));
    frames.push_back(static_cast<int16_t>((i * 104729) % 50000 - 25000));
  }
  for (const int32_t hertz : {44100, 22050, 48000}) {
    for (const bool loop : {false, true}) {
      SCOPED_TRACE(testing::Message() << hertz << (loop ? " looping" : " once"));
      samplebuffer* whole = Keep(samplebuffer::Create(kLength, 16, 2, hertz, frames.data(), loop));
      constexpr int kBlocks = 30;  // past the end, and past the loop point twice
      std::vector<int16_t> expected;
      SkipStartDelay();
      const int32_t h = core.playSound(0, whole, false);
      for (int b = 0; b < kBlocks; ++b) {
        const std::vector<int16_t> out = Block();
        expected.insert(expected.end(), out.begin(), out.end());
      }
      core.stopChannel(h);
      Block();

      // The sequence the stream gets: the frames, then the loop written out again, or the
      // last frame once more as the guard.
      std::vector<int16_t> sequence = frames;
      if (loop) {
        for (int k = 0; k < 5; ++k) sequence.insert(sequence.end(), frames.begin(), frames.end());
      } else {
        sequence.insert(sequence.end(), frames.end() - 2, frames.end());
      }
      streambuffer* stream = streambuffer::Create(2, hertz, 1500, 700);
      size_t fed = Feed(*stream, sequence, 0);
      if (!loop) stream->end(kLength);
      SkipStartDelay();
      const int32_t s = core.playStream(0, stream, false);
      std::vector<int16_t> actual;
      for (int b = 0; b < kBlocks; ++b) {
        const std::vector<int16_t> out = Block();
        actual.insert(actual.end(), out.begin(), out.end());
        fed = Feed(*stream, sequence, fed);
      }
      core.stopChannel(s);
      Block();
      EXPECT_EQ(stream->underruns.load(), 0);
      EXPECT_EQ(actual, expected);
      stream->Release();
    }
  }
}

TEST_F(SonavoxMixerTest, StreamedVoiceWaitsSilentlyWhenTheStreamFallsBehindAndEndsWithIt) {
  streambuffer* stream = streambuffer::Create(1, 44100, 4096, 1024);
  std::vector<int16_t> piece(300, 1000);
  stream->write(piece.data(), 300);
  const int32_t h = core.playStream(0, stream, false);
  SkipStartDelay();
  EXPECT_EQ(Block()[0], 0);  // 300 frames cannot fill a block of 512
  EXPECT_EQ(stream->underruns.load(), 1);
  stream->write(piece.data(), 300);
  stream->write(piece.data(), 1);  // the guard
  stream->end(600);
  const std::vector<int16_t> out = Block();
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[2 * 511], 1000);
  EXPECT_EQ(Block()[2 * 88], 0);  // the 600 frames ended 88 frames into this block
  EXPECT_EQ(core.lookup(h) ? core.lookup(h)->isPlaying() : 0, 0);
  core.stopChannel(h);
  stream->Release();
}

// The program's thread plays, stops and changes voices while another thread mixes: the rings,
// the shared voice fields and the buffers' counts are the only crossings (ThreadSanitizer runs
// this test in CI).
TEST_F(SonavoxMixerTest, ProgramAndMixingThreadsShareOnlyTheRingsAndVoiceFieldsUnderThreadSanitizer) {
  samplebuffer* shortOne = Constant16(100, 300, false);
  samplebuffer* looping = Constant16(200, 1000, true);
  std::atomic<bool> running{true};
  mixer* m = core.getMixer();
  // A stream fed by a thread of its own, as music is: the ring's two counters are its only
  // crossing with the mixing thread.
  streambuffer* stream = streambuffer::Create(2, 44100, 8192, 2048);
  std::thread feeding([&] {
    std::vector<int16_t> piece(2 * 1000, 300);
    while (running.load()) {
      if (stream->writable() >= 1000) stream->write(piece.data(), 1000);
      std::this_thread::yield();
    }
  });
  const int32_t music = core.playStream(core.allocateChannel(), stream, false);
  std::thread mixing([&] {
    std::vector<int16_t> out(kBlock);
    while (running.load()) {
      g_now.fetch_add(12);
      m->convert(out.data(), kBlock);
    }
  });
  std::vector<int32_t> channels;
  for (int i = 0; i < 4000; ++i) {
    const int32_t h =
        core.playSound(i % 3 ? 0 : core.allocateChannel(), i % 2 ? shortOne : looping, i % 5 == 0);
    if (sound* v = core.lookup(h)) {
      v->setVolume(i % 4096);
      v->setPan(i % 8192 - 4096);
      v->setRate(0x8000 + i);
      v->setPaused(i % 7 == 0);
      (void)v->getPosition();
      (void)v->isPlaying();
    }
    if (i % 3 == 0) {
      channels.push_back(h);
    } else {
      core.releaseChannel(h);
    }
    if (channels.size() > 50) {
      core.stopChannel(channels.front());
      channels.erase(channels.begin());
    }
    if (i % 100 == 0) std::this_thread::yield();
  }
  running = false;
  mixing.join();
  feeding.join();
  core.stopChannel(music);
  stream->Release();
  for (int32_t h : channels) core.stopChannel(h);
  std::vector<int16_t> out(kBlock);
  m->convert(out.data(), kBlock);
}

}  // namespace
}  // namespace corvex::sonavox
