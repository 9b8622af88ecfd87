// Run-time library loading through dlopen.
#include <dlfcn.h>

#include "audio/SharedLibraryPlatform.h"

namespace corvex::platform {

void* OpenOpenALLibrary() noexcept {
  return dlopen("libopenal.so.1", RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(void* library, const char* name) noexcept {
  return library ? dlsym(library, name) : nullptr;
}

}  // namespace corvex::platform
