#include "graphics/FramePacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace corvex {
namespace {

// The waits of `frames` frames that each take no time, starting at `now`.
std::vector<int32_t> WaitsOfInstantFrames(FramePacer& pacer, int32_t now, int frames) {
  std::vector<int32_t> waits;
  for (int frame = 0; frame < frames; ++frame) {
    const int32_t wait = pacer.NextWait(now);
    waits.push_back(wait);
    now += wait;
  }
  return waits;
}

TEST(FramePacerTest, EveryRateAddsExactlyOneSecondPerRunOfFrames) {
  for (const int32_t hertz : {1, 24, 30, 50, 59, 60, 75, 85, 100, 120, 144, 240, 999, 1000}) {
    FramePacer pacer;
    pacer.Start(hertz, 0);
    WaitsOfInstantFrames(pacer, 0, hertz);
    EXPECT_EQ(pacer.NextFrameTime(), 1000) << hertz << " Hz";
  }
}

TEST(FramePacerTest, ALateFrameSleepsNotAndRestartsFromNow) {
  FramePacer pacer;
  pacer.Start(60, 0);
  EXPECT_EQ(pacer.NextWait(0), 16);  // the frame is due at 16
  EXPECT_EQ(pacer.NextWait(60), 0);  // due at 33, 27 ms late
  EXPECT_EQ(pacer.NextFrameTime(), 60);
  // Pacing goes on from 60 (no burst of catch-up frames); the accumulator keeps its phase.
  EXPECT_EQ(pacer.NextWait(60), 17);
  EXPECT_EQ(pacer.NextWait(77), 16);
  // A frame exactly on time is not late, but does not sleep either.
  EXPECT_EQ(pacer.NextWait(110), 0);
  EXPECT_EQ(pacer.NextFrameTime(), 110);
}

TEST(FramePacerTest, WorksAcrossAWrapOfTheClock) {
  const int32_t max = std::numeric_limits<int32_t>::max();
  FramePacer pacer;
  pacer.Start(60, max - 5);
  EXPECT_EQ(pacer.NextWait(max - 5), 16);
  EXPECT_EQ(pacer.NextFrameTime(), std::numeric_limits<int32_t>::min() + 10);
  EXPECT_EQ(pacer.NextWait(std::numeric_limits<int32_t>::min() + 10), 17);
}

TEST(FramePacerTest, ZeroOrNegativeRatesPaceNothing) {
  for (const int32_t hertz : {0, -60, std::numeric_limits<int32_t>::min()}) {
    FramePacer pacer;
    pacer.Start(hertz, 100);
    EXPECT_EQ(pacer.MillisPerFrame(), 0);
    for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(pacer.NextWait(100), 0);
    EXPECT_EQ(pacer.NextFrameTime(), 100);
  }
}

}  // namespace
}  // namespace corvex
