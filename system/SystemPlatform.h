// What the system layer needs from the platform: its driver, the pointer, and the clock.
#pragma once

#include <cstdint>

#include "runtime/Object.h"
#include "system/SystemDriver.h"
#include "system/Translator.h"

namespace corvex::platform {

// Starts the platform's event services and answers its system driver; the driver dispatches
// nothing when the services could not be started.
Ref<TSystemDriver> NewSystemDriver();

// The pointer's current position in the client coordinates of `window`; false when the
// platform cannot tell (for example when the window has gone).
bool PointerPositionIn(PointerWindow window, int32_t& x, int32_t& y);
// Shows or hides the pointer (an absolute state, not a counter).
void ShowPointer(bool shown);

// Milliseconds of a monotonic clock, modulo 2^32.
uint32_t MonotonicMillis();
// Sleeps at least that many milliseconds (0 yields).
void SleepFor(int32_t milliseconds);

}  // namespace corvex::platform
