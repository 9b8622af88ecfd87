#include "runtime/CrashActions.h"

#include <array>
#include <atomic>

namespace corvex {
namespace {

// A fixed table: a crash handler may read it at any moment, so it never moves or grows.
constinit std::array<std::atomic<CrashAction>, 16> g_actions{};
constinit std::atomic<int> g_count{0};

static_assert(std::atomic<CrashAction>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "crash handlers read the table without locks");

}  // namespace

bool AddCrashAction(CrashAction action) noexcept {
  const int slot = g_count.load();
  if (action == nullptr || slot >= static_cast<int>(g_actions.size())) return false;
  g_actions[static_cast<std::size_t>(slot)].store(action);
  g_count.store(slot + 1);  // published only once the slot holds the action
  return true;
}

void RunCrashActions() noexcept {
  for (int slot = g_count.load() - 1; slot >= 0; --slot) {
    if (const CrashAction action = g_actions[static_cast<std::size_t>(slot)].load()) action();
  }
}

}  // namespace corvex
