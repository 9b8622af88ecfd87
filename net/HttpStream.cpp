#include "net/HttpStream.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "net/SocketStream.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

constinit int32_t g_responseTimeout = kDefaultHttpResponseTimeout;

// Whether the text can go into a request line as it stands: no control characters (which
// could end the line early and add headers of the caller's choosing) and no code units that
// would lose their high byte on the way out.
bool FitsRequestLine(const String& text) {
  return std::none_of(text.Units().begin(), text.Units().end(),
                      [](char16_t unit) { return unit < 0x20 || unit == 0x7F || unit > 0xFF; });
}

// Sends all bytes; false when the connection takes no more.
bool SendAll(TSocketStream& stream, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int32_t n = stream.Write(bytes.data() + sent, static_cast<int32_t>(bytes.size() - sent));
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Drops `count` bytes that a peek has shown to be waiting; false when the connection ended.
bool DropBytes(TSocket& socket, uint8_t* scratch, int32_t count) {
  while (count > 0) {
    const int32_t n = socket.ReceiveBytes(scratch, count, 0);
    if (n <= 0) return false;
    count -= n;
  }
  return true;
}

enum class HeadResult { kAtBody, kEnded, kRefused };

// Reads the response head up to and including its first empty line, leaving the stream at the
// body. Bytes are peeked a block at a time and only those up to the head's end are taken, so
// nothing of the body is lost. The stream has closed itself when the result is kEnded.
HeadResult SkipResponseHead(TSocketStream& stream) {
  using Clock = std::chrono::steady_clock;
  const int32_t timeout = g_responseTimeout;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout, 0));
  uint8_t block[4096];
  int32_t lineBytes = 0;  // text bytes of the current line, CRs not counted: 0 is an empty line
  int32_t headBytes = 0;
  for (;;) {
    if (stream.Eof()) return HeadResult::kEnded;
    TSocket& socket = *stream.SocketOf();
    int32_t wait = -1;
    if (timeout >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return HeadResult::kRefused;
      wait = static_cast<int32_t>(left);
    }
    const int32_t readable = socket.WaitReadable(wait);
    if (readable < 0) return HeadResult::kRefused;
    if (readable == 0) continue;  // the deadline check above ends the wait
    const int32_t peeked = socket.ReceiveBytes(block, sizeof block, kSocketFlagPeek);
    if (peeked <= 0) {
      stream.Close();
      return HeadResult::kEnded;
    }
    for (int32_t i = 0; i < peeked; ++i) {
      const uint8_t byte = block[i];
      if (++headBytes > kHttpHeadLimit) return HeadResult::kRefused;
      if (byte == 10 || byte == 0) {
        if (lineBytes == 0)
          return DropBytes(socket, block, i + 1) ? HeadResult::kAtBody : HeadResult::kRefused;
        lineBytes = 0;
        continue;
      }
      if (byte == 13) continue;  // dropped from lines wherever it stands; the head limit bounds them
      if (++lineBytes > kHttpHeadLineLimit) return HeadResult::kRefused;
    }
    if (!DropBytes(socket, block, peeked)) return HeadResult::kRefused;
  }
}

}  // namespace

Ref<TStream> THTTPStreamFactory::CreateStream(const Url&, const String& protocol, const String& path, bool,
                                              bool) {
  if (protocol != String("http") || !FitsRequestLine(path)) return Null;
  const int32_t slash = path.Find("/");
  const String hostPart = slash < 0 ? path : path.Slice(0, slash);
  const String requestPath = slash < 0 ? String("/") : path.Slice(slash);
  const int32_t colon = hostPart.Find(":");
  const String host = colon < 0 ? hostPart : hostPart.Slice(0, colon);
  const int32_t port = colon < 0 ? 80 : hostPart.Slice(colon + 1).ToInt();

  const Ref<TSocketStream> stream = TSocketStream::ConnectClient(host, port);
  if (!stream) return Null;
  // The three request lines leave in one write: separate small writes can wait for the
  // server's delayed acknowledgement before the last of them is sent.
  const String request = "GET " + requestPath + " HTTP/1.0\r\nHost: " + hostPart + "\r\n\r\n";
  HeadResult head = HeadResult::kRefused;
  if (SendAll(*stream, request.ToBytes())) head = SkipResponseHead(*stream);
  if (head == HeadResult::kRefused) {
    stream->Close();
    return Null;
  }
  return stream;
}

int32_t HttpResponseTimeout() {
  return g_responseTimeout;
}

void SetHttpResponseTimeout(int32_t milliseconds) {
  g_responseTimeout = milliseconds;
}

void InitHttpStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitSocketStreamModule();
  New<THTTPStreamFactory>();  // the chain keeps it for the rest of the process
}

}  // namespace corvex
