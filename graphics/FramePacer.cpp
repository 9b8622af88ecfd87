#include "graphics/FramePacer.h"

namespace corvex {
namespace {

// Clock arithmetic wraps like the clock itself instead of overflowing.
int32_t AddMillis(int32_t time, int32_t millis) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(time) + static_cast<uint32_t>(millis));
}

}  // namespace

void FramePacer::Start(int32_t hertz, int32_t now) noexcept {
  rate_ = hertz;
  millisPerFrame_ = hertz > 0 ? 1000 / hertz : 0;
  remainder_ = 1000 - millisPerFrame_ * (hertz > 0 ? hertz : 0);
  accumulator_ = 0;
  nextFrameTime_ = now;
}

int32_t FramePacer::NextWait(int32_t now) noexcept {
  if (rate_ <= 0) return 0;
  nextFrameTime_ = AddMillis(nextFrameTime_, millisPerFrame_);
  accumulator_ += remainder_;
  if (accumulator_ >= rate_) {
    accumulator_ -= rate_;
    nextFrameTime_ = AddMillis(nextFrameTime_, 1);
  }
  const int32_t wait = MillisBetween(now, nextFrameTime_);
  if (wait > 0) return wait;
  nextFrameTime_ = now;
  return 0;
}

}  // namespace corvex
