#include "system/Timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

#include "system/EventQueue.h"
#include "system/Hook.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

// What a listener saw of an event when it was emitted (the queue updates merged events later).
struct Heard {
  int32_t id;
  Ref<Object> source;
  int32_t data;
  const TEvent* event;
};

// Every event emitted while a test listens, in order.
std::vector<Heard> g_heard;
// When set, the listener stops this timer on the first tick it hears from it.
TTimer* g_stopOnTick = nullptr;

Ref<Object> Listen(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  if (Ref<TEvent> event = Cast<TEvent>(data)) {
    g_heard.push_back(Heard{event->id, event->source, event->data, event.Get()});
    if (g_stopOnTick != nullptr && event->source.Get() == g_stopOnTick) {
      TTimer* const timer = g_stopOnTick;
      g_stopOnTick = nullptr;
      timer->Stop();
    }
  }
  return data;
}

class TimerTest : public testing::Test {
 protected:
  void SetUp() override {
    InitSystemModule();
    InitEventQueueModule();
    InitTimerModule();
    while (QueuedEventCount() > 0) NextEvent();
    g_heard.clear();
    g_stopOnTick = nullptr;
    AttachHook(EventHookId(), Listen, Null, 0);
  }
  void TearDown() override {
    DetachHook(EventHookId(), Listen, Null);
    for (const Ref<TTimer>& timer : timers_) StopTimer(timer);
    timers_.clear();
    while (QueuedEventCount() > 0) NextEvent();
  }

  Ref<TTimer> Start(float hertz, const Ref<TEvent>& event = Null) {
    Ref<TTimer> timer = StartTimer(hertz, event);
    if (timer) timers_.push_back(timer);
    return timer;
  }
  // Pumps events for about `millis` milliseconds.
  static void PumpFor(int32_t millis) {
    const int32_t start = MillisNow();
    while (MillisNow() - start < millis) {
      PollSystemEvents();
      SleepMillis(1);
    }
  }
  // The ticks heard from `source`, with their data.
  static std::vector<int32_t> TicksFrom(const Ref<Object>& source) {
    std::vector<int32_t> data;
    for (const Heard& event : g_heard) {
      if (event.id == EVENT_TIMERTICK && event.source == source) data.push_back(event.data);
    }
    return data;
  }

  std::vector<Ref<TTimer>> timers_;
};

TEST_F(TimerTest, PeriodIsWholeMillisecondsOrRefused) {
  EXPECT_EQ(TimerPeriodMillis(60.0f), 16u);
  EXPECT_EQ(TimerPeriodMillis(0.5f), 2000u);
  EXPECT_EQ(TimerPeriodMillis(1000.0f), 1u);
  EXPECT_EQ(TimerPeriodMillis(3.0f), 333u);
  EXPECT_EQ(TimerPeriodMillis(1000.5f), 0u);
  EXPECT_EQ(TimerPeriodMillis(0.0f), 0u);
  EXPECT_EQ(TimerPeriodMillis(-10.0f), 0u);
  EXPECT_EQ(TimerPeriodMillis(std::numeric_limits<float>::quiet_NaN()), 0u);
  EXPECT_EQ(TimerPeriodMillis(std::numeric_limits<float>::infinity()), 0u);
  EXPECT_EQ(TimerPeriodMillis(1e-9f), 0u);  // a period beyond 32 bits of milliseconds
  EXPECT_TRUE(StartTimer(2000.0f).IsNull());
  EXPECT_TRUE(StartTimer(0.0f).IsNull());
}

TEST_F(TimerTest, TicksArriveAsCountedEventsOnThePumpingThread) {
  const Ref<TTimer> timer = Start(100.0f);
  ASSERT_TRUE(timer);
  EXPECT_EQ(TimerTickCount(timer), 0);
  PumpFor(300);
  const std::vector<int32_t> ticks = TicksFrom(timer);
  // 10 ms periods over 300 ms, with generous room for a loaded machine.
  EXPECT_GE(ticks.size(), 10u);
  EXPECT_LE(ticks.size(), 40u);
  for (std::size_t n = 0; n < ticks.size(); ++n) EXPECT_EQ(ticks[n], static_cast<int32_t>(n) + 1);
  EXPECT_EQ(TimerTickCount(timer), static_cast<int32_t>(ticks.size()));
}

// Late wake-ups of the platform's timer are made up rather than lost: by any moment a timer has
// ticked once per period since it started (less the last tick or two on their way), however
// late its wake-ups came on a loaded machine.
TEST_F(TimerTest, TimersKeepTheirRateOverSeconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point before = Clock::now();
  const Ref<TTimer> fast = Start(250.0f);
  const Ref<TTimer> slow = Start(100.0f);
  const Clock::time_point after = Clock::now();
  ASSERT_TRUE(fast && slow);
  PumpFor(2500);
  const double dueBy = std::chrono::duration<double>(Clock::now() - after).count();
  PumpFor(300);  // what was due has arrived by now
  const int32_t fastTicks = TimerTickCount(fast);
  const int32_t slowTicks = TimerTickCount(slow);
  const double atMost = std::chrono::duration<double>(Clock::now() - before).count();
  EXPECT_GE(fastTicks, static_cast<int32_t>(250 * dueBy) - 1);
  EXPECT_LE(fastTicks, static_cast<int32_t>(250 * atMost) + 1);
  EXPECT_GE(slowTicks, static_cast<int32_t>(100 * dueBy) - 1);
  EXPECT_LE(slowTicks, static_cast<int32_t>(100 * atMost) + 1);
}

TEST_F(TimerTest, UntakenTicksMergeIntoOneQueuedEvent) {
  const Ref<TTimer> fast = Start(100.0f);
  const Ref<TTimer> slow = Start(50.0f);
  ASSERT_TRUE(fast && slow);
  SleepMillis(150);  // ticks pile up while nothing pumps
  PumpFor(20);
  ASSERT_EQ(QueuedEventCount(), 2);
  EXPECT_EQ(NextEvent(), EVENT_TIMERTICK);
  const Ref<Object> first = LastEventSource();
  const int32_t firstData = LastEventData();
  EXPECT_EQ(NextEvent(), EVENT_TIMERTICK);
  EXPECT_NE(LastEventSource(), first);
  const Ref<TTimer> firstTimer = Cast<TTimer>(first);
  ASSERT_TRUE(firstTimer);
  EXPECT_EQ(firstData, TimerTickCount(firstTimer));  // the latest count
  EXPECT_GE(TimerTickCount(fast), 5);
}

TEST_F(TimerTest, WaitCountsEveryTickSinceThePreviousWait) {
  const Ref<TTimer> timer = Start(100.0f);
  ASSERT_TRUE(timer);
  EXPECT_GE(WaitTimerTicks(timer), 1);
  SleepMillis(60);  // busy elsewhere for about six periods
  EXPECT_GE(WaitTimerTicks(timer), 3);
  EXPECT_GE(WaitTimerTicks(timer), 1);
  StopTimer(timer);
  EXPECT_EQ(WaitTimerTicks(timer), 0);
}

TEST_F(TimerTest, WaitForEventWakesForATick) {
  const Ref<TTimer> timer = Start(50.0f);
  ASSERT_TRUE(timer);
  EXPECT_EQ(WaitForEvent(), EVENT_TIMERTICK);
  EXPECT_EQ(LastEventSource(), timer);
  EXPECT_NE(LastEventSourceHandle(), 0);
}

TEST_F(TimerTest, SuppliedEventIsRaisedOnEveryTick) {
  const Ref<TEvent> event = NewEvent(EVENT_APPOPENFILE, Null, 42, 0, 0, 0, Null);
  const Ref<TTimer> timer = Start(100.0f, event);
  ASSERT_TRUE(timer);
  PumpFor(100);
  int32_t heard = 0;
  for (const Heard& each : g_heard) {
    if (each.id == EVENT_APPOPENFILE) {
      EXPECT_EQ(each.event, event.Get());
      ++heard;
    }
  }
  EXPECT_GE(heard, 3);
  EXPECT_EQ(TimerTickCount(timer), heard);
  EXPECT_EQ(event->data, 42);
  EXPECT_TRUE(TicksFrom(timer).empty());
}

TEST_F(TimerTest, SixteenTimersRunAndTheSeventeenthIsRefused) {
  for (int n = 0; n < kMaxRunningTimers; ++n) ASSERT_TRUE(Start(1.0f)) << n;
  EXPECT_TRUE(StartTimer(1.0f).IsNull());
  StopTimer(timers_[5]);
  StopTimer(timers_[5]);  // twice is harmless
  EXPECT_TRUE(Start(1.0f));
  EXPECT_TRUE(StartTimer(1.0f).IsNull());
}

TEST_F(TimerTest, StoppedTimerKeepsItsCountAndGetsNoMoreTicks) {
  Ref<TTimer> timer = Start(200.0f);
  ASSERT_TRUE(timer);
  PumpFor(50);
  StopTimer(timer);
  const int32_t final = TimerTickCount(timer);
  EXPECT_GT(final, 0);
  const std::size_t heard = TicksFrom(timer).size();
  PumpFor(50);
  EXPECT_EQ(TimerTickCount(timer), final);
  EXPECT_EQ(TicksFrom(timer).size(), heard);
  timer->Fire();  // does nothing on a stopped timer
  EXPECT_EQ(TimerTickCount(timer), final);
}

TEST_F(TimerTest, TickForAReleasedTimerNeverReachesIt) {
  // Expiries of a fast timer pile up unpumped; the timer is then stopped and released, and a
  // new timer takes the same tick source. Neither the freed timer nor the new one gets them.
  Ref<TTimer> old = StartTimer(1000.0f);
  ASSERT_TRUE(old);
  SleepMillis(30);
  StopTimer(old);
  old = Null;
  const Ref<TTimer> fresh = Start(1.0f);
  ASSERT_TRUE(fresh);
  PumpFor(50);
  EXPECT_EQ(TimerTickCount(fresh), 0);
  for (const Heard& event : g_heard) EXPECT_NE(event.id, EVENT_TIMERTICK);
}

TEST_F(TimerTest, ListenerStoppingTheOnlyHolderEndsDelivery) {
  // Many expiries are delivered together; the first tick's listener stops the timer (dropping
  // its self-reference while the program holds none): the rest must not reach it.
  Ref<TTimer> timer = StartTimer(1000.0f);
  ASSERT_TRUE(timer);
  const Object* const address = timer.Get();
  g_stopOnTick = timer.Get();
  timer = Null;  // only the running timer's own reference remains
  SleepMillis(30);
  PumpFor(20);
  int32_t ticks = 0;
  for (const Heard& event : g_heard) {
    if (event.id == EVENT_TIMERTICK && event.source.Get() == address) ++ticks;
  }
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(g_stopOnTick, nullptr);
}

}  // namespace
}  // namespace corvex
