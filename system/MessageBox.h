// The buttons of the three message boxes and how a press becomes the box's answer, for
// platform drivers that show them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace corvex {

// One button: the answer it gives, its label, and whether Enter or Escape presses it.
struct MessageBoxButton {
  // What the box answers when this button is pressed.
  int32_t answer;
  const char* label;
  bool byEnter;
  bool byEscape;
};

// ShowNotice: OK.
inline constexpr std::array<MessageBoxButton, 1> kNoticeButtons{{{1, "OK", true, true}}};
// AskOkCancel: OK 1, Cancel 0.
inline constexpr std::array<MessageBoxButton, 2> kOkCancelButtons{
    {{1, "OK", true, false}, {0, "Cancel", false, true}}};
// AskYesNoCancel: Yes 1, No 0, Cancel -1.
inline constexpr std::array<MessageBoxButton, 3> kYesNoCancelButtons{
    {{1, "Yes", true, false}, {0, "No", false, false}, {-1, "Cancel", false, true}}};

// What AskOkCancel and AskYesNoCancel answer when no box could be shown or it was closed
// without a button: not OK, and cancel.
inline constexpr int32_t kOkCancelFailed = 0;
inline constexpr int32_t kYesNoCancelFailed = -1;

// The answer for the pressed button's index, or `failed` when the index names no button (no
// box shown, or closed without a button).
constexpr int32_t MessageBoxAnswer(std::span<const MessageBoxButton> buttons, int32_t pressed,
                                   int32_t failed) {
  if (pressed < 0 || static_cast<std::size_t>(pressed) >= buttons.size()) return failed;
  return buttons[static_cast<std::size_t>(pressed)].answer;
}

}  // namespace corvex
