// A bare ENet client for the tests: it connects to a hub and sends or records packets byte for
// byte, as a well-behaved or a hostile peer would.
#pragma once

#include <enet/enet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "net/OrbuHost.h"

namespace corvex::orbutest {

class RawPeer {
 public:
  RawPeer() : host_(enet_host_create(nullptr, 1, 1, 0, 0)) {}
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;
  ~RawPeer() {
    if (host_) enet_host_destroy(host_);
  }

  // Starts connecting to the loopback port without waiting.
  void StartConnect(int32_t port) {
    ENetAddress address{};
    enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = static_cast<enet_uint16>(port);
    peer_ = enet_host_connect(host_, &address, 1, 0);
    ASSERT_NE(peer_, nullptr);
    enet_host_flush(host_);
  }
  // Connects to the hub, pumping it in between, until the hub has taken this peer on.
  bool Connect(const Ref<TOrbuHost>& hub) {
    const int32_t peers = hub->peers->Count();
    StartConnect(hub->Port());
    return PumpUntil(hub, [&] { return connected_ && hub->peers->Count() > peers; });
  }
  // Services the raw host, recording what arrives.
  void Service() {
    ::ENetEvent event{};
    while (enet_host_service(host_, &event, 0) > 0) {
      if (event.type == ENET_EVENT_TYPE_CONNECT) connected_ = true;
      if (event.type == ENET_EVENT_TYPE_DISCONNECT) connected_ = false;
      if (event.type == ENET_EVENT_TYPE_RECEIVE) {
        received.emplace_back(event.packet->data, event.packet->data + event.packet->dataLength);
        receivedFlags.push_back(event.packet->flags);
        enet_packet_destroy(event.packet);
      }
    }
  }
  // Pumps the hub and services this peer in turn until `done` holds.
  template <class Done>
  bool PumpUntil(const Ref<TOrbuHost>& hub, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      PumpOrbuHost(hub);
      Service();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  void Send(std::vector<uint8_t> bytes, enet_uint32 flags = ENET_PACKET_FLAG_RELIABLE) {
    Queue(bytes, flags);
    enet_host_flush(host_);
  }
  // Queues a packet that leaves with the next flush or service, sharing datagrams.
  void Queue(const std::vector<uint8_t>& bytes, enet_uint32 flags = ENET_PACKET_FLAG_RELIABLE) {
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), flags);
    ASSERT_EQ(enet_peer_send(peer_, 0, packet), 0);
  }
  bool Connected() const { return connected_; }
  ENetHost* Host() const { return host_; }

  // The packets that arrived, and how each was sent (ENet's packet flags).
  std::vector<std::vector<uint8_t>> received;
  std::vector<enet_uint32> receivedFlags;

 private:
  ENetHost* host_;
  ENetPeer* peer_ = nullptr;
  bool connected_ = false;
};

}  // namespace corvex::orbutest
