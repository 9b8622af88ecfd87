#include "system/EventQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "system/Hook.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

Ref<TEvent> Event(int32_t id, const Ref<Object>& source = Null, int32_t data = 0) {
  return NewEvent(id, source, data, 0, 0, 0, Null);
}

class EventQueueTest : public testing::Test {
 protected:
  void SetUp() override {
    InitEventQueueModule();
    InitSystemModule();
    Drain();
  }
  void TearDown() override { Drain(); }
  static void Drain() {
    while (QueuedEventCount() > 0) NextEvent();
  }
};

TEST_F(EventQueueTest, EventsComeOutInOrderAcrossTheRingBoundary) {
  int32_t next = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 200; ++i) SendEvent(Event(EVENT_KEYDOWN, Null, round * 200 + i));
    EXPECT_EQ(QueuedEventCount(), 200);
    while (QueuedEventCount() > 0) {
      ASSERT_EQ(NextEvent(), EVENT_KEYDOWN);
      ASSERT_EQ(LastEventData(), next++);
    }
  }
}

TEST_F(EventQueueTest, TakenEventFillsTheLastEventAccessors) {
  const Ref<Object> source = New<Object>();
  SendEvent(NewEvent(EVENT_MOUSEDOWN, source, 2, 4, 10, -20, New<TStringObject>(String("hello"))));
  SendEvent(NewEvent(EVENT_MOUSEUP, source, 2, 0, 11, 21, New<Object>()));
  EXPECT_EQ(NextEvent(), EVENT_MOUSEDOWN);
  EXPECT_EQ(LastEventId(), EVENT_MOUSEDOWN);
  EXPECT_EQ(LastEventData(), 2);
  EXPECT_EQ(LastEventMods(), 4);
  EXPECT_EQ(LastEventX(), 10);
  EXPECT_EQ(LastEventY(), -20);
  EXPECT_EQ(LastEventSource(), source);
  EXPECT_EQ(LastEventText(), String("hello"));
  EXPECT_EQ(NextEvent(), EVENT_MOUSEUP);
  EXPECT_EQ(LastEventText(), String(""));
  EXPECT_FALSE(LastEventExtra().IsNull());
}

TEST_F(EventQueueTest, EmptyQueueGivesTheBlankEvent) {
  SendEvent(NewEvent(EVENT_KEYCHAR, New<Object>(), 65, 1, 2, 3, New<TStringObject>(String("A"))));
  NextEvent();
  EXPECT_EQ(NextEvent(), 0);
  EXPECT_EQ(LastEventId(), 0);
  EXPECT_EQ(LastEventData(), 0);
  EXPECT_EQ(LastEventMods(), 0);
  EXPECT_EQ(LastEventX(), 0);
  EXPECT_EQ(LastEventY(), 0);
  EXPECT_TRUE(LastEventSource().IsNull());
  EXPECT_TRUE(LastEventExtra().IsNull());
  EXPECT_EQ(LastEventText(), String(""));
  EXPECT_EQ(LastEventSourceHandle(), 0);
  EXPECT_TRUE(PeekEvent().IsNull());
}

TEST_F(EventQueueTest, TakingAnEventReleasesItsSlot) {
  Ref<TEvent> event = Event(EVENT_KEYDOWN);
  SendEvent(event);
  EXPECT_EQ(event->RefCount(), 2);
  NextEvent();
  EXPECT_EQ(event->RefCount(), 2);  // now held as the last event instead of by the ring
  SendEvent(Event(EVENT_KEYUP));
  NextEvent();
  EXPECT_EQ(event->RefCount(), 1);
}

TEST_F(EventQueueTest, PeekLeavesTheEventQueued) {
  const Ref<TEvent> event = Event(EVENT_KEYDOWN);
  SendEvent(event);
  EXPECT_EQ(PeekEvent(), event);
  EXPECT_EQ(PeekEvent(), event);
  EXPECT_EQ(QueuedEventCount(), 1);
  EXPECT_EQ(WaitForEvent(), EVENT_KEYDOWN);  // something is queued: no waiting
  EXPECT_EQ(LastEvent(), event);
}

TEST_F(EventQueueTest, FullQueueDropsNewEventsButStillMerges) {
  const Ref<Object> timer = New<Object>();
  SendEvent(Event(EVENT_TIMERTICK, timer, 1));
  for (int i = 1; i < kEventQueueSize; ++i) SendEvent(Event(EVENT_KEYDOWN, Null, i));
  ASSERT_EQ(QueuedEventCount(), kEventQueueSize);
  SendEvent(Event(EVENT_KEYDOWN, Null, 999));
  SendEvent(Event(EVENT_TIMERTICK, New<Object>(), 1));  // another timer: no slot for it
  SendEvent(Event(EVENT_TIMERTICK, timer, 7));          // merged into the first tick
  EXPECT_EQ(QueuedEventCount(), kEventQueueSize);
  EXPECT_EQ(NextEvent(), EVENT_TIMERTICK);
  EXPECT_EQ(LastEventData(), 7);
  int32_t last = 0;
  while (QueuedEventCount() > 0) {
    NextEvent();
    last = LastEventData();
  }
  EXPECT_EQ(last, kEventQueueSize - 1);
}

TEST_F(EventQueueTest, MergingKeepsThePlaceAndTakesTheNewFields) {
  const Ref<Object> timer = New<Object>();
  const Ref<Object> other = New<Object>();
  const Ref<TEvent> firstTick = Event(EVENT_TIMERTICK, timer, 1);
  SendEvent(firstTick);
  SendEvent(Event(EVENT_KEYDOWN, Null, 65));
  SendEvent(Event(EVENT_TIMERTICK, other, 1));
  const Ref<Object> extra = New<TStringObject>(String("later"));
  SendEvent(NewEvent(EVENT_TIMERTICK, timer, 3, 1, 2, 3, extra));
  EXPECT_EQ(QueuedEventCount(), 3);

  EXPECT_EQ(NextEvent(), EVENT_TIMERTICK);
  EXPECT_EQ(LastEvent(), firstTick);  // the queued object was updated, not replaced
  EXPECT_EQ(LastEventData(), 3);
  EXPECT_EQ(LastEventMods(), 1);
  EXPECT_EQ(LastEventX(), 2);
  EXPECT_EQ(LastEventY(), 3);
  EXPECT_EQ(LastEventExtra(), extra);
  EXPECT_EQ(NextEvent(), EVENT_KEYDOWN);
  EXPECT_EQ(NextEvent(), EVENT_TIMERTICK);
  EXPECT_EQ(LastEventSource(), other);
}

TEST_F(EventQueueTest, OnlyWindowMoveSizeTimerTickAndGadgetActionMerge) {
  const Ref<Object> source = New<Object>();
  for (const int32_t id : {EVENT_WINDOWMOVE, EVENT_WINDOWSIZE, EVENT_TIMERTICK, EVENT_GADGETACTION}) {
    SendEvent(Event(id, source, 1));
    SendEvent(Event(id, source, 2));
    SendEvent(Event(id, Null, 3));
    SendEvent(Event(id, Null, 4));
    EXPECT_EQ(QueuedEventCount(), 2) << id;
    Drain();
  }
  for (const int32_t id : {EVENT_MOUSEMOVE, EVENT_KEYDOWN, EVENT_WINDOWCLOSE, EVENT_GADGETPAINT}) {
    SendEvent(Event(id, source, 1));
    SendEvent(Event(id, source, 2));
    EXPECT_EQ(QueuedEventCount(), 2) << id;
    Drain();
  }
  // Merging is the listener's choice; QueueEvent itself merges whatever it is asked to.
  QueueEvent(Event(EVENT_MOUSEMOVE, source, 1), true);
  QueueEvent(Event(EVENT_MOUSEMOVE, source, 2), true);
  QueueEvent(Event(EVENT_TIMERTICK, source, 1), false);
  QueueEvent(Event(EVENT_TIMERTICK, source, 2), false);
  QueueEvent(Null, false);
  EXPECT_EQ(QueuedEventCount(), 3);
}

Ref<Object> g_countAtListener;

Ref<Object> CountQueued(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  g_countAtListener = New<TStringObject>(String::FromInt(QueuedEventCount()));
  return data;
}

TEST_F(EventQueueTest, QueueListensAfterOrdinaryListenersAndOnlyTakesEvents) {
  AttachHook(EventHookId(), CountQueued, Null, 0);
  SendEvent(Event(EVENT_KEYDOWN));
  DetachHook(EventHookId(), CountQueued, Null);
  EXPECT_EQ(g_countAtListener->ToString(), String("0"));
  EXPECT_EQ(QueuedEventCount(), 1);

  const Ref<Object> notAnEvent = New<TStringObject>(String("x"));
  EXPECT_EQ(CallHooks(EventHookId(), notAnEvent), notAnEvent);
  EXPECT_EQ(QueuedEventCount(), 1);
}

TEST_F(EventQueueTest, SourceHandlesAreStableUniqueAndNonZero) {
  Ref<Object> first = New<Object>();
  const Ref<Object> second = New<Object>();
  SendEvent(Event(EVENT_KEYDOWN, first));
  SendEvent(Event(EVENT_KEYDOWN, second));
  SendEvent(Event(EVENT_KEYDOWN, first));
  NextEvent();
  const int32_t firstHandle = LastEventSourceHandle();
  NextEvent();
  const int32_t secondHandle = LastEventSourceHandle();
  NextEvent();
  EXPECT_NE(firstHandle, 0);
  EXPECT_NE(secondHandle, 0);
  EXPECT_NE(firstHandle, secondHandle);
  EXPECT_EQ(LastEventSourceHandle(), firstHandle);
  EXPECT_EQ(ObjectHandle(first), firstHandle);
  EXPECT_EQ(ObjectHandle(Null), 0);

  // Handles are never handed to another object, not even one at a dead object's address, and
  // the table lets go of objects nobody else holds.
  Drain();
  NextEvent();  // the last event no longer holds `first`
  const Object* const firstAddress = first.Get();
  first = Null;
  std::vector<Ref<Object>> objects;
  std::vector<int32_t> handles;
  for (int i = 0; i < 1000; ++i) {
    objects.push_back(New<Object>());
    handles.push_back(ObjectHandle(objects.back()));
    if (objects.back().Get() == firstAddress) {
      EXPECT_NE(handles.back(), firstHandle);
    }
    if (i % 2 == 0) objects.pop_back();
  }
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end());
  EXPECT_EQ(ObjectHandle(second), secondHandle);
}

// Counts its own destruction.
class Watched : public Object {
 public:
  explicit Watched(std::shared_ptr<bool> alive) : alive_(std::move(alive)) { *alive_ = true; }
  ~Watched() override { *alive_ = false; }

 private:
  std::shared_ptr<bool> alive_;
};

TEST_F(EventQueueTest, HandleTableLetsGoOfObjectsNobodyElseHolds) {
  const auto alive = std::make_shared<bool>(false);
  Ref<Object> watched = New<Watched>(alive);
  EXPECT_NE(ObjectHandle(watched), 0);
  watched = Null;
  EXPECT_TRUE(*alive);  // held by the table until it next grows
  for (int i = 0; i < 1000 && *alive; ++i) ObjectHandle(New<Object>());
  EXPECT_FALSE(*alive);
}

}  // namespace
}  // namespace corvex
