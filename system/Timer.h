// Timers: periodic ticks counted and raised as events on the thread that pumps events.
#pragma once

#include <cstdint>

#include "runtime/Object.h"
#include "system/Event.h"

namespace corvex {

// A running timer counts a tick each period and emits an event for it ("TimerTick" with the
// timer as source and the count as data, or the program's own event). The platform only
// queues the expiry; the tick is counted and raised when the pumping thread next dispatches.
class TTimer : public Object {
 public:
  // Ticks counted since the timer started.
  virtual int32_t Ticks();
  // Stops the timer for good; a stopped timer keeps its count and does nothing else.
  virtual void Stop();
  // One tick: counts it and emits the event (nothing on a stopped timer).
  virtual void Fire();
  // Waits until at least one tick is newer than the previous wait and answers how many are;
  // 0 at once on a stopped timer.
  virtual int32_t WaitTicks();
  // Starts a timer of `hertz` ticks a second, or answers Null when the rate gives no whole
  // millisecond period or no more timers can run.
  static Ref<TTimer> Create(float hertz, const Ref<TEvent>& event);

 private:
  int32_t ticks_ = 0;
  int32_t seenTicks_ = 0;
  // Keeps a running timer alive when the program drops it.
  Ref<TTimer> selfRef_;
  Ref<TEvent> event_;
  // The platform tick source, 0 when stopped.
  int32_t handle_ = 0;
};

// Most timers that can run at once.
inline constexpr int32_t kMaxRunningTimers = 16;

// TTimer::Create.
Ref<TTimer> StartTimer(float hertz, const Ref<TEvent>& event = Null);
// The timer's tick count.
int32_t TimerTickCount(const Ref<TTimer>& timer);
// The timer's WaitTicks.
int32_t WaitTimerTicks(const Ref<TTimer>& timer);
// Stops the timer.
void StopTimer(const Ref<TTimer>& timer);
// The period of a rate in whole milliseconds (1000 / hertz truncated), 0 for a rate that
// gives none.
uint32_t TimerPeriodMillis(float hertz);

// The timer module's initialiser.
void InitTimerModule();

}  // namespace corvex
