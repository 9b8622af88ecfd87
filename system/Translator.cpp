#include "system/Translator.h"

#include "system/Event.h"
#include "system/KeyCodes.h"
#include "system/SystemPlatform.h"

namespace corvex {
namespace {

constinit int32_t g_modifiers = 0;
constinit PointerWindow g_trackedWindow = kNoPointerWindow;
constinit bool g_pointerWanted = true;
// The last position a move reported, for a MouseLeave whose window can no longer be asked.
constinit int32_t g_lastX = 0;
constinit int32_t g_lastY = 0;

// The source given for the tracked window. Created on first use and never destroyed, so that
// releasing it can never run after the program's other objects have gone.
Ref<Object>& TrackedSource() {
  static Ref<Object>* const held = new Ref<Object>();
  return *held;
}

void Raise(int32_t id, const Ref<Object>& source, int32_t data, int32_t mods, int32_t x, int32_t y) {
  SendEvent(NewEvent(id, source, data, mods, x, y, Null));
}

void ApplyPointerVisibility() {
  platform::ShowPointer(PointerShown());
}

}  // namespace

int32_t ModifierBits() {
  return g_modifiers;
}

void SetModifierBits(int32_t bits) {
  g_modifiers = bits;
}

void TranslateCloseRequest(const Ref<Object>& source) {
  Raise(EVENT_APPTERMINATE, source, 0, g_modifiers, 0, 0);
}

void TranslateActivation(bool active, const Ref<Object>& source) {
  Raise(active ? EVENT_APPRESUME : EVENT_APPSUSPEND, source, 0, g_modifiers, 0, 0);
}

void TranslateKey(KeyAction action, int32_t keyCode, const Ref<Object>& source) {
  if (keyCode < 1 || keyCode > 255) return;
  const int32_t id = action == KeyAction::Down     ? EVENT_KEYDOWN
                     : action == KeyAction::Repeat ? EVENT_KEYREPEAT
                                                   : EVENT_KEYUP;
  Raise(id, source, keyCode, g_modifiers, 0, 0);
}

void TranslateText(const String& text, const Ref<Object>& source) {
  for (const char16_t unit : text.Units()) Raise(EVENT_KEYCHAR, source, unit, g_modifiers, 0, 0);
}

void TranslateMouseButton(bool down, int32_t button, int32_t x, int32_t y, const Ref<Object>& source) {
  if (button < MOUSE_LEFT || button > MOUSE_MIDDLE) return;
  Raise(down ? EVENT_MOUSEDOWN : EVENT_MOUSEUP, source, button, g_modifiers, x, y);
}

void TranslateMouseMove(PointerWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t held, const Ref<Object>& source) {
  g_lastX = x;
  g_lastY = y;
  const bool inside = x >= 0 && y >= 0 && x < width && y < height;
  TrackPointerWindow(inside ? window : kNoPointerWindow, x, y, source);
  // The right button wins over the middle one, and that over the left.
  const int32_t data = (held & MOVE_HELD_RIGHT) != 0    ? MOVE_HELD_RIGHT
                       : (held & MOVE_HELD_MIDDLE) != 0 ? MOVE_HELD_MIDDLE
                       : (held & MOVE_HELD_LEFT) != 0   ? MOVE_HELD_LEFT
                                                        : 0;
  Raise(EVENT_MOUSEMOVE, source, data, g_modifiers, x, y);
}

void TranslateMouseWheel(int32_t steps, const Ref<Object>& source) {
  if (steps == 0) return;
  Raise(EVENT_MOUSEWHEEL, source, steps, g_modifiers, 0, 0);
}

void TranslateWindowSize(int32_t width, int32_t height, const Ref<Object>& source) {
  Raise(EVENT_WINDOWSIZE, source, 0, g_modifiers, width, height);
}

void TranslatePointerLeft(PointerWindow window) {
  if (window == kNoPointerWindow || window != g_trackedWindow) return;
  TrackPointerWindow(kNoPointerWindow, 0, 0, Null);
}

void TrackPointerWindow(PointerWindow window, int32_t x, int32_t y, const Ref<Object>& source) {
  if (window == g_trackedWindow) return;
  if (g_trackedWindow != kNoPointerWindow) {
    int32_t leftX = g_lastX;
    int32_t leftY = g_lastY;
    platform::PointerPositionIn(g_trackedWindow, leftX, leftY);
    // Forget the window before raising, so that a listener that moves the pointer sees the new
    // state and cannot make this leave twice.
    const Ref<Object> leftSource = TrackedSource();
    g_trackedWindow = kNoPointerWindow;
    TrackedSource() = Null;
    Raise(EVENT_MOUSELEAVE, leftSource, 0, 0, leftX, leftY);
  }
  g_trackedWindow = window;
  ApplyPointerVisibility();
  if (window != kNoPointerWindow) {
    TrackedSource() = source;
    Raise(EVENT_MOUSEENTER, source, 0, 0, x, y);
  }
}

PointerWindow TrackedPointerWindow() {
  return g_trackedWindow;
}

void SetPointerWanted(bool wanted) {
  g_pointerWanted = wanted;
  ApplyPointerVisibility();
}

bool PointerShown() {
  return g_pointerWanted || g_trackedWindow == kNoPointerWindow;
}

}  // namespace corvex
