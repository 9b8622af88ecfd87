// Libraries loaded at run time, for the audio drivers whose library is optional.
#pragma once

namespace corvex::platform {

// Opens the platform's OpenAL library; null when it is not installed.
void* OpenOpenALLibrary() noexcept;
// The address of an exported symbol, or null.
void* LibrarySymbol(void* library, const char* name) noexcept;
// Sends the messages the platform's sound library prints while probing devices (ALSA's "cannot
// find card" lines) to the framework's log at debug level, once, before a driver opens a device.
void RouteSoundLibraryMessagesToLog() noexcept;

}  // namespace corvex::platform
