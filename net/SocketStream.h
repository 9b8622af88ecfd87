// Connected sockets as streams, and the "tcp" protocol that opens one by host and port.
#pragma once

#include <cstdint>

#include "net/Socket.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// Reads and writes a connected socket. It has no position and cannot seek; it reports its end
// once the peer has closed and nothing is left to read, and then closes itself. Destroying it
// closes nothing; its owner calls Close.
class TSocketStream : public TStream {
 public:
  // The socket's ReceiveBytes; waits until some bytes arrive. 0 at the end or once closed.
  int32_t Read(void* buffer, int32_t count) override;
  // The socket's SendBytes; 0 when nothing could be sent (also once the peer has gone).
  int32_t Write(const void* buffer, int32_t count) override;
  // 0 while the socket is connected; otherwise closes the stream and answers 1. Never waits.
  bool Eof() override;
  // As TStream::ReadBytes, but asks whether the stream has ended only when a read brings
  // nothing rather than before every read.
  int32_t ReadBytes(void* buffer, int32_t count) override;
  // As TStream's, but a block at a time: what waits is peeked at, and only the line's bytes
  // are taken from the socket.
  String ReadLine() override;
  // Closes the socket when the stream owns it, and lets go of it; nothing once closed.
  void Close() override;

  // A stream over the socket; `autoClose` non-zero makes its Close close the socket. Null for
  // a Null socket.
  static Ref<TSocketStream> Wrap(const Ref<TSocket>& socket, int32_t autoClose);
  // Connects to the host's first address on the port; Null when the name does not resolve or
  // the connection fails (nothing is left open).
  static Ref<TSocketStream> ConnectClient(const String& host, int32_t port);
  // The socket read and written; Null once closed.
  const Ref<TSocket>& SocketOf() const noexcept { return socket_; }

 private:
  Ref<TSocket> socket_;
  int32_t autoClose_ = 0;
};

// Serves "tcp::host" (port 80) and "tcp::host:port" with a connected socket stream.
class TSocketStreamFactory : public TStreamFactory {
 public:
  // The connection for "tcp", whatever the read and write flags; Null for anything else or
  // when it cannot be made.
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override;
};

// The socket-stream module's initialiser: registers the one "tcp" factory.
void InitSocketStreamModule();

}  // namespace corvex
