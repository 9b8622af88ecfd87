// Actions a crash runs before the process ends. A crash ends the process without its exit
// actions (nothing that allocates or locks may run where a fault or signal struck), so modules
// whose exit action must not be skipped — killing the listed child processes above all — add a
// signal-safe form of it here.
#pragma once

namespace corvex {

// An action for a crash: it may use only async-signal-safe calls (no allocation, no locks, no
// standard I/O) and must not throw.
using CrashAction = void (*)() noexcept;

// Adds an action; a crash runs them newest first, as exit actions run. Answers false when the
// table of 16 is full.
bool AddCrashAction(CrashAction action) noexcept;

// Runs every action added, newest first. Async-signal-safe; called by the crash handlers.
void RunCrashActions() noexcept;

}  // namespace corvex
