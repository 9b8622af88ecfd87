// POSIX crash handlers and executable-path query.
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "startup/StartupPlatform.h"

namespace corvex::platform {
namespace {

// Only async-signal-safe calls from here on: write() and _exit().
void WriteAll(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<std::size_t>(n);
  }
}

template <std::size_t N>
void WriteText(int fd, const char (&text)[N]) {
  WriteAll(fd, text, N - 1);
}

void OnCrashSignal(int signal) {
  char line[32] = "signal!:";
  std::size_t length = 8;
  char digits[12];
  std::size_t count = 0;
  unsigned value = static_cast<unsigned>(signal);
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && count < sizeof digits);
  while (count > 0) line[length++] = digits[--count];
  line[length++] = '\n';
  WriteAll(STDOUT_FILENO, line, length);
  WriteText(STDERR_FILENO, "Received Signal\n");
  _exit(255);
}

void OnMemoryFault(int) {
  WriteText(STDERR_FILENO, "Unhandled Memory Exception Error\n");
  _exit(255);
}

void Install(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // The alternate stack lets a stack overflow still be reported; a fault inside the handler
  // falls back to the default action instead of looping.
  action.sa_flags = SA_ONSTACK | SA_RESETHAND;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallCrashHandlers() {
  static constinit bool installed = false;
  if (installed) return;
  installed = true;
  // Kept for the life of the process (the handler may run until the very end); the pointer is
  // held so that leak checkers see it as reachable.
  static constinit void* alternateStack = nullptr;
  stack_t alternate{};
  alternate.ss_size = 64 * 1024;
  alternateStack = std::malloc(alternate.ss_size);
  alternate.ss_sp = alternateStack;
  if (alternate.ss_sp != nullptr) sigaltstack(&alternate, nullptr);
  for (int signal : {SIGILL, SIGSEGV, SIGABRT, SIGTERM}) Install(signal, OnCrashSignal);
  for (int signal : {SIGBUS, SIGFPE}) Install(signal, OnMemoryFault);
}

String ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return String();
  return String::FromBytes(path, static_cast<std::size_t>(length));
}

}  // namespace corvex::platform
