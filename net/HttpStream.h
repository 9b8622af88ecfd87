// The "http" protocol: a plain HTTP/1.0 GET whose stream is handed back at the first byte of
// the response body.
#pragma once

#include <cstdint>

#include "net/SocketStream.h"
#include "stream/Url.h"

namespace corvex {

// Limits on the response head (status line and headers) that the factory reads and drops. A
// head beyond them, or one not complete within the response time-out, is refused: the
// connection is closed and the URL does not open.
inline constexpr int32_t kHttpHeadLineLimit = 16 * 1024;  // text bytes of one line (CR and LF not counted)
inline constexpr int32_t kHttpHeadLimit = 256 * 1024;     // bytes of the whole head, everything counted
inline constexpr int32_t kDefaultHttpResponseTimeout = 30000;

// Serves "http::host/path", "http::host" (path "/") and "http::host:port/path" (port 80
// without one). It sends "GET path HTTP/1.0", "Host: host" and an empty line, reads lines up to
// the first empty one (a line ends at LF or NUL; CRs do not count), and answers the socket
// stream positioned at the body, whatever the status: a 4xx or 5xx status only sets the last
// error ("HTTP 404 File not found"). Headers are not examined; a connection that ends inside the
// head gives a stream that is already at its end.
class THTTPStreamFactory : public TStreamFactory {
 public:
  // The response stream for "http"; Null for anything else, for a host or path holding control
  // characters or code units above 255, and when the connection, the request or the head fails.
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override;
};

// An "http" stream: the response's socket stream, which also keeps the status line.
class THttpStream : public TSocketStream {
 public:
  // Moves the connection into a new HTTP stream.
  static Ref<THttpStream> Adopt(TSocketStream& connection);
  int32_t status = 0;  // the status code, 0 when the status line was not one
  String reason;       // the reason phrase after the code
};

// The status code of an "http" stream's response (200, 404, ...); 0 for other streams and for
// a response whose first line is not an HTTP status line.
int32_t HttpStatus(const Ref<TStream>& stream);
// The reason phrase of an "http" stream's status line ("File not found"); empty for other streams.
String HttpReason(const Ref<TStream>& stream);

// How long the factory waits for the whole response head, in milliseconds (negative: without
// limit). The body is read at the caller's pace and never times out.
int32_t HttpResponseTimeout();
void SetHttpResponseTimeout(int32_t milliseconds);

// The HTTP-stream module's initialiser: registers the one "http" factory (after "tcp").
void InitHttpStreamModule();

}  // namespace corvex
