// What the command-line tools share: their exit statuses, usage errors and number parsing.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

namespace corvex::tools {

// Exit statuses every tool uses, so scripts can tell the failures apart.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUnreadable = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnwritable = 3;

// Prints the message and where to find help on standard error; answers kExitUsage.
inline int UsageError(const char* tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", tool, message.c_str(), tool);
  return kExitUsage;
}

// Parses a whole decimal number within [low, high].
inline bool ParseNumber(std::string_view text, int low, int high, int& value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

}  // namespace corvex::tools
