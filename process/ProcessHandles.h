// The handles child processes and pipe streams hold: a pipe end and a started child as the
// platform knows them.
#pragma once

#include <cstdint>

namespace corvex::platform {

// A pipe end as the platform knows it.
using PipeHandle = intptr_t;
// The handle of no pipe end.
inline constexpr PipeHandle kNoPipe = -1;

// A started child. A child that ends stays unreleased until it is terminated, so that neither its
// id nor the id of its process group can name another process meanwhile. `ended` is set once the
// platform has released it (or found it is not this program's child): from then on its id may
// name an unrelated process and is never signalled.
struct ProcessRecord {
  int64_t id = 0;      // 0: no process
  bool ended = false;  // released by the platform: the id is never signalled again
};

}  // namespace corvex::platform
