#include "net/enet/OrbuEnet.h"

#include <enet/enet.h>

#include <cstdlib>

#include "runtime/Exceptions.h"
#include "runtime/Module.h"

namespace corvex {

void InitEnetModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  if (enet_initialize() != 0) throw TRuntimeException("Unable to initialise ENet");
  std::atexit(enet_deinitialize);
}

}  // namespace corvex

namespace corvex::enet {
namespace {

constexpr std::size_t kPeerCount = 32;
constexpr std::size_t kChannelCount = 1;

}  // namespace

void HostDestroyer::operator()(Host* host) const noexcept {
  enet_host_destroy(host);
}

HostHandle CreateHost(bool listen, uint16_t port) {
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = port;
  HostHandle host(enet_host_create(listen ? &address : nullptr, kPeerCount, kChannelCount, 0, 0));
  if (host) host->maximumPacketSize = kMaxPacketBytes;
  return host;
}

uint16_t HostPort(const Host* host) noexcept {
  return host->address.port;
}

Peer* Connect(Host* host, uint32_t address, uint16_t port) noexcept {
  ENetAddress target{};
  target.host = ENET_HOST_TO_NET_32(address);
  target.port = port;
  return enet_host_connect(host, &target, kChannelCount, 0);
}

void Flush(Host* host) noexcept {
  enet_host_flush(host);
}

namespace {

int Record(int result, const ENetEvent& record, EventRecord& event) noexcept {
  event.type = static_cast<int32_t>(record.type);
  event.peer = record.peer;
  event.channel = record.channelID;
  event.packet = record.packet;
  return result;
}

}  // namespace

int Service(Host* host, EventRecord& event) noexcept {
  ENetEvent record{};
  const int result = enet_host_service(host, &record, 0);
  return Record(result, record, event);
}

int NextTakenEvent(Host* host, EventRecord& event) noexcept {
  ENetEvent record{};
  const int result = enet_host_check_events(host, &record);
  return Record(result, record, event);
}

void ConfigurePeer(Peer* peer) noexcept {
  enet_peer_throttle_configure(peer, ENET_PEER_PACKET_THROTTLE_INTERVAL, ENET_PEER_PACKET_THROTTLE_SCALE, 0);
}

Packet* NewReliablePacket(std::size_t size) noexcept {
  return enet_packet_create(nullptr, size, ENET_PACKET_FLAG_RELIABLE);
}

uint8_t* PacketData(Packet* packet) noexcept {
  return packet->data;
}

bool SendPacket(Peer* peer, Packet* packet) noexcept {
  return enet_peer_send(peer, 0, packet) >= 0;
}

void ReleaseIfUnsent(Packet* packet) noexcept {
  if (packet && packet->referenceCount == 0) enet_packet_destroy(packet);
}

bool IsConnected(const Peer* peer) noexcept {
  return peer->state == ENET_PEER_STATE_CONNECTED;
}

void Disconnect(Peer* peer) noexcept {
  enet_peer_disconnect(peer, 0);
}

std::span<const uint8_t> PacketBytes(const Packet* packet) noexcept {
  return {packet->data, packet->dataLength};
}

void DestroyPacket(Packet* packet) noexcept {
  enet_packet_destroy(packet);
}

}  // namespace corvex::enet
