// The event queue: a 256-slot ring filled by a listener on the event hook, emptied by the
// program one event at a time; and the accessors of the event last taken.
#pragma once

#include <cstdint>

#include "runtime/Object.h"
#include "runtime/String.h"
#include "system/Event.h"

namespace corvex {

// Number of slots in the queue ring.
inline constexpr int32_t kEventQueueSize = 256;
// Priority of the queue's listener on the event hook: after every ordinary listener.
inline constexpr int32_t kEventQueuePriority = -10000;

// Appends the event; with `merge`, updates a queued event of the same id and source instead.
// A full queue drops the event silently.
void QueueEvent(const Ref<TEvent>& event, bool merge);
// Takes the oldest event into LastEvent and answers its id; polls the system once when the
// queue is empty, then answers 0 with LastEvent set to the blank event.
int32_t NextEvent();
// Like NextEvent, but waits for system events while the queue is empty.
int32_t WaitForEvent();
// The oldest queued event without taking it (polls the system once when empty); Null if none.
Ref<TEvent> PeekEvent();
// Number of events queued now.
int32_t QueuedEventCount();

// The event most recently taken (the blank event when none was or the queue was empty).
Ref<TEvent> LastEvent();
int32_t LastEventId();
int32_t LastEventData();
int32_t LastEventMods();
int32_t LastEventX();
int32_t LastEventY();
Ref<Object> LastEventExtra();
Ref<Object> LastEventSource();
// `extra` when it is a string, otherwise "".
String LastEventText();
// A stable non-zero number for the last event's source object, 0 for Null.
int32_t LastEventSourceHandle();
// The stable non-zero number of an object (the same one every time), 0 for Null.
int32_t ObjectHandle(const Ref<Object>& object);

// The queue module's initialiser: creates the blank event and attaches the queue listener.
void InitEventQueueModule();

}  // namespace corvex
