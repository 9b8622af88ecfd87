#include "system/sdl2/TimerSdl2.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

#include "system/Timer.h"
#include "system/sdl2/EventPumpSdl2.h"

namespace corvex {
namespace {

// Each source slot's shared state is one atomic word: the slot's generation in the high half,
// and in the low half the expiries not yet delivered plus a flag saying an SDL event for them
// is queued. A stop moves the slot to a new generation, so expiries and queued events of the
// old one find a mismatch and are dropped; SDL's thread never sees anything but this word.
constexpr uint64_t kPostedFlag = 0x80000000u;
constexpr uint64_t kCountMask = 0x7fffffffu;
constexpr uint32_t kSlotBits = 4;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr uint32_t kGenerationMask = 0x0fffffffu;

static_assert(kMaxRunningTimers == 1 << kSlotBits);

struct Slot {
  // Pumping thread only.
  SDL_TimerID sdlTimer = 0;
  uint32_t generation = 0;
  bool running = false;
};

constinit std::array<std::atomic<uint64_t>, kMaxRunningTimers> g_shared{};

// Each slot's schedule, kept against the clock rather than from one wake-up to the next: a late
// wake-up then counts every period that has passed and the next one is shortened, so over any
// stretch a source expires once per period. SDL's thread reads and advances it; a start writes
// it before the source exists.
struct Schedule {
  std::atomic<int64_t> nextDue{0};  // nanoseconds of the steady clock
  std::atomic<int64_t> period{0};   // nanoseconds
};
constinit std::array<Schedule, kMaxRunningTimers> g_schedules{};
constinit std::array<Slot, kMaxRunningTimers> g_slots{};
constinit std::atomic<uint32_t> g_tickEventType{0};
constinit TickDelivery g_deliver = nullptr;

uint64_t SharedWord(uint32_t generation) {
  return static_cast<uint64_t>(generation) << 32;
}

// The word handed to SDL with the timer: slot and generation, never a pointer.
void* Key(uint32_t slot, uint32_t generation) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>((generation << kSlotBits) | slot));
}

int64_t SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// SDL's timer thread: counts the periods that have passed, queues an event unless one is
// already queued, and asks to be woken when the next period is due.
Uint32 OnExpiry(Uint32 interval, void* param) {
  const auto key = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(param));
  const uint32_t slot = key & kSlotMask;
  const uint64_t generation = SharedWord(key >> kSlotBits);
  std::atomic<uint64_t>& shared = g_shared[slot];
  Schedule& schedule = g_schedules[slot];

  // Read before the generation check: a restart of the slot in between changes nextDue, and the
  // advance below then leaves the new schedule alone.
  const int64_t due = schedule.nextDue.load(std::memory_order_acquire);
  const int64_t period = schedule.period.load(std::memory_order_acquire);
  const int64_t now = SteadyNanos();
  if (period <= 0) return interval;
  // SDL wakes on whole milliseconds and may wake a little early: nothing is due before `due`.
  const int64_t passed = now >= due ? 1 + (now - due) / period : 0;
  const int64_t next = due + passed * period;

  uint64_t seen = shared.load(std::memory_order_acquire);
  uint64_t updated = 0;
  do {
    if ((seen & ~(kPostedFlag | kCountMask)) != generation) return interval;  // stopped
    const uint64_t count =
        std::min<uint64_t>((seen & kCountMask) + static_cast<uint64_t>(passed), kCountMask);
    updated = generation | (passed > 0 ? kPostedFlag : seen & kPostedFlag) | count;
  } while (!shared.compare_exchange_weak(seen, updated, std::memory_order_acq_rel));
  int64_t expected = due;
  schedule.nextDue.compare_exchange_strong(expected, next, std::memory_order_acq_rel);
  const auto untilNext = static_cast<Uint32>(std::max<int64_t>(1, (next - SteadyNanos() + 999999) / 1000000));
  if (passed == 0 || (seen & kPostedFlag) != 0) return untilNext;

  SDL_Event event{};
  event.type = g_tickEventType.load(std::memory_order_relaxed);
  event.user.code = static_cast<Sint32>(key);
  if (SDL_PushEvent(&event) != 1) {
    // SDL's queue is full: clear the flag so that a later expiry posts again.
    uint64_t posted = shared.load(std::memory_order_acquire);
    while ((posted & ~(kPostedFlag | kCountMask)) == generation &&
           !shared.compare_exchange_weak(posted, posted & ~kPostedFlag, std::memory_order_acq_rel)) {
    }
  }
  return untilNext;
}

// The pumping thread: takes the slot's counted expiries and delivers them.
bool TickFilter(const SDL_Event& event) {
  const uint32_t type = g_tickEventType.load(std::memory_order_relaxed);
  if (type == 0 || event.type != type) return false;
  const auto key = static_cast<uint32_t>(event.user.code);
  const uint32_t slot = key & kSlotMask;
  const uint64_t generation = SharedWord(key >> kSlotBits);
  std::atomic<uint64_t>& shared = g_shared[slot];

  uint64_t seen = shared.load(std::memory_order_acquire);
  do {
    if ((seen & ~(kPostedFlag | kCountMask)) != generation) return true;  // a stopped source
  } while (!shared.compare_exchange_weak(seen, generation, std::memory_order_acq_rel));
  const auto expiries = static_cast<int32_t>(seen & kCountMask);
  if (expiries > 0 && g_deliver != nullptr) g_deliver(static_cast<int32_t>(slot) + 1, expiries);
  return true;
}

// First use: an SDL event type of our own and the filter that catches it.
bool PrepareTickEvents() {
  if (g_tickEventType.load(std::memory_order_relaxed) != 0) return true;
  const Uint32 type = SDL_RegisterEvents(1);
  if (type == static_cast<Uint32>(-1)) return false;
  g_tickEventType.store(type, std::memory_order_relaxed);
  AddSdlEventFilter(TickFilter);
  return true;
}

}  // namespace

int32_t StartTickSource(uint32_t periodMillis, TickDelivery deliver) {
  if (periodMillis == 0 || !PrepareTickEvents()) return 0;
  for (uint32_t slot = 0; slot < g_slots.size(); ++slot) {
    Slot& entry = g_slots[slot];
    if (entry.running) continue;
    g_deliver = deliver;
    g_shared[slot].store(SharedWord(entry.generation), std::memory_order_release);
    const int64_t period = static_cast<int64_t>(periodMillis) * 1000000;
    g_schedules[slot].period.store(period, std::memory_order_release);
    g_schedules[slot].nextDue.store(SteadyNanos() + period, std::memory_order_release);
    entry.sdlTimer = SDL_AddTimer(periodMillis, OnExpiry, Key(slot, entry.generation));
    if (entry.sdlTimer == 0) return 0;
    entry.running = true;
    return static_cast<int32_t>(slot) + 1;
  }
  return 0;
}

void StopTickSource(int32_t source) {
  if (source < 1 || source > kMaxRunningTimers) return;
  const auto slot = static_cast<uint32_t>(source - 1);
  Slot& entry = g_slots[slot];
  if (!entry.running) return;
  entry.running = false;
  // The new generation first: an expiry already under way on SDL's thread then drops itself.
  entry.generation = (entry.generation + 1) & kGenerationMask;
  g_shared[slot].store(SharedWord(entry.generation), std::memory_order_release);
  SDL_RemoveTimer(entry.sdlTimer);
  entry.sdlTimer = 0;
}

}  // namespace corvex
