// A UDP forwarder on loopback that loses and delays datagrams, for testing shared objects over
// a bad network. Each datagram is dropped with a given probability or sent on after a delay
// drawn uniformly from a range, so datagrams overtake each other. Each client address gets its
// own upstream socket, so the target sees one peer per client.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <queue>
#include <random>
#include <thread>
#include <vector>

namespace corvex::orbuload {

class LossyUdpRelay {
 public:
  LossyUdpRelay(uint16_t targetPort, double loss, int minDelayMs, int maxDelayMs, uint32_t seed)
      : targetPort_(targetPort), loss_(loss), minDelay_(minDelayMs), maxDelay_(maxDelayMs), random_(seed) {
    listen_ = OpenSocket();
    sockaddr_in address = Loopback(0);
    bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  LossyUdpRelay(const LossyUdpRelay&) = delete;
  LossyUdpRelay& operator=(const LossyUdpRelay&) = delete;
  ~LossyUdpRelay() {
    stop_ = true;
    thread_.join();
    close(listen_);
    for (const auto& [client, upstream] : upstreams_) close(upstream);
  }

  uint16_t Port() const { return port_; }
  uint64_t Dropped() const { return dropped_; }
  uint64_t Forwarded() const { return forwarded_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Datagram {
    Clock::time_point due;
    int socket;
    sockaddr_in to;
    std::vector<uint8_t> bytes;
    bool operator>(const Datagram& other) const { return due > other.due; }
  };

  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
  }
  static int OpenSocket() {
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int size = 8 << 20;  // the relay itself must not be where datagrams are lost
    setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    setsockopt(socket, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size);
    return socket;
  }
  static uint64_t Key(const sockaddr_in& address) {
    return static_cast<uint64_t>(address.sin_addr.s_addr) << 16 | address.sin_port;
  }

  // Queues a datagram for later, or loses it.
  void Pass(int socket, const sockaddr_in& to, const uint8_t* bytes, std::size_t size) {
    if (std::uniform_real_distribution<double>(0, 1)(random_) < loss_) {
      ++dropped_;
      return;
    }
    const int delay = std::uniform_int_distribution<int>(minDelay_, maxDelay_)(random_);
    queue_.push({Clock::now() + std::chrono::milliseconds(delay), socket, to, {bytes, bytes + size}});
  }

  void Run() {
    uint8_t buffer[65536];
    while (!stop_) {
      std::vector<pollfd> watched{{listen_, POLLIN, 0}};
      for (const auto& [upstream, client] : clients_) watched.push_back({upstream, POLLIN, 0});
      int wait = 5;
      if (!queue_.empty()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(queue_.top().due - Clock::now());
        wait = static_cast<int>(std::clamp<int64_t>(left.count(), 0, 5));
      }
      poll(watched.data(), watched.size(), wait);
      sockaddr_in from{};
      socklen_t length = sizeof from;
      ssize_t n;
      while ((n = recvfrom(listen_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length)) >=
             0) {
        auto found = upstreams_.find(Key(from));
        if (found == upstreams_.end()) {
          const int upstream = OpenSocket();
          const sockaddr_in target = Loopback(targetPort_);
          connect(upstream, reinterpret_cast<const sockaddr*>(&target), sizeof target);
          found = upstreams_.emplace(Key(from), upstream).first;
          clients_.emplace(upstream, from);
        }
        Pass(found->second, Loopback(targetPort_), buffer, static_cast<std::size_t>(n));
        length = sizeof from;
      }
      for (const auto& [upstream, client] : clients_) {
        while ((n = recv(upstream, buffer, sizeof buffer, 0)) >= 0) {
          Pass(listen_, client, buffer, static_cast<std::size_t>(n));
        }
      }
      while (!queue_.empty() && queue_.top().due <= Clock::now()) {
        const Datagram& datagram = queue_.top();
        sendto(datagram.socket, datagram.bytes.data(), datagram.bytes.size(), 0,
               reinterpret_cast<const sockaddr*>(&datagram.to), sizeof datagram.to);
        ++forwarded_;
        queue_.pop();
      }
    }
  }

  uint16_t targetPort_;
  double loss_;
  int minDelay_;
  int maxDelay_;
  std::mt19937 random_;
  int listen_ = -1;
  uint16_t port_ = 0;
  std::map<uint64_t, int> upstreams_;   // client address -> its upstream socket
  std::map<int, sockaddr_in> clients_;  // upstream socket -> its client
  std::priority_queue<Datagram, std::vector<Datagram>, std::greater<>> queue_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> dropped_{0};
  std::atomic<uint64_t> forwarded_{0};
  std::thread thread_;
};

}  // namespace corvex::orbuload
