// The framework's diagnostic lines (decoder warnings, driver fallbacks, dropped packets) go to
// one place: standard error unless the program hands them to a function of its own.
#pragma once

#include <cstdint>

#include "runtime/String.h"

namespace corvex {

// How much a diagnostic line matters; handlers drop lines below their minimum.
enum class LogLevel : int32_t { Debug = 0, Info = 1, Warning = 2, Error = 3 };

// Receives one diagnostic line, without a line end. May be called from any framework thread
// (the mixer's included), so it must be safe to call concurrently.
using LogHandler = void (*)(LogLevel level, const String& text);

// Sends every line at `minimum` or above to `handler`; a null handler restores the default,
// which writes "<level>: <text>" lines to standard error. Lines below `minimum` are dropped.
void SetLogHandler(LogHandler handler, LogLevel minimum = LogLevel::Warning);

// Hands one line to the current handler when its level is at or above the minimum.
void LogLine(LogLevel level, const String& text);
void LogLine(LogLevel level, const char* text);

// The level's lower-case name: "debug", "info", "warning" or "error".
const char* LogLevelName(LogLevel level) noexcept;

}  // namespace corvex
