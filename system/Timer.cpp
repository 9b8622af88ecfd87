#include "system/Timer.h"

#include <array>
#include <cmath>

#include "runtime/Module.h"
#include "system/SystemDriver.h"
#include "system/sdl2/TimerSdl2.h"

namespace corvex {
namespace {

// The running timers by tick source id (index 0 unused). Only the pumping thread touches it;
// each running timer's selfRef keeps the pointer valid until Stop clears the entry.
constinit std::array<TTimer*, kMaxRunningTimers + 1> g_running{};

void DeliverTicks(int32_t source, int32_t expiries) {
  if (source < 1 || source > kMaxRunningTimers) return;
  for (int32_t n = 0; n < expiries; ++n) {
    // Looked up again for every tick: a listener may stop the timer on the way.
    TTimer* const timer = g_running[static_cast<std::size_t>(source)];
    if (timer == nullptr) return;
    Ref<TTimer>(timer)->Fire();
  }
}

}  // namespace

uint32_t TimerPeriodMillis(float hertz) {
  const double period = 1000.0 / static_cast<double>(hertz);
  // Non-positive, NaN and vanishing rates give no period that SDL could take.
  if (!(period >= 1.0) || period > 4294967295.0) return 0;
  return static_cast<uint32_t>(period);
}

int32_t TTimer::Ticks() {
  return ticks_;
}

void TTimer::Stop() {
  if (handle_ == 0) return;
  StopTickSource(handle_);
  g_running[static_cast<std::size_t>(handle_)] = nullptr;
  handle_ = 0;
  event_ = Null;
  selfRef_ = Null;  // may release the timer: nothing touches it after this
}

void TTimer::Fire() {
  if (handle_ == 0) return;
  const Ref<TTimer> self(this);  // a listener may stop the timer and drop the last reference
  ++ticks_;
  if (event_) {
    event_->Emit();
  } else {
    NewEvent(EVENT_TIMERTICK, self, ticks_, 0, 0, 0, Null)->Emit();
  }
}

int32_t TTimer::WaitTicks() {
  if (handle_ == 0) return 0;
  const Ref<TTimer> self(this);
  // At least one wait even with ticks pending; a timer stopped meanwhile ends the wait.
  do {
    WaitSystemEvents();
  } while (ticks_ == seenTicks_ && handle_ != 0);
  const int32_t count = ticks_ - seenTicks_;
  seenTicks_ = ticks_;
  return count;
}

Ref<TTimer> TTimer::Create(float hertz, const Ref<TEvent>& event) {
  InitTimerModule();
  const uint32_t period = TimerPeriodMillis(hertz);
  if (period == 0) return Null;
  const int32_t source = StartTickSource(period, DeliverTicks);
  if (source == 0) return Null;
  Ref<TTimer> timer = New<TTimer>();
  timer->selfRef_ = timer;
  timer->event_ = event;
  timer->handle_ = source;
  g_running[static_cast<std::size_t>(source)] = timer.Get();
  return timer;
}

Ref<TTimer> StartTimer(float hertz, const Ref<TEvent>& event) {
  return TTimer::Create(hertz, event);
}
int32_t TimerTickCount(const Ref<TTimer>& timer) {
  return timer->Ticks();
}
int32_t WaitTimerTicks(const Ref<TTimer>& timer) {
  return timer->WaitTicks();
}
void StopTimer(const Ref<TTimer>& timer) {
  timer->Stop();
}

void InitTimerModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitEventModule();
  InitSystemModule();
}

}  // namespace corvex
