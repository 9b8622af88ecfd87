#include "system/InputTracker.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "system/Event.h"
#include "system/KeyCodes.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

void Raise(int32_t id, int32_t data, const Ref<Object>& source = Null, int32_t x = 0, int32_t y = 0) {
  SendEvent(NewEvent(id, source, data, 0, x, y, Null));
}

// A driver whose Poll and Wait run what the test gives them, in place of platform events.
class ScriptedDriver : public TSystemDriver {
 public:
  std::function<void()> onPoll;
  std::function<void()> onWait;
  int32_t polls = 0;

  void Poll() override {
    ++polls;
    if (onPoll) onPoll();
  }
  void Wait() override {
    if (onWait) onWait();
  }
  void PlacePointer(int32_t, int32_t) override {}
  void SetPointerVisible(int32_t) override {}
  void ShowNotice(const String&, int32_t) override {}
  int32_t AskOkCancel(const String&, int32_t) override { return 0; }
  int32_t AskYesNoCancel(const String&, int32_t) override { return -1; }
  String ChooseFile(const String&, const String&, int32_t, const String&) override { return String(); }
  String ChooseFolder(const String&, const String&) override { return String(); }
  int32_t OpenInShell(const String&) override { return 0; }
};

class InputTrackerTest : public testing::Test {
 protected:
  void SetUp() override {
    InitInputModule();
    platformDriver_ = SystemDriver();
    SetSystemDriver(driver_);
    StartInputTracking(Null);
  }
  void TearDown() override {
    StopInputTracking();
    SetSystemDriver(platformDriver_);
  }

  Ref<ScriptedDriver> driver_ = New<ScriptedDriver>();
  Ref<TSystemDriver> platformDriver_;
};

TEST_F(InputTrackerTest, KeyHitsCountPressesAndAreConsumedByTheQuery) {
  for (int i = 0; i < 2; ++i) {
    Raise(EVENT_KEYDOWN, KEY_ESCAPE);
    Raise(EVENT_KEYUP, KEY_ESCAPE);
  }
  EXPECT_EQ(KeyHitCount(KEY_ESCAPE), 2);
  EXPECT_EQ(KeyHitCount(KEY_ESCAPE), 0);

  // Held with auto-repeat: one hit, and the key stays down.
  Raise(EVENT_KEYDOWN, KEY_C);
  Raise(EVENT_KEYREPEAT, KEY_C);
  Raise(EVENT_KEYREPEAT, KEY_C);
  EXPECT_EQ(KeyHitCount(KEY_C), 1);
  EXPECT_EQ(IsKeyDown(KEY_C), 1);
  // A second press without a release (a lost KeyUp) counts nothing.
  Raise(EVENT_KEYDOWN, KEY_C);
  EXPECT_EQ(KeyHitCount(KEY_C), 0);
  Raise(EVENT_KEYUP, KEY_C);
  EXPECT_EQ(IsKeyDown(KEY_C), 0);
}

TEST_F(InputTrackerTest, CodesFromOtherSourcesOutsideTheTablesAreIgnored) {
  for (const int32_t code : {-1, 256, 70000, INT32_MIN}) {
    Raise(EVENT_KEYDOWN, code);
    Raise(EVENT_KEYUP, code);
    Raise(EVENT_MOUSEDOWN, code);
    Raise(EVENT_MOUSEUP, code);
    EXPECT_EQ(KeyHitCount(code), 0);
    EXPECT_EQ(IsKeyDown(code), 0);
    EXPECT_EQ(MouseHitCount(code), 0);
    EXPECT_EQ(IsMouseDown(code), 0);
  }
  Raise(EVENT_MOUSEDOWN, 4);
  EXPECT_EQ(MouseHitCount(4), 0);
  // The edges of the tables still count.
  Raise(EVENT_KEYDOWN, 0);
  Raise(EVENT_KEYDOWN, 255);
  Raise(EVENT_MOUSEDOWN, 0);
  EXPECT_EQ(KeyHitCount(0), 1);
  EXPECT_EQ(KeyHitCount(255), 1);
  EXPECT_EQ(MouseHitCount(0), 1);
}

TEST_F(InputTrackerTest, CharacterRingKeepsOrderAndDropsPastItsSize) {
  EXPECT_EQ(NextChar(), 0);
  for (int32_t i = 0; i < kCharRingSize + 10; ++i) Raise(EVENT_KEYCHAR, 1000 + i);
  for (int32_t i = 0; i < kCharRingSize; ++i) ASSERT_EQ(NextChar(), 1000 + i);
  EXPECT_EQ(NextChar(), 0);
  // The ring wraps: further characters go on being kept in order.
  Raise(EVENT_KEYCHAR, 'x');
  Raise(EVENT_KEYCHAR, 'y');
  EXPECT_EQ(NextChar(), 'x');
  EXPECT_EQ(NextChar(), 'y');
}

TEST_F(InputTrackerTest, MouseButtonsPointerAndWheel) {
  Raise(EVENT_MOUSEDOWN, MOUSE_RIGHT, Null, 5, 6);
  Raise(EVENT_MOUSEMOVE, 2, Null, 40, -3);
  Raise(EVENT_MOUSEWHEEL, 1);
  Raise(EVENT_MOUSEWHEEL, 1);
  Raise(EVENT_MOUSEWHEEL, -3);
  EXPECT_EQ(IsMouseDown(MOUSE_RIGHT), 1);
  EXPECT_EQ(MouseHitCount(MOUSE_RIGHT), 1);
  EXPECT_EQ(MouseHitCount(MOUSE_RIGHT), 0);
  EXPECT_EQ(PointerX(), 40);
  EXPECT_EQ(PointerY(), -3);
  EXPECT_EQ(WheelPosition(), -1);
  ClearMouse();
  EXPECT_EQ(IsMouseDown(MOUSE_RIGHT), 0);
  EXPECT_EQ(WheelPosition(), 0);
  EXPECT_EQ(PointerX(), 40);  // the position survives a clear
}

TEST_F(InputTrackerTest, SuspendAndResumeClearInputAndSetTheFlag) {
  Raise(EVENT_KEYDOWN, KEY_A);
  Raise(EVENT_KEYCHAR, 'a');
  Raise(EVENT_MOUSEDOWN, MOUSE_LEFT);
  Raise(EVENT_APPSUSPEND, 0);
  EXPECT_EQ(IsAppSuspended(), 1);
  EXPECT_EQ(KeyHitCount(KEY_A), 0);
  EXPECT_EQ(NextChar(), 0);
  EXPECT_EQ(MouseHitCount(MOUSE_LEFT), 0);
  Raise(EVENT_KEYDOWN, KEY_A);
  Raise(EVENT_APPRESUME, 0);
  EXPECT_EQ(IsAppSuspended(), 0);
  EXPECT_EQ(IsKeyDown(KEY_A), 0);
}

TEST_F(InputTrackerTest, TerminateRequestIsTakenOnce) {
  EXPECT_EQ(TakeTerminateRequest(), 0);
  Raise(EVENT_APPTERMINATE, 0);
  Raise(EVENT_APPTERMINATE, 0);
  EXPECT_EQ(TakeTerminateRequest(), 1);
  EXPECT_EQ(TakeTerminateRequest(), 0);
}

TEST_F(InputTrackerTest, SourceFilterOfTheFirstStartWinsAndStopDetaches) {
  StopInputTracking();
  const Ref<Object> window = New<Object>();
  StartInputTracking(window);
  StartInputTracking(Null);  // already on: the window filter stays
  EXPECT_EQ(IsInputTracking(), 1);
  Raise(EVENT_KEYDOWN, KEY_A, Null);
  Raise(EVENT_KEYDOWN, KEY_PAUSE, New<Object>());
  Raise(EVENT_KEYDOWN, KEY_C, window);
  EXPECT_EQ(KeyHitCount(KEY_A), 0);
  EXPECT_EQ(KeyHitCount(KEY_PAUSE), 0);
  EXPECT_EQ(KeyHitCount(KEY_C), 1);

  Raise(EVENT_KEYDOWN, KEY_SPACE, window);
  StopInputTracking();
  EXPECT_EQ(IsInputTracking(), 0);
  EXPECT_EQ(KeyHitCount(KEY_SPACE), 0);  // stopping clears
  Raise(EVENT_KEYDOWN, KEY_ENTER, window);
  EXPECT_EQ(KeyHitCount(KEY_ENTER), 0);  // and nothing counts while off
}

TEST_F(InputTrackerTest, QueriesDispatchPendingEventsFirst) {
  driver_->onPoll = [] { Raise(EVENT_KEYDOWN, KEY_ESCAPE); };
  EXPECT_EQ(KeyHitCount(KEY_ESCAPE), 1);
}

TEST_F(InputTrackerTest, ListenersThatPollWhileEventsAreDispatchedDoNotRecurse) {
  // The suspend clears inside the tracker poll again; the busy flag makes that a no-op.
  driver_->polls = 0;
  driver_->onPoll = [this] {
    if (driver_->polls == 1) Raise(EVENT_APPSUSPEND, 0);
  };
  PollSystemEvents();
  EXPECT_EQ(driver_->polls, 1);
}

TEST_F(InputTrackerTest, AThrowingDispatchDoesNotBlockLaterPolls) {
  driver_->polls = 0;
  driver_->onPoll = [] { throw std::runtime_error("listener failed"); };
  EXPECT_THROW(PollSystemEvents(), std::runtime_error);
  driver_->onPoll = nullptr;
  PollSystemEvents();
  EXPECT_EQ(driver_->polls, 2);
}

TEST_F(InputTrackerTest, WaitForKeyAnswersTheLowestCodeHitAndLeavesTheOthers) {
  Raise(EVENT_KEYDOWN, KEY_Z);  // before the wait: cleared
  int32_t waits = 0;
  driver_->onWait = [&] {
    if (++waits < 3) return;  // two empty wake-ups first
    Raise(EVENT_KEYDOWN, KEY_SPACE);
    Raise(EVENT_KEYDOWN, KEY_ENTER);
  };
  EXPECT_EQ(WaitForKey(), KEY_ENTER);
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(KeyHitCount(KEY_SPACE), 1);
  EXPECT_EQ(KeyHitCount(KEY_Z), 0);
}

TEST_F(InputTrackerTest, WaitForCharAndWaitForClick) {
  Raise(EVENT_KEYCHAR, 'q');  // cleared by the wait
  driver_->onWait = [] { Raise(EVENT_KEYCHAR, 'k'); };
  EXPECT_EQ(WaitForChar(), 'k');
  Raise(EVENT_MOUSEDOWN, MOUSE_LEFT);  // cleared by the wait
  Raise(EVENT_MOUSEUP, MOUSE_LEFT);
  driver_->onWait = [] {
    Raise(EVENT_MOUSEDOWN, MOUSE_MIDDLE);
    Raise(EVENT_MOUSEDOWN, MOUSE_RIGHT);
  };
  EXPECT_EQ(WaitForClick(), MOUSE_RIGHT);
  EXPECT_EQ(MouseHitCount(MOUSE_MIDDLE), 1);
}

}  // namespace
}  // namespace corvex
