#include "net/enet/OrbuEnet.h"

#include <enet/enet.h>

#include <algorithm>
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
// A quiet peer is pinged this often, so that a peer that answers is heard from within about
// this time plus a round trip.
constexpr uint32_t kPingMillis = 250;
// The most reliable data the host lets be in flight to one peer. ENet looks for each
// acknowledgement, and walks what it resends, command by command: with small packets a full
// 64 KiB window is thousands of commands, which makes every acknowledgement and timeout
// costly just when a peer falls behind.
constexpr std::size_t kMostInFlight = 16 << 10;
// The wait for an acknowledgement is never cut below this.
constexpr uint32_t kLeastResendWaitMillis = 40;
// A silent peer's commands wait at most this long before they are resent, so that ENet looks at
// the peer again at least this often.
constexpr uint32_t kMostResendWaitMillis = 1000;

// ENet doubles a reliable command's wait for its acknowledgement each time it resends it.
// - On a lossy link the one ordered channel holds every later change until the lost one
//   arrives, so waiting out ENet's round trip + 4 × its variation, and twice that after a second
//   loss, kept the slowest changes at three times the round trip (p99 0.6-0.9 s with 5 % loss
//   and 40-120 ms round trips). A peer that is still heard from gets what it has not
//   acknowledged resent after one mean round trip; a late acknowledgement costs a duplicate,
//   which ENet drops.
// - ENet times a silent peer out only when one of its commands' waits runs out, 5 s after the
//   first went unanswered and once a wait has doubled to 32 times its first length: on a loaded
//   host, with first waits of a second or more, that took over a minute, and a vanished peer
//   kept its place and its data. A silent peer's waits stop doubling at kMostResendWaitMillis
//   and count as long enough there, so that it is timed out 5 to 6 s after it fell silent.
void LimitResendWait(Host* host) noexcept {
  for (ENetPeer* peer = host->peers; peer < host->peers + host->peerCount; ++peer) {
    if (peer->state != ENET_PEER_STATE_CONNECTED) continue;
    const bool alive = MillisSinceHeard(peer) <= kSilentMillis;
    const uint32_t wait =
        alive ? std::max(peer->roundTripTime, kLeastResendWaitMillis) : kMostResendWaitMillis;
    ENetList& sent = peer->sentReliableCommands;
    for (ENetListIterator at = enet_list_begin(&sent); at != enet_list_end(&sent); at = enet_list_next(at)) {
      auto& command = *reinterpret_cast<ENetOutgoingCommand*>(at);
      command.roundTripTimeout = std::min(command.roundTripTimeout, wait);
      if (!alive) command.roundTripTimeoutLimit = std::min(command.roundTripTimeoutLimit, wait);
    }
  }
}

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
  LimitResendWait(host);
  enet_host_flush(host);
}

int Service(Host* host, EventRecord& event) noexcept {
  ::ENetEvent record{};  // the library's, not corvex::ENetEvent
  const int result = enet_host_service(host, &record, 0);
  event.type = static_cast<int32_t>(record.type);
  event.peer = record.peer;
  event.channel = record.channelID;
  event.packet = record.packet;
  return result;
}

void ConfigurePeer(Peer* peer) noexcept {
  enet_peer_throttle_configure(peer, ENET_PEER_PACKET_THROTTLE_INTERVAL, ENET_PEER_PACKET_THROTTLE_SCALE, 0);
  enet_peer_ping_interval(peer, kPingMillis);
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

void HoldPacket(Packet* packet) noexcept {
  ++packet->referenceCount;
}

void DropHold(Packet* packet) noexcept {
  if (--packet->referenceCount == 0) enet_packet_destroy(packet);
}

std::size_t WindowRoom(const Peer* peer) noexcept {
  // As ENet sizes the window of reliable data in flight, but no more than kMostInFlight.
  const std::size_t window =
      std::max<std::size_t>(std::min<std::size_t>(static_cast<std::size_t>(peer->packetThrottle) *
                                                      peer->windowSize / ENET_PEER_PACKET_THROTTLE_SCALE,
                                                  kMostInFlight),
                            peer->mtu);
  return window > peer->reliableDataInTransit ? window - peer->reliableDataInTransit : 0;
}

uint32_t MillisSinceHeard(const Peer* peer) noexcept {
  // ENet's clock is 32-bit milliseconds; a receive stamped after the last service counts as now.
  const uint32_t since = peer->host->serviceTime - peer->lastReceiveTime;
  return since < 0x80000000u ? since : 0;
}

bool NothingInFlight(const Peer* peer) noexcept {
  return peer->reliableDataInTransit == 0;
}

std::size_t PacketSize(const Packet* packet) noexcept {
  return packet->dataLength;
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

bool CameReliably(const Packet* packet) noexcept {
  return packet->flags == ENET_PACKET_FLAG_RELIABLE;
}

void DestroyPacket(Packet* packet) noexcept {
  enet_packet_destroy(packet);
}

}  // namespace corvex::enet
