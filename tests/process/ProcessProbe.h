// What the process tests observe from outside the module: other processes' states and groups,
// and this process's open descriptors.
#pragma once

#include <cstdint>

namespace corvex::probe {

// The state letter of a process ('R', 'S', 'Z' for a zombie, ...), or 0 when there is none.
char ProcessState(int64_t id);
// The process group of a process, or -1 when there is no such process.
int64_t ProcessGroup(int64_t id);
// How many descriptors this process has open.
int OpenDescriptorCount();
// Runs `body` in a forked copy of this process that then exits at once; answers whether the
// copy got that far.
bool RunInForkedCopy(void (*body)());

}  // namespace corvex::probe
