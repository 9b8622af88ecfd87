// Hosts that keep shared objects in step over reliable UDP: peers that translate object ids,
// the host with its pump, and the free functions programs call.
//
// Each process runs one host. Its pump sends the changes of its own objects to every peer and
// applies what the peers sent; a listening host relays whatever one peer sends to the others.
// Peers are untrusted: a packet that is short, of an unknown state, names an object its sender
// does not own, or carries malformed slot records is dropped before anything is relayed, and
// the pump goes on serving everyone else. So is an arriving object when all 4095 ids are taken:
// a hub that threw "Out of Orbu object IDs" there would let one peer stop every pump, so only
// the program's own NewLocalObject throws that text.
//
// A pump does a bounded amount of work: it takes in at most kOrbuEventsPerPump events (the rest
// wait for the next pump), walks only the objects with something pending, and queues every
// packet of the round, which leave together at one flush at its end, sharing datagrams.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "data/List.h"
#include "net/OrbuObject.h"
#include "net/enet/OrbuEnet.h"
#include "runtime/Array.h"
#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// ENet event types as the pump sees them.
inline constexpr int32_t kENetEventNone = 0;
inline constexpr int32_t kENetEventConnect = 1;
inline constexpr int32_t kENetEventDisconnect = 2;
inline constexpr int32_t kENetEventReceive = 3;

// The most events one pump collects and handles.
inline constexpr int32_t kOrbuEventsPerPump = 4096;

// One collected ENet event. A packet not taken by the pump is destroyed with the event.
class ENetEvent : public Object {
 public:
  ENetEvent() = default;
  ENetEvent(const ENetEvent&) = delete;
  ENetEvent& operator=(const ENetEvent&) = delete;
  ~ENetEvent() override;

  // Hands the packet over to the caller, who destroys it.
  enet::Packet* TakePacket() noexcept;

  // The kENetEvent type, the peer it concerns, and a received packet with its channel.
  int32_t type = kENetEventNone;
  enet::Peer* peer = nullptr;
  int32_t channel = 0;
  enet::Packet* packet = nullptr;
};

// One connected ENet peer and the translation between its object ids and ours.
class TOrbuPeer : public Object {
 public:
  // Asks the ENet peer to disconnect and forgets it.
  virtual void Disconnect();
  // Records that the peer knows our object `local` as `remote`, and forgets it.
  virtual void MapId(int32_t local, int32_t remote);
  virtual void UnmapId(int32_t local);
  // The message of a packet's bytes, its id translated to ours (except for messages to an
  // object, which carry our id already). Null for a packet too short to hold a header.
  virtual Ref<TOrbuMsg> Receive(std::span<const uint8_t> packet);
  // Sends the message reliably; throws "ENet errror" when ENet refuses it.
  virtual void Send(const Ref<TOrbuMsg>& msg);
  static Ref<TOrbuPeer> Create(enet::Peer* enetPeer);

  // Whether the peer can still be sent to: not disconnected, not lost, not leaving.
  bool IsConnected() const noexcept;
  // Queues the packet for the peer while it fits the peer's send window and the peer answers,
  // else holds it: a queue in ENet beyond the window makes every later send walk past it, so a
  // peer that vanished without a goodbye or acknowledges slowly would slow the sends to
  // everyone. Held packets go to ENet in order as the window opens. False when ENet refused
  // the packet.
  bool Deliver(enet::Packet* packet);
  // Hands held packets to ENet as far as the window has room; called before each flush, after
  // which the queued bytes count from 0 again.
  void DeliverHeld();
  // Takes note of the peer's send window and when it was last heard from. ENet changes them
  // only while it is serviced or flushed, so the host notes them after each time it does.
  void NoteWindow() noexcept;
  // Lets go of the packets held for the peer.
  void DropHeld() noexcept;
  ~TOrbuPeer() override;

  // The ENet peer, and the id tables each way (0: no mapping).
  enet::Peer* enetPeer = nullptr;
  Array<int32_t> localToRemote;
  Array<int32_t> remoteToLocal;

 private:
  // Whether a packet of `size` bytes fits what the window has room for.
  bool Fits(std::size_t size) const noexcept;

  std::deque<enet::Packet*> held_;
  std::size_t queuedBytes_ = 0;  // handed to ENet since the last flush
  // As noted: room in the send window, nothing in flight, not heard from for too long.
  std::size_t room_ = 0;
  bool idle_ = false;
  bool silent_ = true;
};

// A process's end of the shared objects: its own objects, those of its peers, and the pump.
class TOrbuHost : public Object {
 public:
  // Services ENet without waiting and queues the events it gives, until it has none or
  // kOrbuEventsPerPump are waiting.
  virtual void CollectEvents();
  // Sends this host's changes, takes in the peers' and relays them; once per frame.
  virtual void Pump();
  // Disconnects every peer and destroys the ENet host; lets go of every object.
  virtual void Shutdown();
  // Sends the message to every peer but `except`; peers that are on their way out are skipped.
  // The message is packed once and the same packet queued for every peer.
  virtual void Broadcast(const Ref<TOrbuMsg>& msg, const Ref<TOrbuPeer>& except);
  // Takes in one packet the peer sent: checks it, applies it to the object it names and relays
  // it to the other peers; a packet that fails a check is dropped. The pump calls it for every
  // packet it receives.
  virtual void HandleReceive(const Ref<TOrbuPeer>& peer, std::span<const uint8_t> packet);
  // Adds a peer and sends it a created message of every object it has not seen.
  virtual Ref<TOrbuPeer> AttachPeer(enet::Peer* enetPeer);
  // The lists a program walks after a pump: every object, every peer, and the objects
  // created, modified and closed in that pump.
  virtual Ref<TList> AllObjects();
  virtual Ref<TList> Peers();
  virtual Ref<TList> CreatedObjects();
  virtual Ref<TList> ModifiedObjects();
  virtual Ref<TList> ClosedObjects();
  // New objects of this host: a shared object, and a message for PostMessage.
  virtual Ref<TOrbuObject> NewLocalObject();
  virtual Ref<TOrbuObject> NewMessageObject();
  // Sends the message to the target's owner; a message to a local object goes nowhere.
  virtual void PostMessage(const Ref<TOrbuObject>& message, const Ref<TOrbuObject>& target);
  // The lowest free id; throws "Out of Orbu object IDs" when every id is taken.
  virtual int32_t FreeId();
  // Enters and removes an object in the id table.
  virtual void RegisterObject(const Ref<TOrbuObject>& object);
  virtual void UnregisterObject(const Ref<TOrbuObject>& object);
  // Starts listening on the port (0: any free port); 1 on success, 0 when already networked or
  // the port cannot be had.
  virtual int32_t Listen(int32_t port);
  // Connects to an IPv4 address (highest byte first) and port, waiting up to `timeout`
  // milliseconds for the confirmation; 1 on success, else 0 with no ENet host left.
  virtual int32_t Connect(int32_t address, int32_t port, int32_t timeout);
  static Ref<TOrbuHost> Create();

  // The port the ENet host is bound to; 0 without one.
  int32_t Port() const noexcept;
  // Called by a listed object that leaves the synced state: the next pump takes its changes.
  void MarkPending(TOrbuObject& object);
  // Called by a pending object that goes away (taken out of `objects` by the program).
  void ForgetPending(const TOrbuObject& object) noexcept;

  // The ENet host (null when not networked), the events collected and not yet handled, the
  // peers, every object in creation order, the objects of the last pump by state, the messages
  // received, and the objects by id.
  enet::HostHandle enetHost;
  Ref<TList> events;
  Ref<TList> peers;
  Ref<TList> objects;
  Ref<TList> created;
  Ref<TList> modified;
  Ref<TList> closed;
  Ref<TList> messages;
  Array<Ref<TOrbuObject>> byId;

 private:
  Ref<TOrbuPeer> FindPeer(const enet::Peer* enetPeer) const;
  // Queues one packet of the header and records for every connected peer but `except`; the
  // packet is `received`, the one the records came in, when given (its header is rewritten).
  void BroadcastRecords(int32_t id, int32_t state, std::span<const uint8_t> data, const TOrbuPeer* except,
                        enet::Packet* received = nullptr);
  // Appends the object to `objects`; its changes go out at the next pump.
  void ListObject(const Ref<TOrbuObject>& object);
  // Steps of the pump.
  void SendLocalChanges();
  // Every peer notes its send window (TOrbuPeer::NoteWindow).
  void NoteWindows() noexcept;
  // Moves the collected events from `from` on to `events`, for the next pump, when a pump ends
  // early; they are dropped only when memory runs out.
  void KeepUnhandled(std::size_t from) noexcept;
  // Handles one event; the packet (null for none) is destroyed afterwards unless it was relayed,
  // when ENet frees it once sent. `peer` is the peer of the previous event, or Null; it is set to
  // the peer of this one.
  void HandleEvent(int32_t type, enet::Peer* enetPeer, enet::Packet* packet, Ref<TOrbuPeer>& peer);
  void HandleDisconnect(const Ref<TOrbuPeer>& peer);
  // The remote object the peer knows by `remoteId`, when the peer owns it; else Null.
  TOrbuObject* OwnedObject(const TOrbuPeer& peer, int32_t remoteId) const;
  // The lowest free id, or 0 when every id is taken.
  int32_t FindFreeId() const noexcept;

  // Listed objects that have left the synced state since the last pump, in no order (held by
  // `objects`; one that goes away takes itself out); whether this host's own among them are
  // in the order they were made, and the last one's place.
  std::vector<TOrbuObject*> pending_;
  // The packet HandleReceive is taking in when it came from ENet, so that relaying passes it on
  // instead of copying it.
  enet::Packet* received_ = nullptr;
  bool localsInOrder_ = true;
  int64_t lastLocalOrder_ = 0;
  // The objects of the round SendLocalChanges is sending, and the records of one of them.
  std::vector<TOrbuObject*> round_;
  std::vector<uint8_t> packed_;
  // The events of the pump under way.
  std::vector<enet::EventRecord> records_;
  int64_t nextListOrder_ = 1;
};

// Object lists OrbuObjectList selects.
inline constexpr int32_t kOrbuListAll = 0;
inline constexpr int32_t kOrbuListCreated = 1;
inline constexpr int32_t kOrbuListModified = 2;
inline constexpr int32_t kOrbuListClosed = 3;

// A new host without a network connection.
Ref<TOrbuHost> NewOrbuHost();
void ShutOrbuHost(const Ref<TOrbuHost>& host);
void PumpOrbuHost(const Ref<TOrbuHost>& host);
// Listens on the port: 1 or 0.
int32_t OrbuOpenPort(const Ref<TOrbuHost>& host, int32_t port);
// Connects to a host named by dotted address or name: 1 or 0.
int32_t OrbuDial(const Ref<TOrbuHost>& host, const String& address, int32_t port, int32_t timeout);
// The objects of one list (kOrbuList...); throws "Unknown object state" for another selector.
Ref<TList> OrbuObjectList(const Ref<TOrbuHost>& host, int32_t which);
// The messages that arrived for local objects in the last pump.
Ref<TList> OrbuMessageList(const Ref<TOrbuHost>& host);
Ref<TOrbuObject> NewOrbuObject(const Ref<TOrbuHost>& host);
Ref<TOrbuObject> NewOrbuMessage(const Ref<TOrbuHost>& host);
void PostOrbuMessage(const Ref<TOrbuObject>& message, const Ref<TOrbuObject>& target);
// The local object a received message is addressed to.
Ref<TOrbuObject> OrbuMessageTarget(const Ref<TOrbuObject>& message);
int32_t OrbuObjectStateOf(const Ref<TOrbuObject>& object);
bool IsLocalOrbuObject(const Ref<TOrbuObject>& object);
bool IsRemoteOrbuObject(const Ref<TOrbuObject>& object);
void PutOrbuInt(const Ref<TOrbuObject>& object, int32_t index, int32_t value);
void PutOrbuFloat(const Ref<TOrbuObject>& object, int32_t index, float value);
void PutOrbuString(const Ref<TOrbuObject>& object, int32_t index, const String& text);
int32_t FetchOrbuInt(const Ref<TOrbuObject>& object, int32_t index);
float FetchOrbuFloat(const Ref<TOrbuObject>& object, int32_t index);
String FetchOrbuString(const Ref<TOrbuObject>& object, int32_t index);
void AttachOrbuTarget(const Ref<TOrbuObject>& object, const Ref<Object>& target);
Ref<Object> OrbuTargetOf(const Ref<TOrbuObject>& object);
void RetireOrbuObject(const Ref<TOrbuObject>& object);

// The shared objects' module initialiser; through the ENet module it starts ENet and registers
// ENet's shut-down at exit.
void InitOrbuModule();

}  // namespace corvex
