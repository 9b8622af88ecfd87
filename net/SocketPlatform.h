// What sockets need from the platform: IPv4 stream and datagram sockets, binding, connecting,
// listening and accepting, waiting until a socket is readable, sending and receiving, the
// bytes-waiting query, both ends' addresses, and host lookup by name and by address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvex::platform {

// A socket as the platform knows it.
using SocketHandle = int32_t;
// The handle of no socket.
inline constexpr SocketHandle kNoSocket = -1;

// Flags of SendOnSocket and ReceiveOnSocket, numbered as the framework's callers give them;
// the platform layer maps them to its own.
inline constexpr int32_t kSocketOutOfBand = 1;
inline constexpr int32_t kSocketPeek = 2;
inline constexpr int32_t kSocketDontRoute = 4;
inline constexpr int32_t kSocketWaitAll = 8;

// An IPv4 end: the address with its first dotted byte highest, the port in host order.
struct SocketEnd {
  int32_t address = 0;
  int32_t port = 0;
};

// A new IPv4 socket (stream or datagram) that started programs do not inherit; kNoSocket on
// failure.
SocketHandle OpenIPv4Socket(bool stream);
// Closes the socket.
void CloseSocketHandle(SocketHandle socket);

// Sends at most `count` bytes; -1 on failure, also when the peer has gone (never a signal).
int32_t SendOnSocket(SocketHandle socket, const void* buffer, int32_t count, int32_t flags);
// Receives at most `count` bytes, waiting until some arrive; 0 when the peer has closed,
// -1 on failure.
int32_t ReceiveOnSocket(SocketHandle socket, void* buffer, int32_t count, int32_t flags);

// Binds to any local address on the port (0: the platform picks one); stream sockets may take
// a port that a closed connection still holds. False on failure.
bool BindSocket(SocketHandle socket, int32_t port);
// Connects to the address and port, waiting until it is done; false on failure.
bool ConnectSocket(SocketHandle socket, int32_t address, int32_t port);
// Starts listening with at most `backlog` pending connections; false on failure.
bool ListenOnSocket(SocketHandle socket, int32_t backlog);
// Takes a pending connection; kNoSocket on failure.
SocketHandle AcceptOnSocket(SocketHandle socket);

// Waits at most `milliseconds` (negative: without limit) until the socket is readable: data
// waits, the peer has closed, a connection is pending, or an error is pending. 1 readable,
// 0 not within the time, -1 when the wait fails.
int32_t WaitUntilReadable(SocketHandle socket, int32_t milliseconds);
// The bytes that can be received without waiting; -1 when the query fails.
int32_t BytesWaitingOnSocket(SocketHandle socket);
// Sets TCP_NODELAY; false on failure.
bool SetSocketNoDelay(SocketHandle socket, bool enable);

// The local or the remote end; false when the platform cannot tell or the end is not IPv4.
bool LocalEndOf(SocketHandle socket, SocketEnd& end);
bool RemoteEndOf(SocketHandle socket, SocketEnd& end);

// The IPv4 addresses of a host name, in the order the platform's lookup gives them; empty
// when the lookup fails.
std::vector<int32_t> LookupIPv4Addresses(const std::string& name);
// The platform's name for an IPv4 address; empty when it has none.
std::string LookupIPv4Name(int32_t address);

}  // namespace corvex::platform
