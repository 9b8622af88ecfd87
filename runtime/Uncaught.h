// The path an exception takes when no handler catches it.
#pragma once

#include <exception>

#include "runtime/Object.h"

namespace corvex {

// Writes the error's text form (and nothing after it) to standard error, flushes it and ends the
// process with status 255 (the platform's -1). At-exit handlers still run.
[[noreturn]] void ExitUncaught(const Object& error);
// The same for a C++ standard exception: its what() text, then status 255.
[[noreturn]] void ExitUncaught(const std::exception& error);

// Runs `body`; whatever error object or standard exception it throws and does not catch takes
// the uncaught path.
template <class Body>
int RunReportingUncaught(Body&& body) {
  try {
    return body();
  } catch (const Object& error) {
    ExitUncaught(error);
  } catch (const std::exception& error) {
    ExitUncaught(error);
  }
}

}  // namespace corvex
