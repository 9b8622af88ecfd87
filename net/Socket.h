// IPv4 sockets: TSocket over the platform's stream and datagram sockets, the module-level
// form of each of its operations, and host lookup by name and by address.
//
// Addresses are signed 32-bit numbers with the first dotted byte highest (127.0.0.1 is
// 2130706433); ports are numbers in host order. Platform failures are answered as 0, Null, the
// empty array or the empty string; nothing here throws except on a Null socket.
#pragma once

#include <cstdint>

#include "runtime/Array.h"
#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// Flags of SendBytes and ReceiveBytes.
inline constexpr int32_t kSocketFlagOutOfBand = 1;
inline constexpr int32_t kSocketFlagPeek = 2;
inline constexpr int32_t kSocketFlagDontRoute = 4;
inline constexpr int32_t kSocketFlagWaitAll = 8;

// Raised by nothing here; kept for programs that report socket errors of their own.
class TSocketException : public Object {
 public:
  String ToString() const override;
};

// One platform socket with the addresses of both its ends. Open from Wrap until Close;
// destroying the object closes nothing. The calls block the calling thread.
class TSocket : public Object {
 public:
  // Sends at most `count` bytes; answers how many, 0 on failure (also when the peer has gone:
  // the process never receives SIGPIPE).
  virtual int32_t SendBytes(const void* buffer, int32_t count, int32_t flags);
  // Receives at most `count` bytes, waiting until some arrive; 0 at the end or on failure.
  virtual int32_t ReceiveBytes(void* buffer, int32_t count, int32_t flags);
  // Closes the platform socket when autoClose is set; the handle and both ends become -1.
  virtual void Close();
  // 1 while the connection stands; a socket found readable with nothing to read has lost its
  // peer and is closed, and answers 0 (as does a closed socket). Never waits.
  virtual int32_t IsConnected();
  // Binds to any local address on the port (0: the platform picks one); 1 on success.
  virtual int32_t BindPort(int32_t port);
  // Connects to the address and port; 1 on success, with both ends refreshed.
  virtual int32_t ConnectTo(int32_t address, int32_t port);
  // Starts listening; 1 on success.
  virtual int32_t StartListening(int32_t backlog);
  // Waits at most `milliseconds` (negative: without limit) for a connection and accepts it as
  // a new socket that closes its platform socket; Null when none came or accepting failed.
  virtual Ref<TSocket> AcceptWithin(int32_t milliseconds);
  // Bytes that can be received without waiting; 0 when the query fails.
  virtual int32_t BytesWaiting();
  // Turns the delay that gathers small writes into one packet off (non-zero) or on.
  virtual void SetNoDelay(int32_t enable);
  // The platform socket, -1 when closed.
  virtual int32_t Handle();
  virtual int32_t LocalAddress();
  virtual int32_t LocalPortNumber();
  virtual int32_t RemoteAddress();
  virtual int32_t RemotePortNumber();
  // Reads the local end from the platform (0 and 0 when it cannot tell).
  virtual void RefreshLocalEnd();
  // Reads the remote end from the platform (0 and 0 when it cannot tell).
  virtual void RefreshRemoteEnd();

  // Waits at most `milliseconds` (negative: without limit) until bytes, the peer's close or a
  // pending connection can be taken: 1 readable, 0 not within the time, -1 when closed or the
  // wait fails.
  int32_t WaitReadable(int32_t milliseconds);

  // A socket object for a platform socket, both ends refreshed; Null for a negative handle.
  static Ref<TSocket> Wrap(int32_t handle, int32_t autoClose);
  // A new datagram socket that closes its platform socket; Null on failure.
  static Ref<TSocket> NewUdp();
  // A new stream socket that closes its platform socket; Null on failure.
  static Ref<TSocket> NewTcp();

 private:
  int32_t handle_ = -1;
  int32_t autoClose_ = 0;
  int32_t localAddress_ = -1;
  int32_t localPort_ = -1;
  int32_t remoteAddress_ = -1;
  int32_t remotePort_ = -1;
};

// Module-level forms: each calls the socket's operation (Null raises TNullObjectException).
int32_t SocketSendBytes(const Ref<TSocket>& socket, const void* buffer, int32_t count, int32_t flags);
int32_t SocketReceiveBytes(const Ref<TSocket>& socket, void* buffer, int32_t count, int32_t flags);
void CloseSocket(const Ref<TSocket>& socket);
int32_t SocketConnected(const Ref<TSocket>& socket);
int32_t BindSocket(const Ref<TSocket>& socket, int32_t port);
int32_t ConnectSocket(const Ref<TSocket>& socket, int32_t address, int32_t port);
int32_t SocketListen(const Ref<TSocket>& socket, int32_t backlog);
Ref<TSocket> SocketAccept(const Ref<TSocket>& socket, int32_t milliseconds);
int32_t SocketBytesWaiting(const Ref<TSocket>& socket);
void SetSocketNoDelay(const Ref<TSocket>& socket, int32_t enable);
int32_t SocketHandle(const Ref<TSocket>& socket);
int32_t SocketLocalAddress(const Ref<TSocket>& socket);
int32_t SocketLocalPort(const Ref<TSocket>& socket);
int32_t SocketRemoteAddress(const Ref<TSocket>& socket);
int32_t SocketRemotePort(const Ref<TSocket>& socket);
void RefreshSocketLocalEnd(const Ref<TSocket>& socket);
void RefreshSocketRemoteEnd(const Ref<TSocket>& socket);
Ref<TSocket> WrapSocket(int32_t handle, int32_t autoClose);
Ref<TSocket> CreateUdpSocket();
Ref<TSocket> CreateTcpSocket();

// The address as four decimal bytes, highest first, joined by "." (-1 gives 255.255.255.255).
String FormatDottedIp(int32_t address);
// The IPv4 addresses of a host name in the order the platform's lookup gives them; the empty
// array when the lookup fails.
Array<int32_t> LookupHostAddresses(const String& name);
// Address number `index` of the name's addresses; 0 when the index is out of range or the
// lookup fails.
int32_t LookupHostAddress(const String& name, int32_t index = 0);
// The platform's name for the address, or "".
String LookupHostName(int32_t address);

}  // namespace corvex
