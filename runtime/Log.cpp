#include "runtime/Log.h"

#include <atomic>
#include <cstdio>

namespace corvex {
namespace {

constinit std::atomic<LogHandler> g_handler{nullptr};
constinit std::atomic<int32_t> g_minimum{static_cast<int32_t>(LogLevel::Warning)};

void WriteToStandardError(LogLevel level, const String& text) {
  const std::string line = std::string(LogLevelName(level)) + ": " + text.ToBytes() + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);  // one write, so threads do not interleave
}

}  // namespace

void SetLogHandler(LogHandler handler, LogLevel minimum) {
  g_minimum.store(static_cast<int32_t>(minimum));
  g_handler.store(handler);
}

void LogLine(LogLevel level, const String& text) {
  if (static_cast<int32_t>(level) < g_minimum.load(std::memory_order_relaxed)) return;
  const LogHandler handler = g_handler.load();
  (handler != nullptr ? handler : &WriteToStandardError)(level, text);
}

void LogLine(LogLevel level, const char* text) {
  if (static_cast<int32_t>(level) < g_minimum.load(std::memory_order_relaxed)) return;
  LogLine(level, String(text));
}

const char* LogLevelName(LogLevel level) noexcept {
  switch (level) {
    case LogLevel::Debug:
      return "debug";
    case LogLevel::Info:
      return "info";
    case LogLevel::Warning:
      return "warning";
    case LogLevel::Error:
      return "error";
  }
  return "log";
}

}  // namespace corvex
