#include "net/HttpStream.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "net/SocketStream.h"
#include "runtime/LastError.h"
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
// body, and keeps its first line in `statusLine`. Bytes are peeked a block at a time and only
// those up to the head's end are taken, so nothing of the body is lost. The stream has closed
// itself when the result is kEnded.
HeadResult SkipResponseHead(TSocketStream& stream, std::string& statusLine) {
  using Clock = std::chrono::steady_clock;
  const int32_t timeout = g_responseTimeout;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout, 0));
  uint8_t block[4096];
  int32_t lineBytes = 0;  // text bytes of the current line, CRs not counted: 0 is an empty line
  int32_t headBytes = 0;
  bool firstLine = true;
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
        firstLine = false;
        continue;
      }
      if (byte == 13) continue;  // dropped from lines wherever it stands; the head limit bounds them
      if (++lineBytes > kHttpHeadLineLimit) return HeadResult::kRefused;
      if (firstLine) statusLine += static_cast<char>(byte);
    }
    if (!DropBytes(socket, block, peeked)) return HeadResult::kRefused;
  }
}

// Takes the code and reason from "HTTP/1.x 404 File not found"; leaves them when the line is
// not a status line.
void ParseStatusLine(const std::string& line, THttpStream& stream) {
  const std::size_t space = line.find(' ');
  if (line.rfind("HTTP/", 0) != 0 || space == std::string::npos || line.size() < space + 4) return;
  int32_t code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return;
    code = code * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') return;
  stream.status = code;
  stream.reason = String::FromBytes(line.size() > space + 5 ? line.substr(space + 5) : std::string());
}

}  // namespace

Ref<THttpStream> THttpStream::Adopt(TSocketStream& connection) {
  Ref<THttpStream> stream = New<THttpStream>();
  stream->TakeSocketFrom(connection);
  return stream;
}

int32_t HttpStatus(const Ref<TStream>& stream) {
  const auto http = Cast<THttpStream>(stream);
  return http ? http->status : 0;
}

String HttpReason(const Ref<TStream>& stream) {
  const auto http = Cast<THttpStream>(stream);
  return http ? http->reason : String();
}

Ref<TStream> THTTPStreamFactory::CreateStream(const Url&, const String& protocol, const String& path, bool,
                                              bool) {
  if (protocol != String("http")) return Null;
  if (!FitsRequestLine(path)) return FailNull("characters a request line cannot carry");
  const int32_t slash = path.Find("/");
  const String hostPart = slash < 0 ? path : path.Slice(0, slash);
  const String requestPath = slash < 0 ? String("/") : path.Slice(slash);
  const int32_t colon = hostPart.Find(":");
  const String host = colon < 0 ? hostPart : hostPart.Slice(0, colon);
  const int32_t port = colon < 0 ? 80 : hostPart.Slice(colon + 1).ToInt();

  const Ref<TSocketStream> connection = TSocketStream::ConnectClient(host, port);
  if (!connection) return Null;
  const Ref<THttpStream> stream = THttpStream::Adopt(*connection);
  // The three request lines leave in one write: separate small writes can wait for the
  // server's delayed acknowledgement before the last of them is sent.
  const String request = "GET " + requestPath + " HTTP/1.0\r\nHost: " + hostPart + "\r\n\r\n";
  HeadResult head = HeadResult::kRefused;
  std::string statusLine;
  if (SendAll(*stream, request.ToBytes())) head = SkipResponseHead(*stream, statusLine);
  if (head == HeadResult::kRefused) {
    stream->Close();
    return FailNull("no complete response head");
  }
  ParseStatusLine(statusLine, *stream);
  if (stream->status >= 400 && stream->status <= 599) {
    const String code = "HTTP " + String::FromInt(stream->status);
    SetLastError(stream->reason.IsEmpty() ? code : code + " " + stream->reason);
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
