// Closing a stream however an operation on it ends, so that failed transfers leave no file open.
#pragma once

#include <type_traits>
#include <utility>

#include "stream/Stream.h"

namespace corvex {

// Closes the stream (if any) when the scope ends, also while an exception passes; a failing
// Close is swallowed so that it cannot replace the result or the exception in flight.
class StreamCloser {
 public:
  // Closes `stream` (Null: nothing) when the closer goes out of scope.
  explicit StreamCloser(Ref<TStream> stream) : stream_(std::move(stream)) {}
  StreamCloser(const StreamCloser&) = delete;
  StreamCloser& operator=(const StreamCloser&) = delete;
  ~StreamCloser() {
    if (!stream_) return;
    try {
      stream_->Close();
    } catch (...) {  // NOLINT(bugprone-empty-catch): see above
    }
  }

 private:
  Ref<TStream> stream_;
};

// Runs `body` and closes the stream when it throws, then lets the failure go on.
template <class Body>
auto CloseOnFailure(const Ref<TStream>& stream, Body&& body) {
  try {
    return body();
  } catch (...) {
    stream->Close();
    throw;
  }
}

// Runs `body` and closes the stream afterwards; on success a failing Close is reported.
template <class Body>
auto UseAndClose(const Ref<TStream>& stream, Body&& body) {
  if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
    CloseOnFailure(stream, std::forward<Body>(body));
    stream->Close();
  } else {
    auto result = CloseOnFailure(stream, std::forward<Body>(body));
    stream->Close();
    return result;
  }
}

}  // namespace corvex
