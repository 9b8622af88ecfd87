#include "system/InputTracker.h"

#include <array>
#include <utility>

#include "runtime/Module.h"
#include "system/Event.h"
#include "system/Hook.h"
#include "system/KeyCodes.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

// The tracker's state: plain values, constant-initialised.
constinit std::array<int32_t, kKeyCodeCount> g_keyDown{};
constinit std::array<int32_t, kKeyCodeCount> g_keyHits{};
constinit std::array<int32_t, kMouseButtonCount> g_mouseDown{};
constinit std::array<int32_t, kMouseButtonCount> g_mouseHits{};
constinit std::array<int32_t, kCharRingSize> g_chars{};
constinit uint32_t g_charPut = 0;
constinit uint32_t g_charGet = 0;
constinit int32_t g_pointerX = 0;
constinit int32_t g_pointerY = 0;
constinit int32_t g_wheel = 0;
constinit int32_t g_suspended = 0;
constinit int32_t g_terminateRequest = 0;
constinit bool g_tracking = false;

// The source filter. Created on first use and never destroyed.
Ref<Object>& SourceFilter() {
  static Ref<Object>* const held = new Ref<Object>();
  return *held;
}

bool IsKeyCode(int32_t key) {
  return key >= 0 && key < kKeyCodeCount;
}
bool IsButton(int32_t button) {
  return button >= 0 && button < kMouseButtonCount;
}

void ForgetKeys() {
  g_charPut = 0;
  g_charGet = 0;
  g_keyDown.fill(0);
  g_keyHits.fill(0);
}

void ForgetMouse() {
  g_mouseDown.fill(0);
  g_mouseHits.fill(0);
  g_wheel = 0;
}

// Counts a press unless the key or button is already down (a lost release must not make every
// later press of it count twice).
void Press(int32_t& down, int32_t& hits) {
  if (down != 0) return;
  down = 1;
  ++hits;
}

Ref<Object> TrackInput(int32_t /*id*/, const Ref<Object>& data, const Ref<Object>& /*context*/) {
  const Ref<TEvent> event = Cast<TEvent>(data);
  if (!event) return data;
  const Ref<Object>& filter = SourceFilter();
  if (filter && filter != event->source) return data;
  switch (event->id) {
    case EVENT_APPSUSPEND:
    case EVENT_APPRESUME:
      ClearKeys();
      ClearMouse();
      g_suspended = event->id == EVENT_APPSUSPEND ? 1 : 0;
      break;
    case EVENT_APPTERMINATE:
      g_terminateRequest = 1;
      break;
    case EVENT_KEYDOWN:
      if (IsKeyCode(event->data)) Press(g_keyDown[event->data], g_keyHits[event->data]);
      break;
    case EVENT_KEYUP:
      if (IsKeyCode(event->data)) g_keyDown[event->data] = 0;
      break;
    case EVENT_KEYCHAR:
      if (g_charPut - g_charGet < static_cast<uint32_t>(kCharRingSize)) {
        g_chars[g_charPut % kCharRingSize] = event->data;
        ++g_charPut;
      }
      break;
    case EVENT_MOUSEDOWN:
      if (IsButton(event->data)) Press(g_mouseDown[event->data], g_mouseHits[event->data]);
      break;
    case EVENT_MOUSEUP:
      if (IsButton(event->data)) g_mouseDown[event->data] = 0;
      break;
    case EVENT_MOUSEMOVE:
      g_pointerX = event->x;
      g_pointerY = event->y;
      break;
    case EVENT_MOUSEWHEEL:
      // Unsigned arithmetic: a flood of notches wraps instead of overflowing.
      g_wheel = static_cast<int32_t>(static_cast<uint32_t>(g_wheel) + static_cast<uint32_t>(event->data));
      break;
    default:
      break;
  }
  return data;
}

}  // namespace

void StartInputTracking(const Ref<Object>& sourceFilter) {
  if (g_tracking) return;
  SourceFilter() = sourceFilter;
  ClearKeys();
  ClearMouse();
  AttachHook(EventHookId(), &TrackInput, Null, kInputTrackerPriority);
  g_tracking = true;
}

void StopInputTracking() {
  if (!g_tracking) return;
  DetachHook(EventHookId(), &TrackInput, Null);
  ClearKeys();
  ClearMouse();
  SourceFilter() = Null;
  g_tracking = false;
}

int32_t IsInputTracking() {
  return g_tracking ? 1 : 0;
}

int32_t KeyHitCount(int32_t key) {
  PollSystemEvents();
  if (!IsKeyCode(key)) return 0;
  return std::exchange(g_keyHits[key], 0);
}

int32_t IsKeyDown(int32_t key) {
  PollSystemEvents();
  return IsKeyCode(key) ? g_keyDown[key] : 0;
}

int32_t NextChar() {
  PollSystemEvents();
  if (g_charGet == g_charPut) return 0;
  const int32_t character = g_chars[g_charGet % kCharRingSize];
  ++g_charGet;
  return character;
}

int32_t MouseHitCount(int32_t button) {
  PollSystemEvents();
  if (!IsButton(button)) return 0;
  return std::exchange(g_mouseHits[button], 0);
}

int32_t IsMouseDown(int32_t button) {
  PollSystemEvents();
  return IsButton(button) ? g_mouseDown[button] : 0;
}

int32_t PointerX() {
  PollSystemEvents();
  return g_pointerX;
}

int32_t PointerY() {
  PollSystemEvents();
  return g_pointerY;
}

int32_t WheelPosition() {
  PollSystemEvents();
  return g_wheel;
}

int32_t IsAppSuspended() {
  PollSystemEvents();
  return g_suspended;
}

int32_t TakeTerminateRequest() {
  PollSystemEvents();
  return std::exchange(g_terminateRequest, 0);
}

void ClearKeys() {
  PollSystemEvents();
  ForgetKeys();
}

void ClearMouse() {
  PollSystemEvents();
  ForgetMouse();
}

int32_t WaitForKey() {
  ClearKeys();
  for (;;) {
    WaitSystemEvents();
    for (int32_t key = 1; key < kKeyCodeCount; ++key) {
      if (KeyHitCount(key) != 0) return key;
    }
  }
}

int32_t WaitForChar() {
  ClearKeys();
  for (;;) {
    WaitSystemEvents();
    const int32_t character = NextChar();
    if (character != 0) return character;
  }
}

int32_t WaitForClick() {
  ClearMouse();
  for (;;) {
    WaitSystemEvents();
    for (int32_t button = MOUSE_LEFT; button <= MOUSE_MIDDLE; ++button) {
      if (MouseHitCount(button) != 0) return button;
    }
  }
}

void InitInputModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitHookModule();
  InitEventModule();
  InitSystemModule();
}

}  // namespace corvex
