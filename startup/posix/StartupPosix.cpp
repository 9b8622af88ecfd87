// POSIX crash handlers and executable-path query.
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "runtime/CrashActions.h"
#include "startup/StartupPlatform.h"

namespace corvex::platform {
namespace {

// Only async-signal-safe calls from here on: write(), kill() through the crash actions, _exit().
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

// Writes out what standard output's buffer holds. fflush could wait for a lock the interrupted
// code holds, or find the buffer half updated; reading the buffer's bounds and write() are safe
// wherever the signal struck, and the bounds are checked against the buffer before use.
void DrainStandardOutput() {
#if defined(__GLIBC__)
  const FILE* out = stdout;
  const char* start = out->_IO_write_base;
  const char* end = out->_IO_write_ptr;
  if (start == nullptr || start < out->_IO_buf_base || end <= start || end > out->_IO_buf_end) return;
  WriteAll(out->_fileno, start, static_cast<std::size_t>(end - start));
#endif
}

// The exit path of a crash: the crash actions first (they kill the listed child processes, the
// one exit action that must not be lost), then what standard output holds, the line for the
// signal when there is one, and the error's text on standard error, ending with 255.
template <std::size_t N>
[[noreturn]] void EndCrashed(int signal, const char (&errorText)[N]) {
  RunCrashActions();
  DrainStandardOutput();
  if (signal != 0) {
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
  }
  WriteText(STDERR_FILENO, errorText);
  _exit(255);
}

void OnCrashSignal(int signal) {
  EndCrashed(signal, "Received Signal");
}

void OnMemoryFault(int) {
  EndCrashed(0, "Unhandled Memory Exception Error");
}

void Install(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  // No second crash signal interrupts the handler; the alternate stack lets a stack overflow
  // still be reported; a fault inside the handler falls back to the default action instead of
  // looping.
  sigfillset(&action.sa_mask);
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
