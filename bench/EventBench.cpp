// Event dispatch through the event hook and the queue, against plain function-pointer calls
// in the same run.
#include <benchmark/benchmark.h>

#include "system/Event.h"
#include "system/EventQueue.h"
#include "system/Hook.h"

namespace corvex {
namespace {

// Events sent between drains: half the ring, so nothing is dropped.
constexpr int32_t kBatch = kEventQueueSize / 2;

Ref<Object> PassOn(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  benchmark::DoNotOptimize(data.Get());
  return data;
}

// One indirect call per event, through a pointer the compiler cannot see through: what the
// chain's single listener costs at the least.
void BM_PlainFunctionPointerBaseline(benchmark::State& state) {
  HookFunction volatile callback = PassOn;
  const Ref<Object> event = NewEvent(EVENT_KEYDOWN, Null, 65, 0, 0, 0, Null);
  const Ref<Object> context;
  for (auto _ : state) {
    for (int32_t n = 0; n < kBatch; ++n) benchmark::DoNotOptimize(callback(0, event, context));
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_PlainFunctionPointerBaseline);

// SendEvent of a ready event: the hook chain with the queue's listener, then taking every
// queued event with NextEvent.
void BM_SendEventThroughQueue(benchmark::State& state) {
  InitEventQueueModule();
  const Ref<TEvent> event = NewEvent(EVENT_KEYDOWN, Null, 65, 0, 0, 0, Null);
  for (auto _ : state) {
    for (int32_t n = 0; n < kBatch; ++n) SendEvent(event);
    for (int32_t n = 0; n < kBatch; ++n) benchmark::DoNotOptimize(NextEvent());
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_SendEventThroughQueue);

// The same with a new event made for every send, as the platform layer raises them.
void BM_NewEventThroughQueue(benchmark::State& state) {
  InitEventQueueModule();
  for (auto _ : state) {
    for (int32_t n = 0; n < kBatch; ++n) SendEvent(NewEvent(EVENT_MOUSEMOVE, Null, 0, 0, n, n, Null));
    for (int32_t n = 0; n < kBatch; ++n) benchmark::DoNotOptimize(NextEvent());
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_NewEventThroughQueue);

// A merged event (a timer tick from one source): every send after the first updates the
// queued one in place.
void BM_MergedTickThroughQueue(benchmark::State& state) {
  InitEventQueueModule();
  const Ref<Object> timer = New<Object>();
  const Ref<TEvent> tick = NewEvent(EVENT_TIMERTICK, timer, 0, 0, 0, 0, Null);
  for (auto _ : state) {
    for (int32_t n = 0; n < kBatch; ++n) SendEvent(tick);
    benchmark::DoNotOptimize(NextEvent());
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_MergedTickThroughQueue);

}  // namespace
}  // namespace corvex
