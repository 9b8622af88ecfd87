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

namespace {

[[noreturn]] void ExitWithText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  std::exit(255);
}

}  // namespace

void ExitUncaught(const Object& error) {
  ExitWithText(error.ToString().ToBytes());
}

void ExitUncaught(const std::exception& error) {
  ExitWithText(error.what());
}

}  // namespace corvex
