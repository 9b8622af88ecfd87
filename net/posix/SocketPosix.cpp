// Sockets over POSIX: socket, bind, connect, listen, accept4, poll, send and recv with
// MSG_NOSIGNAL, FIONREAD, getsockname and getpeername, getaddrinfo and getnameinfo.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "net/SocketPlatform.h"

namespace corvex::platform {
namespace {

sockaddr_in IPv4Address(int32_t address, int32_t port) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(static_cast<uint32_t>(address));
  where.sin_port = htons(static_cast<uint16_t>(port));
  return where;
}

bool ValidPort(int32_t port) {
  return port >= 0 && port <= 65535;
}

// The framework's flag numbers as this platform's; MSG_NOSIGNAL always, so that sending to a
// peer that has gone fails instead of ending the process with SIGPIPE.
int NativeFlags(int32_t flags) {
  int native = MSG_NOSIGNAL;
  if (flags & kSocketOutOfBand) native |= MSG_OOB;
  if (flags & kSocketPeek) native |= MSG_PEEK;
  if (flags & kSocketDontRoute) native |= MSG_DONTROUTE;
  if (flags & kSocketWaitAll) native |= MSG_WAITALL;
  return native;
}

bool EndOf(SocketHandle socket, SocketEnd& end, bool remote) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  auto* where = reinterpret_cast<sockaddr*>(&storage);
  const int result = remote ? getpeername(socket, where, &length) : getsockname(socket, where, &length);
  if (result != 0 || storage.ss_family != AF_INET) return false;
  const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(&storage);
  end.address = static_cast<int32_t>(ntohl(ipv4->sin_addr.s_addr));
  end.port = ntohs(ipv4->sin_port);
  return true;
}

}  // namespace

SocketHandle OpenIPv4Socket(bool stream) {
  const int fd = socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  return fd >= 0 ? fd : kNoSocket;
}

void CloseSocketHandle(SocketHandle socket) {
  close(socket);  // not retried on EINTR: the descriptor is released either way
}

int32_t SendOnSocket(SocketHandle socket, const void* buffer, int32_t count, int32_t flags) {
  if (count < 0) return -1;
  for (;;) {
    const ssize_t n = send(socket, buffer, static_cast<std::size_t>(count), NativeFlags(flags));
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno != EINTR) return -1;
  }
}

int32_t ReceiveOnSocket(SocketHandle socket, void* buffer, int32_t count, int32_t flags) {
  if (count < 0) return -1;
  for (;;) {
    const ssize_t n = recv(socket, buffer, static_cast<std::size_t>(count), NativeFlags(flags));
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno != EINTR) return -1;
  }
}

bool BindSocket(SocketHandle socket, int32_t port) {
  if (!ValidPort(port)) return false;
  // A listening socket must be able to take its port again right after a restart, while
  // connections of the previous run wait out their close; for datagram sockets the option would
  // let two sockets share a port, so it is left off there.
  int type = 0;
  socklen_t typeLength = sizeof type;
  if (getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_STREAM) {
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  const sockaddr_in where = IPv4Address(INADDR_ANY, port);
  return bind(socket, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
}

bool ConnectSocket(SocketHandle socket, int32_t address, int32_t port) {
  if (!ValidPort(port)) return false;
  const sockaddr_in where = IPv4Address(address, port);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0) return true;
  if (errno != EINTR) return false;
  // An interrupted connect goes on in the background: wait for it and take its outcome.
  pollfd entry{socket, POLLOUT, 0};
  while (poll(&entry, 1, -1) < 0) {
    if (errno != EINTR) return false;
  }
  int error = 0;
  socklen_t length = sizeof error;
  return getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool ListenOnSocket(SocketHandle socket, int32_t backlog) {
  return listen(socket, backlog) == 0;
}

SocketHandle AcceptOnSocket(SocketHandle socket) {
  for (;;) {
    const int fd = accept4(socket, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno != EINTR) return kNoSocket;
  }
}

int32_t WaitUntilReadable(SocketHandle socket, int32_t milliseconds) {
  // poll rather than select: select cannot watch descriptors from FD_SETSIZE (1024) on.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
  int timeout = milliseconds < 0 ? -1 : milliseconds;
  for (;;) {
    pollfd entry{socket, POLLIN, 0};
    const int result = poll(&entry, 1, timeout);
    if (result > 0) {
      // A hang-up alone is what an unconnected stream socket shows; it is not readable.
      return (entry.revents & (POLLIN | POLLERR | POLLNVAL)) != 0 ? 1 : 0;
    }
    if (result == 0) return 0;
    if (errno != EINTR) return -1;
    if (milliseconds >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = left > 0 ? static_cast<int>(left) : 0;
    }
  }
}

int32_t BytesWaitingOnSocket(SocketHandle socket) {
  int waiting = 0;
  if (ioctl(socket, FIONREAD, &waiting) != 0) return -1;
  return waiting;
}

bool SetSocketNoDelay(SocketHandle socket, bool enable) {
  const int value = enable ? 1 : 0;
  return setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0;
}

bool LocalEndOf(SocketHandle socket, SocketEnd& end) {
  return EndOf(socket, end, false);
}

bool RemoteEndOf(SocketHandle socket, SocketEnd& end) {
  return EndOf(socket, end, true);
}

std::vector<int32_t> LookupIPv4Addresses(const std::string& name) {
  std::vector<int32_t> addresses;
  // A name with a NUL in it would be looked up as a shorter, different name.
  if (name.empty() || name.find('\0') != std::string::npos) return addresses;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address rather than one per socket type
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(sockaddr_in)) continue;
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    addresses.push_back(static_cast<int32_t>(ntohl(ipv4->sin_addr.s_addr)));
  }
  freeaddrinfo(found);
  return addresses;
}

std::string LookupIPv4Name(int32_t address) {
  const sockaddr_in where = IPv4Address(address, 0);
  char name[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&where), sizeof where, name, sizeof name, nullptr, 0,
                  NI_NAMEREQD) != 0) {
    return std::string();
  }
  return std::string(name);
}

}  // namespace corvex::platform
