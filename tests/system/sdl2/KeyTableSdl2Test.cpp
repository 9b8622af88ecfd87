#include "system/sdl2/KeyTableSdl2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <tuple>
#include <vector>

#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "system/Translator.h"
#include "system/sdl2/EventPumpSdl2.h"
#include "tests/system/EventRecorder.h"

namespace corvex {
namespace {

using testing_support::EventRecorder;
using testing_support::RecordedEvent;

TEST(KeyTableSdl2Test, KeysProgramsRelyOnHaveTheirCodes) {
  const std::vector<std::pair<SDL_Scancode, int32_t>> expected{
      {SDL_SCANCODE_ESCAPE, 27}, {SDL_SCANCODE_RETURN, 13},   {SDL_SCANCODE_KP_ENTER, 13},
      {SDL_SCANCODE_SPACE, 32},  {SDL_SCANCODE_BACKSPACE, 8}, {SDL_SCANCODE_TAB, 9},
      {SDL_SCANCODE_A, 65},      {SDL_SCANCODE_C, 67},        {SDL_SCANCODE_Z, 90},
      {SDL_SCANCODE_0, 48},      {SDL_SCANCODE_1, 49},        {SDL_SCANCODE_9, 57},
      {SDL_SCANCODE_F1, 112},    {SDL_SCANCODE_F12, 123},     {SDL_SCANCODE_F24, 135},
      {SDL_SCANCODE_LEFT, 37},   {SDL_SCANCODE_UP, 38},       {SDL_SCANCODE_RIGHT, 39},
      {SDL_SCANCODE_DOWN, 40},   {SDL_SCANCODE_LSHIFT, 160},  {SDL_SCANCODE_RSHIFT, 161},
      {SDL_SCANCODE_LCTRL, 162}, {SDL_SCANCODE_RCTRL, 163},   {SDL_SCANCODE_LALT, 164},
      {SDL_SCANCODE_RALT, 165},  {SDL_SCANCODE_LGUI, 91},     {SDL_SCANCODE_RGUI, 92},
      {SDL_SCANCODE_INSERT, 45}, {SDL_SCANCODE_DELETE, 46},   {SDL_SCANCODE_HOME, 36},
      {SDL_SCANCODE_END, 35},    {SDL_SCANCODE_PAGEUP, 33},   {SDL_SCANCODE_PAGEDOWN, 34},
      {SDL_SCANCODE_KP_0, 96},   {SDL_SCANCODE_KP_9, 105},    {SDL_SCANCODE_KP_PLUS, 107},
      {SDL_SCANCODE_PAUSE, 19},  {SDL_SCANCODE_CAPSLOCK, 20}, {SDL_SCANCODE_NUMLOCKCLEAR, 144},
      {SDL_SCANCODE_GRAVE, 192}, {SDL_SCANCODE_MINUS, 189},   {SDL_SCANCODE_APOSTROPHE, 222}};
  for (const auto& [scancode, code] : expected) {
    EXPECT_EQ(KeyCodeForScancode(scancode), code) << SDL_GetScancodeName(scancode);
  }
  EXPECT_EQ(KeyCodeForScancode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(KeyCodeForScancode(static_cast<SDL_Scancode>(SDL_NUM_SCANCODES + 5)), 0);
}

TEST(KeyTableSdl2Test, NoKeyReportsTheSharedModifierCodes) {
  for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
    const int32_t code = KeyCodeForScancode(static_cast<SDL_Scancode>(scancode));
    EXPECT_TRUE(code != 16 && code != 17 && code != 18) << scancode;
  }
}

TEST(KeyTableSdl2Test, LettersFollowTheLayoutOtherKeysTheirPosition) {
  SDL_Keysym azertyA{};
  azertyA.scancode = SDL_SCANCODE_Q;  // the key labelled A on a French keyboard
  azertyA.sym = SDLK_a;
  EXPECT_EQ(KeyCodeForKeysym(azertyA), 'A');
  SDL_Keysym ampersand{};
  ampersand.scancode = SDL_SCANCODE_1;
  ampersand.sym = SDLK_AMPERSAND;
  EXPECT_EQ(KeyCodeForKeysym(ampersand), '1');
}

TEST(KeyTableSdl2Test, KeypadDigitsAreNavigationKeysWithNumLockOff) {
  const std::vector<std::tuple<SDL_Scancode, int32_t, int32_t>> expected{
      {SDL_SCANCODE_KP_0, 45, 96},  {SDL_SCANCODE_KP_1, 35, 97},       {SDL_SCANCODE_KP_2, 40, 98},
      {SDL_SCANCODE_KP_3, 34, 99},  {SDL_SCANCODE_KP_4, 37, 100},      {SDL_SCANCODE_KP_5, 12, 101},
      {SDL_SCANCODE_KP_6, 39, 102}, {SDL_SCANCODE_KP_7, 36, 103},      {SDL_SCANCODE_KP_8, 38, 104},
      {SDL_SCANCODE_KP_9, 33, 105}, {SDL_SCANCODE_KP_PERIOD, 46, 110}, {SDL_SCANCODE_KP_PLUS, 107, 107}};
  for (const auto& [scancode, off, on] : expected) {
    SDL_Keysym key{};
    key.scancode = scancode;
    key.sym = SDL_SCANCODE_TO_KEYCODE(scancode);
    EXPECT_EQ(KeyCodeForKeysym(key), off) << SDL_GetScancodeName(scancode);
    key.mod = KMOD_NUM;
    EXPECT_EQ(KeyCodeForKeysym(key), on) << SDL_GetScancodeName(scancode);
  }
}

TEST(KeyTableSdl2Test, ModifierBits) {
  EXPECT_EQ(ModifierBitsForSdl(KMOD_NONE), 0);
  EXPECT_EQ(ModifierBitsForSdl(KMOD_RSHIFT), 1);
  EXPECT_EQ(ModifierBitsForSdl(KMOD_LCTRL | KMOD_RALT), 6);
  EXPECT_EQ(ModifierBitsForSdl(KMOD_LGUI | KMOD_NUM | KMOD_CAPS), 8);
}

// SDL events made by hand go through the translator as the pump would hand them over.
class SdlTranslationTest : public testing::Test {
 protected:
  void SetUp() override {
    InitInputModule();
    SetModifierBits(0);
    recorder_.Clear();
  }

  static SDL_Event Key(Uint32 type, SDL_Scancode scancode, SDL_Keycode sym, Uint16 mod, Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.repeat = repeat;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = sym;
    event.key.keysym.mod = mod;
    return event;
  }

  EventRecorder recorder_;
};

TEST_F(SdlTranslationTest, ShiftsArriveBySideWithTheShiftBitAndRepeatsAsKeyRepeat) {
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_LSHIFT), Null);
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_LSHIFT, 1), Null);
  TranslateSdlEvent(Key(SDL_KEYUP, SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_NONE), Null);
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, KMOD_RSHIFT), Null);
  EXPECT_EQ(recorder_.events(), (std::vector<RecordedEvent>{{EVENT_KEYDOWN, nullptr, 160, 1, 0, 0},
                                                            {EVENT_KEYREPEAT, nullptr, 160, 1, 0, 0},
                                                            {EVENT_KEYUP, nullptr, 160, 0, 0, 0},
                                                            {EVENT_KEYDOWN, nullptr, 161, 1, 0, 0}}));
}

TEST_F(SdlTranslationTest, KeysThatTextInputLeavesOutTypeTheirControlCharacters) {
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, KMOD_NONE), Null);
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_NONE, 1), Null);
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_C, SDLK_c, KMOD_LCTRL), Null);
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_C, SDLK_c, KMOD_LCTRL | KMOD_RALT), Null);  // AltGr: no
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_C, SDLK_c, KMOD_NONE), Null);  // text input types 'c'
  TranslateSdlEvent(Key(SDL_KEYUP, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, KMOD_NONE), Null);
  std::vector<int32_t> chars;
  for (const RecordedEvent& event : recorder_.events()) {
    if (event.id == EVENT_KEYCHAR) chars.push_back(event.data);
  }
  EXPECT_EQ(chars, (std::vector<int32_t>{27, 13, 3}));
  EXPECT_EQ(recorder_.ids()[0], EVENT_KEYDOWN);  // the key first, then its character
  EXPECT_EQ(recorder_.ids()[1], EVENT_KEYCHAR);
}

TEST_F(SdlTranslationTest, ControlWithEnterBackspaceAndBracketsTypesTheirControlCharacters) {
  const std::vector<std::tuple<SDL_Scancode, SDL_Keycode, int32_t>> keys{
      {SDL_SCANCODE_RETURN, SDLK_RETURN, 10},        {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 10},
      {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 127}, {SDL_SCANCODE_LEFTBRACKET, SDLK_LEFTBRACKET, 27},
      {SDL_SCANCODE_BACKSLASH, SDLK_BACKSLASH, 28},  {SDL_SCANCODE_RIGHTBRACKET, SDLK_RIGHTBRACKET, 29}};
  for (const auto& [scancode, sym, character] : keys) {
    recorder_.Clear();
    TranslateSdlEvent(Key(SDL_KEYDOWN, scancode, sym, KMOD_RCTRL), Null);
    TranslateSdlEvent(Key(SDL_KEYUP, scancode, sym, KMOD_RCTRL), Null);
    TranslateSdlEvent(Key(SDL_KEYDOWN, scancode, sym, KMOD_LCTRL | KMOD_RALT), Null);  // AltGr: text input's
    TranslateSdlEvent(Key(SDL_KEYUP, scancode, sym, KMOD_NONE), Null);
    std::vector<int32_t> chars;
    for (const RecordedEvent& event : recorder_.events()) {
      if (event.id == EVENT_KEYCHAR) chars.push_back(event.data);
    }
    const int32_t plain = sym == SDLK_RETURN || sym == SDLK_KP_ENTER ? 13 : sym == SDLK_BACKSPACE ? 8 : -1;
    std::vector<int32_t> expected{character};
    if (plain > 0) expected.push_back(plain);
    EXPECT_EQ(chars, expected) << SDL_GetScancodeName(scancode);
  }
}

TEST_F(SdlTranslationTest, AKeyIsReleasedWithTheCodeItWentDownWith) {
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NONE), Null);
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NUM, 1), Null);  // NumLock went on
  TranslateSdlEvent(Key(SDL_KEYUP, SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NUM), Null);
  TranslateSdlEvent(Key(SDL_KEYDOWN, SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NUM), Null);
  TranslateSdlEvent(Key(SDL_KEYUP, SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NONE), Null);
  EXPECT_EQ(recorder_.events(), (std::vector<RecordedEvent>{{EVENT_KEYDOWN, nullptr, KEY_LEFT, 0, 0, 0},
                                                            {EVENT_KEYREPEAT, nullptr, KEY_LEFT, 0, 0, 0},
                                                            {EVENT_KEYUP, nullptr, KEY_LEFT, 0, 0, 0},
                                                            {EVENT_KEYDOWN, nullptr, 100, 0, 0, 0},
                                                            {EVENT_KEYUP, nullptr, 100, 0, 0, 0}}));
}

TEST_F(SdlTranslationTest, TextInputBecomesKeyChars) {
  SDL_Event event{};
  event.type = SDL_TEXTINPUT;
  std::strcpy(event.text.text, "h\xC3\xA9");
  TranslateSdlEvent(event, Null);
  EXPECT_EQ(recorder_.events(), (std::vector<RecordedEvent>{{EVENT_KEYCHAR, nullptr, 'h', 0, 0, 0},
                                                            {EVENT_KEYCHAR, nullptr, 0xE9, 0, 0, 0}}));
}

TEST_F(SdlTranslationTest, ButtonsWheelAndWindowEvents) {
  SDL_Event event{};
  event.type = SDL_MOUSEBUTTONDOWN;
  event.button.type = SDL_MOUSEBUTTONDOWN;
  event.button.button = SDL_BUTTON_MIDDLE;
  event.button.x = 4;
  event.button.y = 5;
  TranslateSdlEvent(event, Null);
  event.button.button = SDL_BUTTON_RIGHT;
  TranslateSdlEvent(event, Null);
  event.button.button = SDL_BUTTON_X1;  // no number of its own
  TranslateSdlEvent(event, Null);

  event = SDL_Event{};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = 1;
  event.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
  TranslateSdlEvent(event, Null);

  event = SDL_Event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_CLOSE;
  TranslateSdlEvent(event, Null);
  event = SDL_Event{};
  event.type = SDL_QUIT;
  TranslateSdlEvent(event, Null);

  EXPECT_EQ(recorder_.events(), (std::vector<RecordedEvent>{{EVENT_MOUSEDOWN, nullptr, 3, 0, 4, 5},
                                                            {EVENT_MOUSEDOWN, nullptr, 2, 0, 4, 5},
                                                            {EVENT_MOUSEWHEEL, nullptr, -1, 0, 0, 0},
                                                            {EVENT_APPTERMINATE, nullptr, 0, 0, 0, 0}}));
}

TEST_F(SdlTranslationTest, FocusChangesSuspendAndResumeTheApplicationOnce) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  TranslateSdlEvent(event, Null);
  TranslateSdlEvent(event, Null);  // another window of the program: still active
  event.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  TranslateSdlEvent(event, Null);
  TranslateSdlEvent(event, Null);
  EXPECT_EQ(recorder_.ids(), (std::vector<int32_t>{EVENT_APPRESUME, EVENT_APPSUSPEND}));
}

}  // namespace
}  // namespace corvex
