#include <cstdio>
#include <cstdlib>

#include "runtime/Module.h"
#include "runtime/String.h"
#include "runtime/Uncaught.h"

namespace corvex {

void InitRuntimeModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  // The core keeps no globals that need creating: its types are complete at load.
}

void ExitUncaught(const Object& error) {
  const std::string text = error.ToString().ToBytes();
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  std::exit(255);
}

}  // namespace corvex
