// Hooks: numbered chains of prioritised callbacks that pass an object through every entry.
#pragma once

#include <cstdint>

#include "runtime/Object.h"

namespace corvex {

// A hook callback: answers the data handed on to the next entry of the chain.
using HookFunction = Ref<Object> (*)(int32_t id, const Ref<Object>& data, const Ref<Object>& context);

// Number of hook ids; NewHookId hands out 0 to kHookIdCount - 1.
inline constexpr int32_t kHookIdCount = 256;

// One entry of a hook chain. The chain owns its entries through `next`.
class THook : public Object {
 public:
  Ref<THook> next;       // the entry after this one, Null at the end
  int32_t priority = 0;  // higher runs first
  // No callback (a fresh entry) raises TNullFunctionException when the chain runs.
  HookFunction callback = nullptr;
  Ref<Object> context;
  // Set when DetachHook unlinks the entry, so a run that still holds it skips it.
  bool detached = false;
};

// The next free hook id, counting up from 0; raises "Too many hook ids" after 256 ids.
int32_t NewHookId();
// Links a callback into the chain of `id`, after every entry of greater or equal priority.
void AttachHook(int32_t id, HookFunction callback, const Ref<Object>& context, int32_t priority);
// Unlinks the first entry with this exact callback and context; nothing when there is none.
void DetachHook(int32_t id, HookFunction callback, const Ref<Object>& context);
// Runs the chain of `id` over `data` and answers the data as the last callback left it.
Ref<Object> CallHooks(int32_t id, const Ref<Object>& data);

// The hook registry's module initialiser: creates the 256 empty chains.
void InitHookModule();

}  // namespace corvex
