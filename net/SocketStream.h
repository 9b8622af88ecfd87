// Connected sockets as streams, and the "tcp" protocol that opens one by host and port.
#pragma once

#include <cstdint>
#include <memory>

#include "net/Socket.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// Reads and writes a connected socket. It has no position and cannot seek; it reports its end
// once the peer has closed and nothing is left to read, and then closes itself. Destroying it
// closes nothing; its owner calls Close.
//
// Small reads, lines and single bytes are served from a block the stream receives ahead, so
// bytes it has taken from the socket are handed out by the stream only: a caller that reads the
// socket itself (SocketOf) after reading through the stream does not see them.
class TSocketStream : public TStream {
 public:
  // Bytes received ahead, else the socket's ReceiveBytes; waits until some bytes arrive. 0 at
  // the end or once closed.
  int32_t Read(void* buffer, int32_t count) override;
  // The socket's SendBytes; 0 when nothing could be sent (also once the peer has gone).
  int32_t Write(const void* buffer, int32_t count) override;
  // 0 while bytes received ahead wait or the socket is connected; otherwise closes the stream
  // and answers 1. Never waits.
  bool Eof() override;
  // As TStream::ReadBytes, but asks whether the stream has ended only when a read brings
  // nothing rather than before every read.
  int32_t ReadBytes(void* buffer, int32_t count) override;
  // As TStream's, served from the bytes received ahead.
  String ReadLine() override;
  // The bytes received ahead; when there are none, waits for some as a read would.
  std::span<const uint8_t> BytesAhead() override;
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

 protected:
  // Takes over the other stream's socket, its closing and what it received ahead, for streams
  // that add to a connection.
  void TakeSocketFrom(TSocketStream& other);

 private:
  // Receives a block ahead (the block is empty); false at the end or once closed.
  bool FillAhead();
  // Folds the bytes taken from HeldAhead into the read-ahead.
  void Settle() { aheadAt_ += SettleHeld(); }
  // Holds the bytes received ahead as HeldAhead.
  void Publish() { HoldAhead(ahead_.get() + aheadAt_, ahead_.get() + aheadEnd_); }

  static constexpr int32_t kAheadSize = 16 << 10;
  Ref<TSocket> socket_;
  int32_t autoClose_ = 0;
  std::unique_ptr<uint8_t[]> ahead_;
  int32_t aheadAt_ = 0;
  int32_t aheadEnd_ = 0;
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
