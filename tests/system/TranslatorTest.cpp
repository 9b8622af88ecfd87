#include "system/Translator.h"

#include <gtest/gtest.h>

#include <vector>

#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "system/SystemDriver.h"
#include "tests/system/EventRecorder.h"

namespace corvex {
namespace {

using testing_support::EventRecorder;
using testing_support::RecordedEvent;

constexpr PointerWindow kWindowA = 7;
constexpr PointerWindow kWindowB = 8;

class TranslatorTest : public testing::Test {
 protected:
  void SetUp() override {
    InitInputModule();
    TrackPointerWindow(kNoPointerWindow, 0, 0, Null);
    SetPointerWanted(true);
    SetModifierBits(0);
    recorder_.Clear();
  }
  void TearDown() override {
    TrackPointerWindow(kNoPointerWindow, 0, 0, Null);
    SetPointerWanted(true);
    SetModifierBits(0);
  }

  EventRecorder recorder_;
};

TEST_F(TranslatorTest, KeyCodesOutsideOneTo255RaiseNothing) {
  for (const int32_t code : {0, -1, 256, 1000}) TranslateKey(KeyAction::Down, code, Null);
  TranslateKey(KeyAction::Down, 255, Null);
  TranslateKey(KeyAction::Down, 1, Null);
  EXPECT_EQ(recorder_.ids(), (std::vector<int32_t>{EVENT_KEYDOWN, EVENT_KEYDOWN}));
}

TEST_F(TranslatorTest, TextGivesOneKeyCharPerCodeUnit) {
  TranslateText(String::FromUtf8("a\xC3\xA9\xF0\x9F\x98\x80"), Null);  // a, e-acute, a face outside the BMP
  std::vector<int32_t> data;
  for (const RecordedEvent& event : recorder_.events()) {
    EXPECT_EQ(event.id, EVENT_KEYCHAR);
    data.push_back(event.data);
  }
  EXPECT_EQ(data, (std::vector<int32_t>{'a', 0xE9, 0xD83D, 0xDE00}));
}

TEST_F(TranslatorTest, MoveIntoAWindowEntersBeforeMovingAndLeavesWhenOutside) {
  SetModifierBits(MODIFIER_ALT);
  const Ref<Object> source = New<Object>();
  TranslateMouseMove(kWindowA, 10, 20, 100, 50, 0, source);
  TranslateMouseMove(kWindowA, 11, 21, 100, 50, 0, source);
  TranslateMouseMove(kWindowA, 100, 21, 100, 50, 0, source);  // x == width is outside
  const Object* s = source.Get();
  EXPECT_EQ(recorder_.events(), (std::vector<RecordedEvent>{{EVENT_MOUSEENTER, s, 0, 0, 10, 20},
                                                            {EVENT_MOUSEMOVE, s, 0, 4, 10, 20},
                                                            {EVENT_MOUSEMOVE, s, 0, 4, 11, 21},
                                                            {EVENT_MOUSELEAVE, s, 0, 0, 100, 21},
                                                            {EVENT_MOUSEMOVE, s, 0, 4, 100, 21}}));
  EXPECT_EQ(TrackedPointerWindow(), kNoPointerWindow);
}

TEST_F(TranslatorTest, MovingBetweenWindowsLeavesOneAndEntersTheOther) {
  TranslateMouseMove(kWindowA, 1, 1, 10, 10, 0, Null);
  recorder_.Clear();
  TranslateMouseMove(kWindowB, 2, 3, 10, 10, 0, Null);
  EXPECT_EQ(recorder_.ids(), (std::vector<int32_t>{EVENT_MOUSELEAVE, EVENT_MOUSEENTER, EVENT_MOUSEMOVE}));
  EXPECT_EQ(TrackedPointerWindow(), kWindowB);
}

TEST_F(TranslatorTest, LeaveNoticeCountsOnlyForTheTrackedWindow) {
  TranslateMouseMove(kWindowA, 1, 1, 10, 10, 0, Null);
  recorder_.Clear();
  TranslatePointerLeft(kWindowB);
  TranslatePointerLeft(kNoPointerWindow);
  EXPECT_TRUE(recorder_.ids().empty());
  TranslatePointerLeft(kWindowA);
  TranslatePointerLeft(kWindowA);
  EXPECT_EQ(recorder_.ids(), (std::vector<int32_t>{EVENT_MOUSELEAVE}));
}

TEST_F(TranslatorTest, MoveDataNamesOneHeldButtonRightFirstThenMiddleThenLeft) {
  const std::vector<std::pair<int32_t, int32_t>> cases{
      {0, 0},
      {MOVE_HELD_LEFT, 1},
      {MOVE_HELD_MIDDLE, 4},
      {MOVE_HELD_LEFT | MOVE_HELD_MIDDLE, 4},
      {MOVE_HELD_LEFT | MOVE_HELD_RIGHT, 2},
      {MOVE_HELD_LEFT | MOVE_HELD_MIDDLE | MOVE_HELD_RIGHT, 2}};
  for (const auto& [held, expected] : cases) {
    recorder_.Clear();
    TranslateMouseMove(kWindowA, 1, 1, 10, 10, held, Null);
    ASSERT_FALSE(recorder_.events().empty());
    EXPECT_EQ(recorder_.events().back().data, expected) << "held " << held;
  }
}

TEST_F(TranslatorTest, HiddenPointerShowsOnlyWhileOutsideEveryWindow) {
  HidePointer();
  EXPECT_TRUE(PointerShown());  // not inside any window yet
  TranslateMouseMove(kWindowA, 1, 1, 10, 10, 0, Null);
  EXPECT_FALSE(PointerShown());
  TranslateMouseMove(kWindowA, -1, 1, 10, 10, 0, Null);
  EXPECT_TRUE(PointerShown());
  TranslateMouseMove(kWindowA, 1, 1, 10, 10, 0, Null);
  HidePointer();
  ShowPointer();  // a flag, not a counter: one show undoes any number of hides
  EXPECT_TRUE(PointerShown());
}

}  // namespace
}  // namespace corvex
