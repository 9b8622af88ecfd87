// Libraries loaded at run time, for the audio drivers whose library is optional.
#pragma once

namespace corvex::platform {

// Opens the platform's OpenAL library; null when it is not installed.
void* OpenOpenALLibrary() noexcept;
// The address of an exported symbol, or null.
void* LibrarySymbol(void* library, const char* name) noexcept;

}  // namespace corvex::platform
