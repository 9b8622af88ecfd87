#include "system/Hook.h"

#include <array>

#include "runtime/Exceptions.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

using ChainTable = std::array<Ref<THook>, kHookIdCount>;

// The chain heads. Hooks live until the process ends, so the table is created once by the
// module initialiser and never destroyed: nothing here runs at static destruction.
ChainTable* g_chains = nullptr;
constinit int32_t g_lastHookId = -1;

Ref<THook>& ChainHead(int32_t id) {
  InitHookModule();
  if (id < 0 || id >= kHookIdCount) throw TArrayBoundsException();
  return (*g_chains)[static_cast<std::size_t>(id)];
}

}  // namespace

int32_t NewHookId() {
  InitHookModule();
  // The counter keeps counting past a failure, so every later call fails too.
  if (g_lastHookId < kHookIdCount) ++g_lastHookId;
  if (g_lastHookId >= kHookIdCount) throw TThrownString("Too many hook ids");
  return g_lastHookId;
}

void AttachHook(int32_t id, HookFunction callback, const Ref<Object>& context, int32_t priority) {
  Ref<THook>& head = ChainHead(id);
  Ref<THook> entry = New<THook>();
  entry->priority = priority;
  entry->callback = callback;
  entry->context = context;

  // Equal priorities keep their attach order: step past every entry of priority >= ours.
  if (!head || head->priority < priority) {
    entry->next = head;
    head = entry;
    return;
  }
  THook* before = head.Get();
  while (before->next && before->next->priority >= priority) before = before->next.Get();
  entry->next = before->next;
  before->next = entry;
}

void DetachHook(int32_t id, HookFunction callback, const Ref<Object>& context) {
  Ref<THook>* link = &ChainHead(id);
  while (*link) {
    THook* entry = link->Get();
    if (entry->callback == callback && entry->context == context) {
      // A run that is standing on this entry keeps it alive and follows its `next`, which
      // stays as it is; the flag makes such a run skip it.
      Ref<THook> unlinked = *link;
      unlinked->detached = true;
      *link = unlinked->next;
      return;
    }
    link = &entry->next;
  }
}

Ref<Object> CallHooks(int32_t id, const Ref<Object>& data) {
  Ref<Object> result = data;
  // Holding the current entry keeps it (and through it the rest of the chain it saw) alive
  // while its callback attaches or detaches entries, itself included.
  for (Ref<THook> entry = ChainHead(id); entry; entry = Ref<THook>(entry->next)) {
    if (entry->detached) continue;
    if (entry->callback == nullptr) throw TNullFunctionException();
    result = entry->callback(id, result, entry->context);
  }
  return result;
}

void InitHookModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  g_chains = new ChainTable();
}

}  // namespace corvex
