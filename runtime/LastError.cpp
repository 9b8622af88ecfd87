#include "runtime/LastError.h"

#include <cerrno>
#include <system_error>

namespace corvex {
namespace {

// Per thread: nothing is shared, so nothing is locked.
thread_local String t_text;
thread_local uint64_t t_count = 0;
thread_local const String* t_subjectName = nullptr;

void Store(String text) {
  t_text = std::move(text);
  ++t_count;
}

}  // namespace

String LastErrorText() {
  return t_text;
}

void ClearLastError() {
  t_text = String();
}

void SetLastError(const String& cause) {
  if (t_subjectName == nullptr) return Store(cause);
  Store(*t_subjectName + ": " + cause);
}

void SetLastError(const char* cause) {
  SetLastError(String(cause));
}

void SetLastErrorAbout(const String& thing, const String& cause) {
  Store(thing + ": " + cause);
}

String ErrnoText(int code) {
  switch (code) {
    case ENOENT:
      return "no such file";
    case ENOTDIR:
      return "no such directory";
    case EACCES:
    case EPERM:
      return "permission denied";
    default:
      break;
  }
  std::string text = std::generic_category().message(code);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return String::FromBytes(text);
}

uint64_t LastErrorCount() noexcept {
  return t_count;
}

ErrorSubject::ErrorSubject(const String* name) noexcept : outer_(t_subjectName) {
  if (name != nullptr && !name->IsEmpty()) t_subjectName = name;
}

ErrorSubject::~ErrorSubject() {
  t_subjectName = outer_;
}

}  // namespace corvex
