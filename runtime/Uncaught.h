// The path an exception takes when no handler catches it.
#pragma once

#include "runtime/Object.h"

namespace corvex {

// Writes the error's text form (and nothing after it) to standard error, flushes it and ends the
// process with status 255 (the platform's -1). At-exit handlers still run.
[[noreturn]] void ExitUncaught(const Object& error);

// Runs `body`; whatever it throws and does not catch takes the uncaught path.
template <class Body>
int RunReportingUncaught(Body&& body) {
  try {
    return body();
  } catch (const Object& error) {
    ExitUncaught(error);
  }
}

}  // namespace corvex
