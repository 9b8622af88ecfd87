// Soft frame pacing: the millisecond arithmetic that spreads each second over a whole number of
// frames, kept apart from any clock so that it can be checked exactly.
#pragma once

#include <cstdint>

namespace corvex {

// How many milliseconds `later` lies after `earlier` on a clock that wraps around.
constexpr int32_t MillisBetween(int32_t earlier, int32_t later) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}

// Paces frames at `hertz` per second in whole milliseconds: every frame gets 1000 / hertz
// milliseconds and the remainder is spread one millisecond at a time, so every run of `hertz`
// frames adds exactly 1000 milliseconds (16, 17, 17, ... at 60 Hz). Times are millisecond
// clock readings that may wrap; they are compared by subtraction only.
class FramePacer {
 public:
  // Starts pacing from `now`; a rate of 0 or less paces nothing.
  void Start(int32_t hertz, int32_t now) noexcept;
  // Advances to the next frame's time and answers how long to sleep from `now` to reach it.
  // A frame that is already late answers 0 and restarts pacing from `now`, so a slow frame
  // is not followed by a burst of unpaced ones.
  int32_t NextWait(int32_t now) noexcept;

  // The pacing state, for tests and diagnostics: the rate, the whole milliseconds of a frame,
  // the milliseconds left over per second, the accumulator that spreads them, and the next
  // frame's clock time.
  int32_t Rate() const noexcept { return rate_; }
  int32_t MillisPerFrame() const noexcept { return millisPerFrame_; }
  int32_t Remainder() const noexcept { return remainder_; }
  int32_t Accumulator() const noexcept { return accumulator_; }
  int32_t NextFrameTime() const noexcept { return nextFrameTime_; }

 private:
  int32_t rate_ = 0;
  int32_t millisPerFrame_ = 0;
  int32_t remainder_ = 0;
  int32_t accumulator_ = 0;
  int32_t nextFrameTime_ = 0;
};

}  // namespace corvex
