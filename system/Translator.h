// The platform translator's rules in portable terms: what platform input (keys, characters,
// buttons, pointer moves, the wheel, activation and close requests) becomes which events, the
// modifier bits, which window the pointer is in, and whether the pointer shows. The platform
// layer turns its own input into these calls.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// A platform window as the translator tracks it; kNoPointerWindow is none.
using PointerWindow = uint32_t;
inline constexpr PointerWindow kNoPointerWindow = 0;

// What a key message reports.
enum class KeyAction { Down, Repeat, Up };

// The modifier bits every event carries (1 shift, 2 control, 4 alt, 8 system key).
int32_t ModifierBits();
// Replaces the modifier bits with the platform's current view of the modifier keys.
void SetModifierBits(int32_t bits);

// A window was asked to close: AppTerminate (the window itself stays open).
void TranslateCloseRequest(const Ref<Object>& source);
// The application was activated (AppResume) or deactivated (AppSuspend).
void TranslateActivation(bool active, const Ref<Object>& source);
// KeyDown, KeyRepeat or KeyUp; key codes outside 1 to 255 raise nothing.
void TranslateKey(KeyAction action, int32_t keyCode, const Ref<Object>& source);
// One KeyChar per character of typed text, a character above U+FFFF as two KeyChars of its
// surrogate halves.
void TranslateText(const String& text, const Ref<Object>& source);
// MouseDown or MouseUp of button 1 (left), 2 (right) or 3 (middle); others raise nothing.
void TranslateMouseButton(bool down, int32_t button, int32_t x, int32_t y, const Ref<Object>& source);
// A pointer move to client position (x, y) of a window whose client area is width by height;
// `held` combines MOVE_HELD_* bits. Tracks the window the pointer is in (MouseEnter or
// MouseLeave first), then raises MouseMove.
void TranslateMouseMove(PointerWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t held, const Ref<Object>& source);
// MouseWheel with signed notches; 0 raises nothing.
void TranslateMouseWheel(int32_t steps, const Ref<Object>& source);
// A window's drawable area has a new size: WindowSize with data 0 and the size as x, y.
void TranslateWindowSize(int32_t width, int32_t height, const Ref<Object>& source);
// The platform reports that the pointer has left `window`: MouseLeave when it was tracked.
void TranslatePointerLeft(PointerWindow window);

// Makes `window` (or none) the tracked window: MouseLeave for the one left, at the pointer's
// position there, then MouseEnter at (x, y) for the one entered.
void TrackPointerWindow(PointerWindow window, int32_t x, int32_t y, const Ref<Object>& source);
// The window the pointer is in, or kNoPointerWindow.
PointerWindow TrackedPointerWindow();
// Stores whether the program wants the pointer shown and applies it.
void SetPointerWanted(bool wanted);
// Shown when the program wants it or the pointer is outside every window of the program.
bool PointerShown();

}  // namespace corvex
