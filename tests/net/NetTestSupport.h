// Helpers shared by the network tests: a server on 127.0.0.1 at a port the system picks (a
// thread serving connections one after another with a handler of the test's choosing), and a
// count of the process's open descriptors. The Python HTTP server is in PythonHttpServer.h.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "net/Socket.h"
#include "net/SocketPlatform.h"
#include "runtime/String.h"

namespace corvex::testing_support {

inline constexpr int32_t kLoopback = 0x7F000001;  // 127.0.0.1

// How many descriptors the process has open.
inline int CountOpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// The decimal port as text, for URLs.
inline String PortText(int32_t port) {
  return String::FromInt(port);
}

// What a server hands each connection: the accepted socket and the flag that asks it to stop.
using ConnectionHandler = std::function<void(TSocket& connection, const std::atomic<bool>& stopping)>;

// Waits until the connection has data or has ended (1), or the server is stopping (0).
inline bool WaitForPeer(TSocket& connection, const std::atomic<bool>& stopping) {
  while (!stopping) {
    if (platform::WaitUntilReadable(connection.Handle(), 20) != 0) return true;
  }
  return false;
}

// Sends every byte unless the peer goes away; false then.
inline bool SendAll(TSocket& connection, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int32_t n = connection.SendBytes(bytes.data() + sent, static_cast<int32_t>(bytes.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Keeps the connection open, reading and dropping what arrives, until the peer closes it or
// the server stops.
inline void HoldOpen(TSocket& connection, const std::atomic<bool>& stopping) {
  char scratch[4096];
  while (WaitForPeer(connection, stopping)) {
    if (connection.ReceiveBytes(scratch, sizeof scratch, 0) <= 0) return;
  }
}

// Sends back everything it receives until the peer closes.
inline void Echo(TSocket& connection, const std::atomic<bool>& stopping) {
  char buffer[64 * 1024];
  while (WaitForPeer(connection, stopping)) {
    const int32_t n = connection.ReceiveBytes(buffer, sizeof buffer, 0);
    if (n <= 0 || !SendAll(connection, std::string(buffer, static_cast<std::size_t>(n)))) return;
  }
}

// A listening socket on 127.0.0.1 served by a thread of its own: every connection is handed to
// the handler and closed afterwards, one after another. The destructor stops the thread (the
// handlers watch the flag) and closes the listener.
class LocalServer {
 public:
  explicit LocalServer(ConnectionHandler handler) : handler_(std::move(handler)) {
    listener_ = TSocket::NewTcp();
    if (!listener_ || listener_->BindPort(0) == 0 || listener_->StartListening(16) == 0) {
      ADD_FAILURE() << "cannot listen on a local port";
      return;
    }
    port_ = listener_->LocalPortNumber();
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_) listener_->Close();
  }
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  int32_t Port() const { return port_; }
  // "127.0.0.1:port".
  String HostAndPort() const { return "127.0.0.1:" + PortText(port_); }
  // Connections accepted so far.
  int Accepted() const { return accepted_; }

 private:
  void Serve() {
    while (!stopping_) {
      const Ref<TSocket> connection = listener_->AcceptWithin(20);
      if (!connection) continue;
      ++accepted_;
      handler_(*connection, stopping_);
      connection->Close();
    }
  }

  ConnectionHandler handler_;
  Ref<TSocket> listener_;
  int32_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

}  // namespace corvex::testing_support
