// A listener for tests: records every event raised while it is attached, in order.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "system/Event.h"
#include "system/Hook.h"

namespace corvex::testing_support {

// The fields of one recorded event.
struct RecordedEvent {
  int32_t id = 0;
  const Object* source = nullptr;
  int32_t data = 0;
  int32_t mods = 0;
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const RecordedEvent&, const RecordedEvent&) = default;
  friend std::ostream& operator<<(std::ostream& out, const RecordedEvent& e) {
    return out << "{id " << e.id << ", data " << e.data << ", mods " << e.mods << ", x " << e.x << ", y "
               << e.y << (e.source != nullptr ? ", with source}" : "}");
  }
};

// Attached for its lifetime above every ordinary listener (the tracker runs after it).
class EventRecorder {
 public:
  EventRecorder() {
    Events().clear();
    AttachHook(EventHookId(), &Record, Null, 1000);
  }
  ~EventRecorder() { DetachHook(EventHookId(), &Record, Null); }
  EventRecorder(const EventRecorder&) = delete;
  EventRecorder& operator=(const EventRecorder&) = delete;

  // The events recorded so far; cleared by Clear.
  const std::vector<RecordedEvent>& events() const { return Events(); }
  // Only the ids, for checking orders.
  std::vector<int32_t> ids() const {
    std::vector<int32_t> result;
    for (const RecordedEvent& event : Events()) result.push_back(event.id);
    return result;
  }
  void Clear() { Events().clear(); }

 private:
  static std::vector<RecordedEvent>& Events() {
    static std::vector<RecordedEvent> events;
    return events;
  }
  static Ref<Object> Record(int32_t, const Ref<Object>& data, const Ref<Object>&) {
    if (const Ref<TEvent> event = Cast<TEvent>(data)) {
      Events().push_back({event->id, event->source.Get(), event->data, event->mods, event->x, event->y});
    }
    return data;
  }
};

}  // namespace corvex::testing_support
