// Run-time library loading through dlopen.
#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

#include "audio/SharedLibraryPlatform.h"
#include "runtime/Log.h"

namespace corvex::platform {

void* OpenOpenALLibrary() noexcept {
  return dlopen("libopenal.so.1", RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(void* library, const char* name) noexcept {
  return library ? dlsym(library, name) : nullptr;
}

namespace {

using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int error,
                                  const char* format, ...);

void LogAlsaMessage(const char*, int, const char*, int, const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  LogLine(LogLevel::Debug, String("ALSA: ") + text);
}

}  // namespace

void RouteSoundLibraryMessagesToLog() noexcept {
  static bool routed = false;
  if (routed) return;
  routed = true;
  // The handle stays open: ALSA keeps the handler for as long as it is loaded, and the drivers
  // that load it later (SDL's, OpenAL's) get this same copy.
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (alsa == nullptr) return;
  using SetHandler = int (*)(AlsaErrorHandler);
  if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) set(&LogAlsaMessage);
}

}  // namespace corvex::platform
