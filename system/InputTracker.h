// The input tracker: a listener on the event hook that keeps the keyboard and mouse state for
// programs that poll (keys held and hit, typed characters, buttons, pointer, wheel) and the
// suspend and terminate requests.
#pragma once

#include <cstdint>

#include "runtime/Object.h"

namespace corvex {

// Number of typed characters the tracker keeps; more are dropped until some are read.
inline constexpr int32_t kCharRingSize = 256;
// Priority of the tracker on the event hook (the event queue's listener runs after it).
inline constexpr int32_t kInputTrackerPriority = 0;

// Attaches the tracker (with cleared state) unless it is already on; it then counts only events
// from `sourceFilter`, or all events when that is Null.
void StartInputTracking(const Ref<Object>& sourceFilter);
// Detaches the tracker and clears its state; nothing when it is off.
void StopInputTracking();
// 1 while the tracker is attached.
int32_t IsInputTracking();

// Each query below first dispatches pending system events.

// How often the key went down since the last call for it or the last clear; resets the count.
int32_t KeyHitCount(int32_t key);
// 1 while the key is held.
int32_t IsKeyDown(int32_t key);
// The oldest typed character, removed; 0 when none waits.
int32_t NextChar();
// How often the button went down since the last call for it or the last clear; resets it.
int32_t MouseHitCount(int32_t button);
// 1 while the button is held.
int32_t IsMouseDown(int32_t button);
// The pointer position of the last mouse move, in client coordinates.
int32_t PointerX();
int32_t PointerY();
// The sum of wheel notches since the last mouse clear.
int32_t WheelPosition();
// 1 between AppSuspend and AppResume.
int32_t IsAppSuspended();
// 1 once after a close request, then 0 until the next one.
int32_t TakeTerminateRequest();

// Dispatches pending events, then forgets typed characters, held keys and key hits.
void ClearKeys();
// Dispatches pending events, then forgets held buttons, button hits and the wheel position.
void ClearMouse();
// Clears keys, then waits until a key is hit and answers the lowest code hit.
int32_t WaitForKey();
// Clears keys, then waits for a typed character and answers it.
int32_t WaitForChar();
// Clears the mouse, then waits until a button is hit and answers the lowest button hit.
int32_t WaitForClick();

// The input module's initialiser: starts the system and event modules (the tracker stays off).
void InitInputModule();

}  // namespace corvex
