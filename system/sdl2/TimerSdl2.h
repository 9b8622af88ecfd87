// Periodic tick sources on SDL timers. SDL's timer thread only counts expiries and queues one
// SDL event for them; the pumping thread hands the expiries to the timer module when it next
// dispatches events. Expiries keep to a fixed schedule from the start: a late wake-up counts
// every period that has passed, so a source expires once per period over any stretch of time.
#pragma once

#include <cstdint>

namespace corvex {

// Called on the pumping thread with a source id and the expiries counted since the last call.
using TickDelivery = void (*)(int32_t source, int32_t expiries);

// Starts a periodic source of `periodMillis` (> 0) delivering to `deliver`; answers its id
// (1 to 16), or 0 when 16 are running or SDL refuses. Ids are reused, but an expiry of a
// stopped source is never delivered, not even to a later source with the same id.
int32_t StartTickSource(uint32_t periodMillis, TickDelivery deliver);
// Stops a source; nothing for an id that is not running.
void StopTickSource(int32_t source);

}  // namespace corvex
