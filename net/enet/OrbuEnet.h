// The reliable-UDP transport under shared objects: ENet's start-up, hosts that own their ENet
// host, event servicing, and reliable sends on channel 0. Only enet/OrbuEnet.cpp includes ENet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct _ENetHost;
struct _ENetPeer;
struct _ENetPacket;

namespace corvex {

// The ENet module's initialiser: initialises ENet and registers its de-initialisation at exit;
// throws a TRuntimeException when ENet cannot start.
void InitEnetModule();

}  // namespace corvex

namespace corvex::enet {

// ENet's own records, named without ENet's header so only enet/OrbuEnet.cpp includes it.
using Host = _ENetHost;
using Peer = _ENetPeer;
using Packet = _ENetPacket;

// The largest packet a host sends or accepts: the two header bytes and the most slot data one
// message may carry. Larger packets from a peer are refused before ENet allocates them.
inline constexpr std::size_t kMaxPacketBytes = 2 + 65520;
// A peer not heard from for this long has vanished or stalled: the host holds its packets, and
// ENet's waits for its acknowledgements grow only up to a second, so that ENet times it out
// within seconds (peers are pinged every 250 ms).
inline constexpr uint32_t kSilentMillis = 500;

// Destroys an ENet host, for HostHandle.
struct HostDestroyer {
  // Destroys the host; its peers are dropped without being told.
  void operator()(Host* host) const noexcept;
};
// An ENet host that is destroyed with its owner.
using HostHandle = std::unique_ptr<Host, HostDestroyer>;

// A host for 32 peers without bandwidth limits: bound to any interface at `port` when
// `listen` is set (port 0 lets the platform choose), else unbound for dialling out. Null on
// failure.
HostHandle CreateHost(bool listen, uint16_t port);
// The port the host is bound to.
uint16_t HostPort(const Host* host) noexcept;
// Starts a one-channel connection to an IPv4 address (highest byte first) and port; null when
// ENet has no free peer for it.
Peer* Connect(Host* host, uint32_t address, uint16_t port) noexcept;
// Sends queued packets now.
void Flush(Host* host) noexcept;

// One serviced event: type 0 none, 1 connect, 2 disconnect, 3 receive.
struct EventRecord {
  // Peer and packet are set as the type needs; the caller destroys a received packet.
  int32_t type = 0;
  Peer* peer = nullptr;
  uint8_t channel = 0;
  Packet* packet = nullptr;
};
// Services the host without waiting (sends what is queued, takes in the datagrams that have
// arrived): positive when an event came, 0 when none, negative on failure.
int Service(Host* host, EventRecord& event) noexcept;
// Readies a new peer for a steady stream of small reliable packets: ENet's throttle would
// shrink the send window whenever the round trip varies, and a backlog that grows behind a
// small window costs every later send a walk over it. Both ends take the setting. A quiet
// peer is pinged four times a second.
void ConfigurePeer(Peer* peer) noexcept;

// A reliable packet of `size` bytes for the caller to fill (PacketData) and hand to any number
// of peers with SendPacket; null when it cannot be had. ENet frees it once every peer has sent
// it; ReleaseIfUnsent frees one no peer took.
Packet* NewReliablePacket(std::size_t size) noexcept;
uint8_t* PacketData(Packet* packet) noexcept;
// Queues the packet for the peer on channel 0; false when ENet refused it. Queued packets
// leave at the host's next service or flush.
bool SendPacket(Peer* peer, Packet* packet) noexcept;
void ReleaseIfUnsent(Packet* packet) noexcept;
// A reference of the caller's own to a packet, which keeps it alive until DropHold.
void HoldPacket(Packet* packet) noexcept;
void DropHold(Packet* packet) noexcept;
// The bytes of reliable data the peer's send window still has room for. ENet sends queued
// packets only while they fit the window, and walks past every queued packet that does not on
// each send, so a queue far beyond the window makes every send slow.
std::size_t WindowRoom(const Peer* peer) noexcept;
bool NothingInFlight(const Peer* peer) noexcept;
// Milliseconds since the peer last acknowledged anything (a configured peer is pinged four
// times a second when quiet, so a peer that answers is heard from at least that often).
uint32_t MillisSinceHeard(const Peer* peer) noexcept;
std::size_t PacketSize(const Packet* packet) noexcept;
// Whether the peer is connected and not on its way out (a lost or leaving peer refuses sends
// until its disconnect event is collected).
bool IsConnected(const Peer* peer) noexcept;
// Asks the peer to disconnect; its disconnect event follows.
void Disconnect(Peer* peer) noexcept;

// A received packet's bytes.
std::span<const uint8_t> PacketBytes(const Packet* packet) noexcept;
// Whether a received packet came reliably, and so may be passed on as it is.
bool CameReliably(const Packet* packet) noexcept;
void DestroyPacket(Packet* packet) noexcept;

}  // namespace corvex::enet
