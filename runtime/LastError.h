// Why a call failed: each thread keeps the one-line reason of its latest failure beside the
// Null, 0 or empty result the call answers, so a program can say more than "it did not load".
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/String.h"

namespace corvex {

// The calling thread's latest recorded failure, one line naming the thing and the cause
// ("assets/ship.png: no such file"); empty when nothing failed since the last ClearLastError.
String LastErrorText();

// Forgets the calling thread's latest failure.
void ClearLastError();

// Records why a framework call failed, for the calling thread. Inside an ErrorSubject scope the
// text is prefixed with the innermost subject ("ship.png: " + "PNG: CRC error").
void SetLastError(const String& cause);
void SetLastError(const char* cause);

// Records "<thing>: <cause>" whatever subject is in scope, for failures that name their own thing.
void SetLastErrorAbout(const String& thing, const String& cause);

// Record the cause and answer Null or 0, for failure returns: `return FailNull("truncated");`.
inline std::nullptr_t FailNull(const String& cause) {
  SetLastError(cause);
  return nullptr;
}
// The same for a literal cause, with no String built.
inline std::nullptr_t FailNull(const char* cause) {
  SetLastError(cause);
  return nullptr;
}
// Records the cause and answers 0, for calls whose failure value is 0.
inline int32_t FailZero(const String& cause) {
  SetLastError(cause);
  return 0;
}
// The same for a literal cause, with no String built.
inline int32_t FailZero(const char* cause) {
  SetLastError(cause);
  return 0;
}

// A short lower-case text for an errno value ("no such file", "connection refused").
String ErrnoText(int code);

// Counts the calling thread's recorded failures: a layer compares two readings to learn whether a
// lower layer has already said why (a loader chain then keeps the more precise reason).
uint64_t LastErrorCount() noexcept;

// Names the thing the enclosed calls work on (a URL, a file name) for the failures they record.
// Scopes nest; the innermost one with a name wins. A null or empty name adds nothing.
class ErrorSubject {
 public:
  // Makes `name` the subject until the scope ends; the string must outlive the scope.
  explicit ErrorSubject(const String* name) noexcept;
  // Restores the subject in force outside the scope.
  ~ErrorSubject();
  ErrorSubject(const ErrorSubject&) = delete;
  ErrorSubject& operator=(const ErrorSubject&) = delete;

 private:
  const String* outer_;  // the name in force outside this scope
};

}  // namespace corvex
