// Real input from outside the program: xdotool presses keys and moves the pointer on the X
// display, as a person would, into a plain SDL window pumped by the system driver.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "system/SystemDriver.h"
#include "tests/system/EventRecorder.h"
#include "tests/system/sdl2/X11WindowSdl2.h"

namespace corvex {
namespace {

using testing_support::EventRecorder;
using testing_support::RecordedEvent;

constexpr int kWindowX = 100;
constexpr int kWindowY = 100;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Runs xdotool with the arguments, never for more than a few seconds.
int Xdo(const std::string& arguments) {
  return std::system(("timeout 5 xdotool " + arguments).c_str());
}

class InputDisplayTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitInputModule();
    if (std::getenv("DISPLAY") == nullptr) return;
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window_ = SDL_CreateWindow("Corvex input test", kWindowX, kWindowY, kWidth, kHeight, SDL_WINDOW_SHOWN);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    xWindow_ = testing_support::X11WindowOf(window_);
    ASSERT_NE(xWindow_, 0u);
  }
  static void TearDownTestSuite() {
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    window_ = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  void SetUp() override {
    if (window_ == nullptr) GTEST_SKIP() << "no X display";
    StartInputTracking(Null);
    // Xvfb has no window manager: the test gives the window the focus itself.
    SDL_RaiseWindow(window_);
    ASSERT_EQ(Xdo("windowfocus --sync " + std::to_string(xWindow_)), 0);
    PumpFor(100);
    SDL_GetWindowPosition(window_, &left_, &top_);
    MovePointerTo(5, 5);  // outside the window
    PumpFor(100);
    ClearKeys();
    ClearMouse();
    recorder_.Clear();
  }
  void TearDown() override {
    ShowPointer();
    StopInputTracking();
  }

  // Dispatches events until `condition` holds or three seconds have passed.
  template <class Condition>
  bool PumpUntil(Condition condition) {
    const Uint32 start = SDL_GetTicks();
    while (SDL_GetTicks() - start < 3000) {
      PollSystemEvents();
      if (condition()) return true;
      SDL_Delay(5);
    }
    return false;
  }
  void PumpFor(Uint32 millis) {
    const Uint32 start = SDL_GetTicks();
    while (SDL_GetTicks() - start < millis) {
      PollSystemEvents();
      SDL_Delay(5);
    }
  }
  bool Saw(int32_t id, int32_t data) const {
    return std::ranges::any_of(recorder_.events(),
                               [&](const RecordedEvent& e) { return e.id == id && e.data == data; });
  }
  std::vector<RecordedEvent> Only(std::initializer_list<int32_t> ids) const {
    std::vector<RecordedEvent> kept;
    for (const RecordedEvent& e : recorder_.events()) {
      if (std::find(ids.begin(), ids.end(), e.id) != ids.end()) kept.push_back(e);
    }
    return kept;
  }
  void MovePointerTo(int screenX, int screenY) {
    ASSERT_EQ(Xdo("mousemove " + std::to_string(screenX) + " " + std::to_string(screenY)), 0);
  }

  static inline SDL_Window* window_ = nullptr;
  static inline unsigned long xWindow_ = 0;
  int left_ = 0;
  int top_ = 0;
  EventRecorder recorder_;
};

TEST_F(InputDisplayTest, EscapeAndCArriveWithTheirCodesAndAreCountedOnce) {
  ASSERT_EQ(Xdo("key Escape c"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_KEYUP, KEY_C); }));
  EXPECT_EQ(Only({EVENT_KEYDOWN, EVENT_KEYUP}),
            (std::vector<RecordedEvent>{{EVENT_KEYDOWN, nullptr, 27, 0, 0, 0},
                                        {EVENT_KEYUP, nullptr, 27, 0, 0, 0},
                                        {EVENT_KEYDOWN, nullptr, 67, 0, 0, 0},
                                        {EVENT_KEYUP, nullptr, 67, 0, 0, 0}}));
  EXPECT_EQ(KeyHitCount(KEY_ESCAPE), 1);
  EXPECT_EQ(KeyHitCount(KEY_ESCAPE), 0);
  EXPECT_EQ(KeyHitCount(KEY_C), 1);
  EXPECT_EQ(NextChar(), 27);  // Escape types its control character
  EXPECT_EQ(NextChar(), 'c');
  EXPECT_EQ(NextChar(), 0);
}

TEST_F(InputDisplayTest, PressingTwiceBetweenQueriesCountsTwo) {
  ASSERT_EQ(Xdo("key Escape Escape"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Only({EVENT_KEYUP}).size() == 2; }));
  EXPECT_EQ(KeyHitCount(KEY_ESCAPE), 2);
}

TEST_F(InputDisplayTest, LeftShiftIs160WithTheShiftBitAndTypesCapitals) {
  ASSERT_EQ(Xdo("key shift+c"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_KEYUP, KEY_LSHIFT); }));
  EXPECT_EQ(Only({EVENT_KEYDOWN, EVENT_KEYCHAR}),
            (std::vector<RecordedEvent>{{EVENT_KEYDOWN, nullptr, 160, 1, 0, 0},
                                        {EVENT_KEYDOWN, nullptr, 67, 1, 0, 0},
                                        {EVENT_KEYCHAR, nullptr, 'C', 1, 0, 0}}));
  EXPECT_FALSE(Saw(EVENT_KEYDOWN, 16));
  EXPECT_EQ(KeyHitCount(KEY_LSHIFT), 1);
  EXPECT_EQ(IsKeyDown(KEY_LSHIFT), 0);
}

// Programs polling the arrows expect the keypad's arrows to work while NumLock is off.
TEST_F(InputDisplayTest, KeypadKeysFollowNumLock) {
  const auto keypadDowns = [&] {
    std::vector<int32_t> codes;
    for (const RecordedEvent& e : Only({EVENT_KEYDOWN})) {
      if (e.data != KEY_NUMLOCK) codes.push_back(e.data);
    }
    return codes;
  };
  // Each keypad key by its NumLock-off name: xdotool presses the key that carries it.
  const std::string keys =
      "KP_Insert KP_End KP_Down KP_Next KP_Left KP_Begin KP_Right KP_Home KP_Up KP_Prior KP_Delete";
  const bool numLockOn = (SDL_GetModState() & KMOD_NUM) != 0;
  // NumLock is left as it was found, whatever happens below.
  struct NumLockRestorer {
    bool wanted;
    ~NumLockRestorer() {
      if (((SDL_GetModState() & KMOD_NUM) != 0) != wanted) Xdo("key Num_Lock");
    }
  } restore{numLockOn};
  if (numLockOn) {
    ASSERT_EQ(Xdo("key Num_Lock"), 0);
  }
  ASSERT_EQ(Xdo("key " + keys), 0);
  ASSERT_TRUE(PumpUntil([&] { return Only({EVENT_KEYUP}).size() >= 11; }));
  EXPECT_EQ(keypadDowns(), (std::vector<int32_t>{45, 35, 40, 34, 37, 12, 39, 36, 38, 33, 46}));
  EXPECT_EQ(KeyHitCount(KEY_LEFT), 1);

  recorder_.Clear();
  ASSERT_EQ(Xdo("key Num_Lock"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_KEYUP, KEY_NUMLOCK); }));
  ASSERT_EQ(Xdo("key " + keys), 0);
  ASSERT_TRUE(PumpUntil([&] { return Only({EVENT_KEYUP}).size() >= 12; }));
  EXPECT_EQ(keypadDowns(), (std::vector<int32_t>{96, 97, 98, 99, 100, 101, 102, 103, 104, 105, 110}));
  EXPECT_EQ(KeyHitCount(KEY_NUM0 + 4), 1);
}

TEST_F(InputDisplayTest, ControlWithEnterBackspaceAndBracketsTypesControlCharacters) {
  ASSERT_EQ(Xdo("key ctrl+Return ctrl+BackSpace ctrl+bracketleft ctrl+backslash ctrl+bracketright"), 0);
  std::vector<int32_t> typed;
  ASSERT_TRUE(PumpUntil([&] {
    for (int32_t c = NextChar(); c != 0; c = NextChar()) typed.push_back(c);
    return typed.size() >= 5;
  }));
  PumpFor(100);
  for (int32_t c = NextChar(); c != 0; c = NextChar()) typed.push_back(c);
  EXPECT_EQ(typed, (std::vector<int32_t>{10, 127, 27, 28, 29}));
}

TEST_F(InputDisplayTest, AHeldKeyRepeatsButCountsOneHit) {
  ASSERT_EQ(Xdo("keydown a sleep 1 keyup a"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_KEYUP, KEY_A); }));
  const std::vector<RecordedEvent> keys = Only({EVENT_KEYDOWN, EVENT_KEYREPEAT, EVENT_KEYUP});
  ASSERT_GE(keys.size(), 3u) << "the X server did not repeat the held key";
  EXPECT_EQ(keys.front().id, EVENT_KEYDOWN);
  EXPECT_EQ(keys.back().id, EVENT_KEYUP);
  for (std::size_t i = 1; i + 1 < keys.size(); ++i)
    EXPECT_EQ(keys[i], (RecordedEvent{EVENT_KEYREPEAT, nullptr, 65, 0, 0, 0}));
  EXPECT_EQ(KeyHitCount(KEY_A), 1);
  EXPECT_EQ(KeyHitCount(KEY_A), 0);
}

TEST_F(InputDisplayTest, TypedTextArrivesAsKeyChars) {
  ASSERT_EQ(Xdo("type 'Hi 5'"), 0);
  std::vector<int32_t> typed;
  ASSERT_TRUE(PumpUntil([&] {
    for (int32_t c = NextChar(); c != 0; c = NextChar()) typed.push_back(c);
    return typed.size() >= 4;
  }));
  EXPECT_EQ(typed, (std::vector<int32_t>{'H', 'i', ' ', '5'}));
}

TEST_F(InputDisplayTest, TypedTextBeyondLatin1ArrivesAsWholeCharactersAndSurrogateHalves) {
  // Greek, Cyrillic, a CJK ideograph and a character above U+FFFF (X's Unicode keysyms).
  const unsigned long keysyms[] = {0x10003A9, 0x1000436, 0x1004E2D, 0x101F600};
  ASSERT_TRUE(testing_support::BindSpareKeys(keysyms, 4));
  PumpFor(50);  // the program takes in the new keyboard map
  ASSERT_EQ(Xdo("key U03A9 U0436 U4E2D U1F600"), 0);
  std::vector<int32_t> typed;
  PumpUntil([&] {
    for (int32_t c = NextChar(); c != 0; c = NextChar()) typed.push_back(c);
    return typed.size() >= 5;
  });
  EXPECT_EQ(typed, (std::vector<int32_t>{0x3A9, 0x436, 0x4E2D, 0xD83D, 0xDE00}));
}

TEST_F(InputDisplayTest, PointerEntersBeforeItMovesAndLeavesWhenItGoesOut) {
  MovePointerTo(left_ + 50, top_ + 60);
  ASSERT_TRUE(PumpUntil([&] { return !Only({EVENT_MOUSEMOVE}).empty(); }));
  const std::vector<int32_t> ids = recorder_.ids();
  ASSERT_GE(ids.size(), 2u);
  EXPECT_EQ(ids[0], EVENT_MOUSEENTER);
  EXPECT_EQ(ids[1], EVENT_MOUSEMOVE);
  EXPECT_EQ(recorder_.events()[0], (RecordedEvent{EVENT_MOUSEENTER, nullptr, 0, 0, 50, 60}));
  EXPECT_EQ(PointerX(), 50);
  EXPECT_EQ(PointerY(), 60);

  recorder_.Clear();
  MovePointerTo(left_ + kWidth + 200, top_ + 10);
  ASSERT_TRUE(PumpUntil([&] { return !Only({EVENT_MOUSELEAVE}).empty(); }));
  EXPECT_EQ(Only({EVENT_MOUSEENTER, EVENT_MOUSELEAVE}).size(), 1u);
}

TEST_F(InputDisplayTest, ClicksAndWheelNotches) {
  MovePointerTo(left_ + 30, top_ + 40);
  ASSERT_EQ(Xdo("click 1 click 3 click 4 click 4 click 5"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Only({EVENT_MOUSEWHEEL}).size() == 3; }));
  EXPECT_EQ(MouseHitCount(MOUSE_LEFT), 1);
  EXPECT_EQ(MouseHitCount(MOUSE_RIGHT), 1);
  EXPECT_EQ(IsMouseDown(MOUSE_LEFT), 0);
  EXPECT_EQ(WheelPosition(), 1);
  const std::vector<RecordedEvent> downs = Only({EVENT_MOUSEDOWN});
  ASSERT_EQ(downs.size(), 2u);
  EXPECT_EQ(downs[0], (RecordedEvent{EVENT_MOUSEDOWN, nullptr, MOUSE_LEFT, 0, 30, 40}));
}

TEST_F(InputDisplayTest, ADragKeepsReportingMovesOutsideTheWindow) {
  MovePointerTo(left_ + 30, top_ + 40);
  ASSERT_EQ(Xdo("mousedown 1"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_MOUSEDOWN, MOUSE_LEFT); }));
  MovePointerTo(left_ + kWidth + 50, top_ + 40);
  const auto movedOutside = [&] {
    return std::ranges::any_of(Only({EVENT_MOUSEMOVE}), [](const RecordedEvent& e) { return e.x >= kWidth; });
  };
  const bool captured = PumpUntil(movedOutside);
  ASSERT_EQ(Xdo("mouseup 1"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_MOUSEUP, MOUSE_LEFT); }));
  ASSERT_TRUE(captured);
  const std::vector<RecordedEvent> outside = Only({EVENT_MOUSEMOVE});
  EXPECT_EQ(outside.back().data, MOVE_HELD_LEFT);
  EXPECT_EQ(outside.back().x, kWidth + 50);
  EXPECT_FALSE(Only({EVENT_MOUSELEAVE}).empty());
  EXPECT_EQ(IsMouseDown(MOUSE_LEFT), 0);
}

TEST_F(InputDisplayTest, EveryPressCapturesThePointerAndEveryReleaseLetsItGo) {
  const auto captured = [&] { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_MOUSE_CAPTURE) != 0; };
  MovePointerTo(left_ + 30, top_ + 40);
  ASSERT_EQ(Xdo("mousedown 1"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_MOUSEDOWN, MOUSE_LEFT); }));
  EXPECT_TRUE(captured());
  ASSERT_EQ(Xdo("mousedown 3 mouseup 3"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_MOUSEUP, MOUSE_RIGHT); }));
  EXPECT_FALSE(captured());  // released with the right button, the left one still held
  ASSERT_EQ(Xdo("mouseup 1"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_MOUSEUP, MOUSE_LEFT); }));
  EXPECT_FALSE(captured());
}

TEST_F(InputDisplayTest, HiddenPointerIsHiddenOnlyInsideTheWindow) {
  HidePointer();
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  MovePointerTo(left_ + 20, top_ + 20);
  ASSERT_TRUE(PumpUntil([&] { return !Only({EVENT_MOUSEENTER}).empty(); }));
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  MovePointerTo(left_ + kWidth + 100, top_ + 20);
  ASSERT_TRUE(PumpUntil([&] { return !Only({EVENT_MOUSELEAVE}).empty(); }));
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(InputDisplayTest, CloseRequestRaisesAppTerminateAndTheWindowStaysOpen) {
  ASSERT_TRUE(testing_support::SendCloseRequest(xWindow_));
  ASSERT_TRUE(PumpUntil([&] { return Saw(EVENT_APPTERMINATE, 0); }));
  EXPECT_EQ(TakeTerminateRequest(), 1);
  EXPECT_EQ(TakeTerminateRequest(), 0);
  PumpFor(100);
  EXPECT_NE(SDL_GetWindowFromID(SDL_GetWindowID(window_)), nullptr);
  EXPECT_EQ(SDL_GetWindowFlags(window_) & SDL_WINDOW_HIDDEN, 0u);
  // The window still takes input.
  ASSERT_EQ(Xdo("key c"), 0);
  EXPECT_TRUE(PumpUntil([&] { return Saw(EVENT_KEYDOWN, KEY_C); }));
}

}  // namespace
}  // namespace corvex
