// What every fuzz target shares: the fuzzer's input as a read-only memory stream, and the
// "fuzz::" protocol for loaders that only take a name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/Object.h"
#include "stream/Stream.h"

namespace corvex::fuzz {

// A read-only memory stream over the bytes (the fuzzer's buffer; not copied).
Ref<TStream> InputStream(const uint8_t* data, size_t size);

// Makes "fuzz::input" (and any other path under "fuzz::" ending in `name`) open the bytes as
// a read-only memory stream until the next call. The protocol is registered on first use.
void ServeAsUrl(const uint8_t* data, size_t size, const char* name);

// Runs `body`, swallowing the framework's own errors (every thrown object derives from Object):
// for untrusted bytes an error is a correct answer; a crash or a sanitizer report is not.
template <class Body>
void IgnoringErrors(Body body) {
  try {
    body();
  } catch (const Object&) {
  }
}

}  // namespace corvex::fuzz
