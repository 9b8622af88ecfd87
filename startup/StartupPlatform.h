// What process start-up needs from the platform.
#pragma once

#include "runtime/String.h"

namespace corvex::platform {

// Installs one handler for SIGILL, SIGSEGV, SIGABRT and SIGTERM: it runs the crash actions
// (runtime/CrashActions.h), writes out what standard output holds and "signal!:N" after it,
// then "Received Signal" on standard error, and ends the process with 255. Bus errors and
// arithmetic faults end the same way with "Unhandled Memory Exception Error" and no signal line.
void InstallCrashHandlers();

// The running executable's full path, '/'-separated ("" when the platform cannot tell).
String ExecutablePath();

}  // namespace corvex::platform
