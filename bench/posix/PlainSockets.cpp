#include "bench/posix/PlainSockets.h"

#include <sys/socket.h>

#include <cerrno>

namespace corvex::bench {

bool PlainSendAll(int socket, const void* buffer, std::size_t count) {
  const auto* at = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t n = send(socket, at, count, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PlainReceiveAll(int socket, void* buffer, std::size_t count) {
  auto* at = static_cast<char*>(buffer);
  while (count > 0) {
    const ssize_t n = recv(socket, at, count, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

long PlainReceive(int socket, void* buffer, std::size_t count) {
  for (;;) {
    const ssize_t n = recv(socket, buffer, count, 0);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

}  // namespace corvex::bench
