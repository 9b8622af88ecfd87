#include "system/EventQueue.h"

#include <array>
#include <unordered_map>

#include "runtime/Module.h"
#include "system/Hook.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

struct QueueState {
  std::array<Ref<TEvent>, kEventQueueSize> ring;
  // Counters that only increase; unsigned so that they wrap after 2^32 events instead of
  // overflowing, and `put - get` stays the number of queued events across the wrap.
  uint32_t put = 0;
  uint32_t get = 0;
  Ref<TEvent> nullEvent;
  Ref<TEvent> lastEvent;
};

// Object handles: each object asked about gets the next number of a process-wide counter, so
// a handle is never shared by two objects, even when one reuses the address of a dead one.
// The table holds a reference to every object it numbered; entries that only the table still
// holds can never be asked about again and are dropped when the table has doubled.
struct HandleTable {
  struct Entry {
    Ref<Object> object;
    int32_t handle;
  };
  std::unordered_map<const Object*, Entry> entries;
  int32_t lastHandle = 0;
  std::size_t sweepAt = 64;
};

// Module state lives until the process ends: created by the initialiser, never destroyed.
QueueState* g_queue = nullptr;
HandleTable* g_handles = nullptr;

QueueState& Queue() {
  InitEventQueueModule();
  return *g_queue;
}

Ref<TEvent>& Slot(QueueState& queue, uint32_t counter) {
  return queue.ring[counter % static_cast<uint32_t>(kEventQueueSize)];
}

bool IsMergedEvent(int32_t id) {
  return id == EVENT_WINDOWMOVE || id == EVENT_WINDOWSIZE || id == EVENT_TIMERTICK ||
         id == EVENT_GADGETACTION;
}

Ref<Object> QueueListener(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  if (Ref<TEvent> event = Cast<TEvent>(data)) QueueEvent(event, IsMergedEvent(event->id));
  return data;
}

int32_t TakeEvent(QueueState& queue) {
  Ref<TEvent>& slot = Slot(queue, queue.get);
  queue.lastEvent = std::move(slot);
  slot = Null;
  ++queue.get;
  return queue.lastEvent->id;
}

}  // namespace

void QueueEvent(const Ref<TEvent>& event, bool merge) {
  QueueState& queue = Queue();
  if (!event) return;
  if (merge) {
    for (uint32_t n = queue.get; n != queue.put; ++n) {
      TEvent& queued = *Slot(queue, n);
      if (queued.id == event->id && queued.source == event->source) {
        queued.data = event->data;
        queued.mods = event->mods;
        queued.x = event->x;
        queued.y = event->y;
        queued.extra = event->extra;
        return;
      }
    }
  }
  if (queue.put - queue.get >= static_cast<uint32_t>(kEventQueueSize)) return;
  Slot(queue, queue.put) = event;
  ++queue.put;
}

int32_t NextEvent() {
  QueueState& queue = Queue();
  if (queue.put == queue.get) PollSystemEvents();
  if (queue.put == queue.get) {
    queue.lastEvent = queue.nullEvent;
    return 0;
  }
  return TakeEvent(queue);
}

int32_t WaitForEvent() {
  QueueState& queue = Queue();
  while (queue.put == queue.get) WaitSystemEvents();
  return TakeEvent(queue);
}

Ref<TEvent> PeekEvent() {
  QueueState& queue = Queue();
  if (queue.put == queue.get) PollSystemEvents();
  if (queue.put == queue.get) return Null;
  return Slot(queue, queue.get);
}

int32_t QueuedEventCount() {
  const QueueState& queue = Queue();
  return static_cast<int32_t>(queue.put - queue.get);
}

Ref<TEvent> LastEvent() {
  return Queue().lastEvent;
}
int32_t LastEventId() {
  return Queue().lastEvent->id;
}
int32_t LastEventData() {
  return Queue().lastEvent->data;
}
int32_t LastEventMods() {
  return Queue().lastEvent->mods;
}
int32_t LastEventX() {
  return Queue().lastEvent->x;
}
int32_t LastEventY() {
  return Queue().lastEvent->y;
}
Ref<Object> LastEventExtra() {
  return Queue().lastEvent->extra;
}
Ref<Object> LastEventSource() {
  return Queue().lastEvent->source;
}

String LastEventText() {
  if (Ref<TStringObject> text = Cast<TStringObject>(Queue().lastEvent->extra)) return text->Text();
  return String();
}

int32_t LastEventSourceHandle() {
  return ObjectHandle(Queue().lastEvent->source);
}

int32_t ObjectHandle(const Ref<Object>& object) {
  if (!object) return 0;
  InitEventQueueModule();
  HandleTable& table = *g_handles;
  if (auto found = table.entries.find(object.Get()); found != table.entries.end())
    return found->second.handle;

  if (table.entries.size() >= table.sweepAt) {
    std::erase_if(table.entries, [](const auto& item) { return item.second.object->RefCount() == 1; });
    table.sweepAt = std::max<std::size_t>(64, table.entries.size() * 2);
  }
  // Positive handles only; after 2^31 - 1 of them numbering starts again at 1.
  table.lastHandle = table.lastHandle == INT32_MAX ? 1 : table.lastHandle + 1;
  table.entries.emplace(object.Get(), HandleTable::Entry{object, table.lastHandle});
  return table.lastHandle;
}

void InitEventQueueModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitHookModule();
  InitEventModule();
  g_queue = new QueueState();
  g_handles = new HandleTable();
  g_queue->nullEvent = New<TEvent>();
  g_queue->lastEvent = g_queue->nullEvent;
  AttachHook(EventHookId(), QueueListener, Null, kEventQueuePriority);
}

}  // namespace corvex
