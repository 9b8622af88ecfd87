#include "net/OrbuHost.h"

#include <algorithm>
#include <vector>

#include "net/Socket.h"
#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "runtime/Log.h"
#include "runtime/Module.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

// The id in a packet's header, before any translation.
int32_t WireId(std::span<const uint8_t> packet) {
  return (packet[0] % 16) * 256 + packet[1];
}

Ref<TOrbuObject> AsObject(const Ref<Object>& item) {
  return Ref<TOrbuObject>(static_cast<TOrbuObject*>(item.Get()));
}

// Writes the header of `id` and `state` into the packet's first two bytes.
enet::Packet* WriteHeader(enet::Packet* packet, int32_t id, int32_t state) {
  uint8_t* bytes = enet::PacketData(packet);
  bytes[0] = static_cast<uint8_t>(id / 256 + state * 16);
  bytes[1] = static_cast<uint8_t>(id % 256);
  return packet;
}

// A reliable packet as it goes on the wire: the header of `id` and `state`, then the packed slot
// records; null when ENet has none.
enet::Packet* WirePacket(int32_t id, int32_t state, std::span<const uint8_t> data) {
  enet::Packet* packet = enet::NewReliablePacket(2 + data.size());
  if (!packet) return nullptr;
  std::copy(data.begin(), data.end(), enet::PacketData(packet) + 2);
  return WriteHeader(packet, id, state);
}

}  // namespace

ENetEvent::~ENetEvent() {
  if (packet) enet::DestroyPacket(packet);
}

enet::Packet* ENetEvent::TakePacket() noexcept {
  return std::exchange(packet, nullptr);
}

TOrbuPeer::~TOrbuPeer() {
  DropHeld();
}

void TOrbuPeer::Disconnect() {
  DropHeld();
  if (enetPeer) enet::Disconnect(enetPeer);
  enetPeer = nullptr;
}

void TOrbuPeer::NoteWindow() noexcept {
  if (!enetPeer) return;
  // A silent peer's packets are held, since ENet, retransmitting to it, would take more of them
  // in each time its window seems to open.
  silent_ = enet::MillisSinceHeard(enetPeer) > enet::kSilentMillis;
  idle_ = enet::NothingInFlight(enetPeer);
  room_ = enet::WindowRoom(enetPeer);
}

bool TOrbuPeer::Fits(std::size_t size) const noexcept {
  if (silent_) return false;
  // A packet larger than the whole window goes alone once nothing else is under way.
  return (queuedBytes_ == 0 && idle_) || queuedBytes_ + size <= room_;
}

bool TOrbuPeer::Deliver(enet::Packet* packet) {
  if (!enetPeer) return false;
  const std::size_t size = enet::PacketSize(packet);
  if (held_.empty() && Fits(size)) {
    if (!enet::SendPacket(enetPeer, packet)) return false;
    queuedBytes_ += size;
    return true;
  }
  enet::HoldPacket(packet);
  held_.push_back(packet);
  return true;
}

void TOrbuPeer::DeliverHeld() {
  while (enetPeer && !held_.empty() && Fits(enet::PacketSize(held_.front()))) {
    enet::Packet* packet = held_.front();
    held_.pop_front();
    const bool sent = enet::SendPacket(enetPeer, packet);
    queuedBytes_ += enet::PacketSize(packet);
    enet::DropHold(packet);
    if (!sent) {
      // The peer is on its way out; its disconnect event follows.
      DropHeld();
      break;
    }
  }
  queuedBytes_ = 0;
}

void TOrbuPeer::DropHeld() noexcept {
  for (enet::Packet* packet : held_) enet::DropHold(packet);
  held_.clear();
}

void TOrbuPeer::MapId(int32_t local, int32_t remote) {
  localToRemote[local] = remote;
  remoteToLocal[remote] = local;
}

void TOrbuPeer::UnmapId(int32_t local) {
  const int32_t remote = localToRemote[local];
  localToRemote[local] = 0;
  remoteToLocal[remote] = 0;
}

Ref<TOrbuMsg> TOrbuPeer::Receive(std::span<const uint8_t> packet) {
  if (packet.size() < 2) return Null;
  int32_t id = WireId(packet);
  const int32_t state = packet[0] / 16;
  if (state != kOrbuMessage && remoteToLocal[id] != 0) id = remoteToLocal[id];
  ByteArray data(static_cast<int32_t>(packet.size() - 2));
  std::copy(packet.begin() + 2, packet.end(), data.begin());
  return New<TOrbuMsg>(id, state, std::move(data));
}

void TOrbuPeer::Send(const Ref<TOrbuMsg>& msg) {
  const int32_t id = msg->state == kOrbuMessage ? localToRemote[msg->id] : msg->id;
  enet::Packet* packet = enetPeer ? WirePacket(id, msg->state, OrbuBytes(msg->data)) : nullptr;
  const bool sent = packet && Deliver(packet);
  enet::ReleaseIfUnsent(packet);
  if (!sent) throw TThrownString("ENet errror");
}

Ref<TOrbuPeer> TOrbuPeer::Create(enet::Peer* enetPeer) {
  Ref<TOrbuPeer> peer = New<TOrbuPeer>();
  peer->enetPeer = enetPeer;
  peer->localToRemote = Array<int32_t>(kOrbuIdCount);
  peer->remoteToLocal = Array<int32_t>(kOrbuIdCount);
  peer->NoteWindow();
  return peer;
}

bool TOrbuPeer::IsConnected() const noexcept {
  return enetPeer && enet::IsConnected(enetPeer);
}

void TOrbuHost::CollectEvents() {
  if (!enetHost) return;
  struct NoteAtEnd {
    TOrbuHost& host;
    ~NoteAtEnd() { host.NoteWindows(); }
  } note{*this};
  // A peer that never stops sending must not keep the pump from returning.
  while (events->Count() < kOrbuEventsPerPump) {
    Ref<ENetEvent> event = New<ENetEvent>();
    enet::EventRecord record;
    const int result = enet::Service(enetHost.get(), record);
    if (result == 0) return;
    event->type = record.type;
    event->peer = record.peer;
    event->channel = record.channel;
    event->packet = record.packet;
    events->AddLast(event);
    // A failed service leaves an event without type, which the pump reports; collecting more
    // would only repeat the failure.
    if (result < 0) return;
  }
}

void TOrbuHost::Pump() {
  created->Clear();
  modified->Clear();
  closed->Clear();
  messages->Clear();
  // Events are collected once and handled together: servicing ENet between them would send
  // each relayed packet in a datagram of its own and walk every peer's send queue each time.
  // They are collected before this host's changes are queued, so that the acknowledgements
  // among them open the peers' send windows first, and handled after; events collected before
  // (a dial leaves some) come first.
  records_.clear();
  bool failed = false;
  // Events a pump that ended early left count against the bound.
  const auto room = static_cast<std::size_t>(std::max(kOrbuEventsPerPump - events->Count(), 0));
  while (enetHost && records_.size() < room) {
    enet::EventRecord record;
    const int result = enet::Service(enetHost.get(), record);
    if (result == 0) break;
    if (result < 0) {
      failed = true;
      break;
    }
    records_.push_back(record);
  }
  NoteWindows();
  std::size_t next = 0;  // the first record not handled yet
  try {
    SendLocalChanges();
    struct FlushAtEnd {
      TOrbuHost& host;
      ~FlushAtEnd() {
        if (!host.enetHost) return;
        for (const Ref<Object>& item : *host.peers) static_cast<TOrbuPeer*>(item.Get())->DeliverHeld();
        enet::Flush(host.enetHost.get());
        host.NoteWindows();
      }
    } flush{*this};
    while (!events->IsEmpty()) {
      const Ref<ENetEvent> event(static_cast<ENetEvent*>(events->RemoveFirst().Get()));
      Ref<TOrbuPeer> peer;
      HandleEvent(event->type, event->peer, event->TakePacket(), peer);
    }
    // Packets mostly come in runs from one peer, which is looked up once for its run.
    Ref<TOrbuPeer> peer;
    while (next < records_.size()) {
      const enet::EventRecord& record = records_[next++];
      HandleEvent(record.type, record.peer, record.packet, peer);
    }
  } catch (...) {
    KeepUnhandled(next);
    throw;
  }
  if (failed) throw TThrownString("Orbu error");
}

void TOrbuHost::NoteWindows() noexcept {
  if (!peers) return;
  for (const Ref<Object>& item : *peers) static_cast<TOrbuPeer*>(item.Get())->NoteWindow();
}

void TOrbuHost::KeepUnhandled(std::size_t from) noexcept {
  std::size_t at = from;
  try {
    for (; at < records_.size(); ++at) {
      // The event takes the packet only once it is listed: an event that failed to be listed
      // would destroy the packet, which the handler below destroys too.
      const Ref<ENetEvent> event = New<ENetEvent>();
      events->AddLast(event);
      event->type = records_[at].type;
      event->peer = records_[at].peer;
      event->channel = records_[at].channel;
      event->packet = records_[at].packet;
    }
  } catch (...) {
    for (; at < records_.size(); ++at) {
      if (records_[at].packet) enet::DestroyPacket(records_[at].packet);
    }
  }
  records_.clear();
}

void TOrbuHost::SendLocalChanges() {
  if (pending_.empty()) return;
  // The round's list and packing buffer are kept from pump to pump, so that a steady stream
  // of changes allocates neither.
  std::vector<TOrbuObject*>& round = round_;
  round.swap(pending_);
  struct ClearAtEnd {
    std::vector<TOrbuObject*>& round;
    ~ClearAtEnd() { round.clear(); }
  } clearAtEnd{round};
  // Only this host's own objects send, and they must go in the order they were made; they
  // are mostly changed in that order, so the round rarely needs sorting.
  if (!localsInOrder_) {
    std::sort(round.begin(), round.end(),
              [](const TOrbuObject* a, const TOrbuObject* b) { return a->listOrder < b->listOrder; });
  }
  localsInOrder_ = true;
  lastLocalOrder_ = 0;
  bool anyDead = false;
  std::size_t at = 0;
  try {
    for (; at < round.size(); ++at) {
      if (!round[at]) continue;  // went away during the round
      TOrbuObject& object = *round[at];
      object.pending = false;
      int32_t sentState = 0;
      if (object.TakeChangesInto(packed_, sentState))
        BroadcastRecords(object.id, sentState, packed_, nullptr);
      anyDead = anyDead || object.state == kOrbuDead;
    }
  } catch (...) {
    // What was not taken yet, the object that threw (it is tried again, as every object would be)
    // and the dead wait for the next pump.
    for (std::size_t i = 0; i < round.size(); ++i) {
      if (!round[i]) continue;
      if (i > at) round[i]->pending = false;
      if (i >= at || round[i]->state == kOrbuDead) MarkPending(*round[i]);
    }
    throw;
  }
  if (!anyDead) return;
  const Array<Ref<Object>> listed = objects->ToArray();
  objects->Clear();
  for (const Ref<Object>& item : listed) {
    const Ref<TOrbuObject> object = AsObject(item);
    if (object->state != kOrbuDead) {
      objects->AddLast(item);
      continue;
    }
    object->listOrder = 0;
    if (!object->peer) UnregisterObject(object);
  }
}

void TOrbuHost::MarkPending(TOrbuObject& object) {
  if (object.pending) return;
  object.pending = true;
  if (!object.peer) {
    if (object.listOrder < lastLocalOrder_) localsInOrder_ = false;
    lastLocalOrder_ = object.listOrder;
  }
  pending_.push_back(&object);
}

void TOrbuHost::ForgetPending(const TOrbuObject& object) noexcept {
  std::erase(pending_, &object);
  std::replace(round_.begin(), round_.end(), const_cast<TOrbuObject*>(&object),
               static_cast<TOrbuObject*>(nullptr));
}

void TOrbuHost::ListObject(const Ref<TOrbuObject>& object) {
  objects->AddLast(object);
  object->listOrder = nextListOrder_++;
  if (object->state != kOrbuSynced) MarkPending(*object);
}

void TOrbuHost::HandleEvent(int32_t type, enet::Peer* enetPeer, enet::Packet* packet, Ref<TOrbuPeer>& peer) {
  struct Release {
    TOrbuHost& host;
    enet::Packet* packet;
    ~Release() {
      host.received_ = nullptr;
      enet::ReleaseIfUnsent(packet);
    }
  } release{*this, packet};
  // A peer that disconnected no longer names its ENet peer, so it never matches again.
  if (!peer || peer->enetPeer != enetPeer) peer = FindPeer(enetPeer);
  switch (type) {
    case kENetEventConnect:
      AttachPeer(enetPeer);
      break;
    case kENetEventDisconnect:
      if (peer) HandleDisconnect(peer);
      break;
    case kENetEventReceive:
      // What a peer sent unreliably is relayed in a reliable packet of its own.
      received_ = packet && enet::CameReliably(packet) ? packet : nullptr;
      if (peer && packet) HandleReceive(peer, enet::PacketBytes(packet));
      break;
    default:
      throw TThrownString("Orbu error");
  }
}

void TOrbuHost::HandleDisconnect(const Ref<TOrbuPeer>& peer) {
  for (const Ref<Object>& item : objects->ToArray()) {
    const Ref<TOrbuObject> object = AsObject(item);
    // An object the peer closed in this pump is already unmapped, unregistered and listed as
    // closed; its id may already belong to an object created since.
    if (object->peer != peer || object->state == kOrbuDead || object->state == kOrbuClosed) continue;
    Broadcast(object->CloseMsg(), peer);
    peer->UnmapId(object->id);
    UnregisterObject(object);
    closed->AddLast(object);
    object->Close();
  }
  peer->DropHeld();
  peer->enetPeer = nullptr;
  peers->Remove(peer);
}

void TOrbuHost::HandleReceive(const Ref<TOrbuPeer>& peer, std::span<const uint8_t> packet) {
  // Everything a peer sends is checked before any of it is applied or relayed. The records are
  // applied and relayed straight from the packet's bytes.
  if (packet.size() < 2 || !IsWellFormedOrbuData(packet.subspan(2)))
    return LogLine(LogLevel::Warning, "Orbu: dropped a malformed packet");
  const int32_t state = packet[0] / 16;
  const int32_t wireId = WireId(packet);
  const std::span<const uint8_t> data = packet.subspan(2);
  const auto dataLength = static_cast<int32_t>(data.size());
  // Listed objects are held by `objects`; the object is taken by its pointer to spare counting.
  TOrbuObject* object = nullptr;
  Ref<TOrbuObject> arrived;
  // What the object will pack to at most once the records are applied; -1 when not known.
  int32_t sizeBound = -1;
  switch (state) {
    case kOrbuMessage: {
      const Ref<TOrbuMsg> msg = peer->Receive(packet);
      const Ref<TOrbuObject> target = byId[msg->id];
      if (!target) return;
      if (!target->peer) {
        const Ref<TOrbuObject> message =
            TOrbuObject::Create(msg->id, kOrbuMessage, Ref<TOrbuHost>(this), Null);
        message->ApplyMsg(msg);
        messages->AddLast(message);
      } else if (target->peer->IsConnected() && target->peer->localToRemote[target->id] != 0) {
        target->peer->Send(msg);
      }
      return;
    }
    case kOrbuCreated: {
      // A second create for an id the peer already has, or one no id is left for, is dropped.
      if (wireId == 0 || peer->remoteToLocal[wireId] != 0) return;
      const int32_t id = FindFreeId();
      if (id == 0) return;
      arrived = TOrbuObject::Create(id, kOrbuCreated, Ref<TOrbuHost>(this), peer);
      object = arrived.Get();
      RegisterObject(arrived);
      peer->MapId(id, wireId);
      sizeBound = dataLength;
      ListObject(arrived);
      created->AddLast(arrived);
      break;
    }
    case kOrbuModified:
      object = OwnedObject(*peer, wireId);
      if (!object) return;
      // Changes that would make the object too large to pack are dropped: a newcomer's welcome
      // packs every object whole. A record adds at most its own bytes, so while the known bound
      // stays small the slots need not be walked.
      sizeBound = object->packedSizeBound < 0 ? kOrbuMaxData + 1 : object->packedSizeBound + dataLength;
      if (sizeBound > kOrbuMaxData) sizeBound = object->PackedSizeWith(data);
      if (sizeBound > kOrbuMaxData) {
        return LogLine(LogLevel::Warning, "Orbu: dropped a change that would make an object too large");
      }
      modified->AddLast(Ref<Object>(object));
      break;
    case kOrbuClosed:
      object = OwnedObject(*peer, wireId);
      if (!object) return;
      arrived = Ref<TOrbuObject>(object);
      peer->UnmapId(object->id);
      UnregisterObject(arrived);
      closed->AddLast(arrived);
      break;
    default:
      return;
  }
  // The packet from ENet goes on as it came, its header naming the object as this host does.
  const bool fromEnet = received_ && enet::PacketBytes(received_).data() == packet.data();
  BroadcastRecords(object->id, state, data, peer.Get(), fromEnet ? received_ : nullptr);
  object->ApplyRecords(state, data);
  if (sizeBound >= 0) object->packedSizeBound = sizeBound;
}

TOrbuObject* TOrbuHost::OwnedObject(const TOrbuPeer& peer, int32_t remoteId) const {
  const int32_t local = peer.remoteToLocal[remoteId];
  if (local == 0) return nullptr;
  TOrbuObject* object = byId[local].Get();
  if (!object || object->peer.Get() != &peer) return nullptr;
  return object;
}

void TOrbuHost::Shutdown() {
  if (!peers) return;
  for (const Ref<Object>& item : *peers) static_cast<TOrbuPeer*>(item.Get())->Disconnect();
  peers = Null;
  if (enetHost) {
    enet::Flush(enetHost.get());
    enetHost.reset();
  }
  // Objects hold their host: letting go of them here ends that cycle.
  for (const Ref<Object>& item : *objects) {
    auto* object = static_cast<TOrbuObject*>(item.Get());
    object->listOrder = 0;
    object->pending = false;
  }
  pending_.clear();
  localsInOrder_ = true;
  lastLocalOrder_ = 0;
  events->Clear();
  objects->Clear();
  created->Clear();
  modified->Clear();
  closed->Clear();
  messages->Clear();
  for (Ref<TOrbuObject>& entry : byId) entry = Null;
}

void TOrbuHost::Broadcast(const Ref<TOrbuMsg>& msg, const Ref<TOrbuPeer>& except) {
  // Messages to an object carry each peer's own id for it; everything else carries ours.
  if (msg->state != kOrbuMessage)
    return BroadcastRecords(msg->id, msg->state, OrbuBytes(msg->data), except.Get());
  for (const Ref<Object>& item : *peers) {
    auto* peer = static_cast<TOrbuPeer*>(item.Get());
    if (peer != except.Get() && peer->IsConnected()) peer->Send(msg);
  }
}

void TOrbuHost::BroadcastRecords(int32_t id, int32_t state, std::span<const uint8_t> data,
                                 const TOrbuPeer* except, enet::Packet* received) {
  enet::Packet* packet = nullptr;
  struct Release {
    enet::Packet*& packet;
    enet::Packet* received;
    ~Release() {
      if (packet != received) enet::ReleaseIfUnsent(packet);
    }
  } release{packet, received};
  for (const Ref<Object>& item : *peers) {
    auto* peer = static_cast<TOrbuPeer*>(item.Get());
    if (peer == except || !peer->IsConnected()) continue;
    if (!packet && received) packet = WriteHeader(received, id, state);
    if (!packet) packet = WirePacket(id, state, data);
    if (!packet || !peer->Deliver(packet)) throw TThrownString("ENet errror");
  }
}

Ref<TOrbuPeer> TOrbuHost::AttachPeer(enet::Peer* enetPeer) {
  const Ref<TOrbuPeer> peer = TOrbuPeer::Create(enetPeer);
  peers->AddLast(peer);
  // A peer that left again before its connection was taken in gets nothing; its disconnect
  // event follows.
  if (!peer->IsConnected()) return peer;
  enet::ConfigurePeer(enetPeer);
  peer->NoteWindow();
  for (const Ref<Object>& item : *objects) {
    const Ref<TOrbuObject> object = AsObject(item);
    // Remote objects that arrived in this pump were relayed before the newcomer came; it gets
    // them now, as no later pump sends a remote object's creation.
    const bool arrived = object->state == kOrbuCreated && object->peer;
    if (object->state == kOrbuSynced || object->state == kOrbuModified || arrived) {
      peer->Send(object->FullCreateMsg());
    }
  }
  return peer;
}

Ref<TList> TOrbuHost::AllObjects() {
  return objects;
}

Ref<TList> TOrbuHost::Peers() {
  return peers;
}

Ref<TList> TOrbuHost::CreatedObjects() {
  return created;
}

Ref<TList> TOrbuHost::ModifiedObjects() {
  return modified;
}

Ref<TList> TOrbuHost::ClosedObjects() {
  return closed;
}

Ref<TOrbuObject> TOrbuHost::NewLocalObject() {
  const Ref<TOrbuObject> object = TOrbuObject::Create(FreeId(), kOrbuCreated, Ref<TOrbuHost>(this), Null);
  RegisterObject(object);
  ListObject(object);
  return object;
}

Ref<TOrbuObject> TOrbuHost::NewMessageObject() {
  return TOrbuObject::Create(0, kOrbuMessage, Ref<TOrbuHost>(this), Null);
}

void TOrbuHost::PostMessage(const Ref<TOrbuObject>& message, const Ref<TOrbuObject>& target) {
  if (target->peer) target->peer->Send(message->AddressedMsg(target->id));
}

int32_t TOrbuHost::FreeId() {
  const int32_t id = FindFreeId();
  if (id == 0) throw TThrownString("Out of Orbu object IDs");
  return id;
}

int32_t TOrbuHost::FindFreeId() const noexcept {
  for (int32_t id = 1; id < kOrbuIdCount; ++id) {
    if (!byId.Data()[id]) return id;
  }
  return 0;
}

void TOrbuHost::RegisterObject(const Ref<TOrbuObject>& object) {
  byId[object->id] = object;
}

void TOrbuHost::UnregisterObject(const Ref<TOrbuObject>& object) {
  byId[object->id] = Null;
}

int32_t TOrbuHost::Listen(int32_t port) {
  const String what = "Orbu port " + String::FromInt(port);
  const ErrorSubject subject(&what);
  if (enetHost) return FailZero("host is already open");
  if (port < 0 || port > 65535) return FailZero("no such port");
  enetHost = enet::CreateHost(true, static_cast<uint16_t>(port));
  return enetHost ? 1 : FailZero("cannot listen (port in use?)");
}

int32_t TOrbuHost::Connect(int32_t address, int32_t port, int32_t timeout) {
  const String what = "Orbu dial " + FormatDottedIp(address) + ":" + String::FromInt(port);
  const ErrorSubject subject(&what);
  if (enetHost) return FailZero("host is already open");
  if (port < 0 || port > 65535) return FailZero("no such port");
  enetHost = enet::CreateHost(false, 0);
  if (!enetHost) return FailZero("cannot create an ENet host");
  if (enet::Peer* enetPeer =
          enet::Connect(enetHost.get(), static_cast<uint32_t>(address), static_cast<uint16_t>(port))) {
    const int32_t start = MillisNow();
    while (static_cast<int32_t>(static_cast<uint32_t>(MillisNow()) - static_cast<uint32_t>(start)) <
           timeout) {
      CollectEvents();
      for (const Ref<Object>& item : *events) {
        auto* event = static_cast<ENetEvent*>(item.Get());
        if (event->type != kENetEventConnect || event->peer != enetPeer) continue;
        events->Remove(item);
        AttachPeer(enetPeer);
        return 1;
      }
    }
  }
  events->Clear();
  enetHost.reset();
  return FailZero("no answer within " + String::FromInt(timeout) + " ms");
}

Ref<TOrbuHost> TOrbuHost::Create() {
  Ref<TOrbuHost> host = New<TOrbuHost>();
  host->events = New<TList>();
  host->peers = New<TList>();
  host->objects = New<TList>();
  host->created = New<TList>();
  host->modified = New<TList>();
  host->closed = New<TList>();
  host->messages = New<TList>();
  host->byId = Array<Ref<TOrbuObject>>(kOrbuIdCount);
  return host;
}

int32_t TOrbuHost::Port() const noexcept {
  return enetHost ? enet::HostPort(enetHost.get()) : 0;
}

Ref<TOrbuPeer> TOrbuHost::FindPeer(const enet::Peer* enetPeer) const {
  for (const Ref<Object>& item : *peers) {
    auto* peer = static_cast<TOrbuPeer*>(item.Get());
    if (peer->enetPeer == enetPeer) return Ref<TOrbuPeer>(peer);
  }
  return Null;
}

Ref<TOrbuHost> NewOrbuHost() {
  return TOrbuHost::Create();
}

void ShutOrbuHost(const Ref<TOrbuHost>& host) {
  host->Shutdown();
}

void PumpOrbuHost(const Ref<TOrbuHost>& host) {
  host->Pump();
}

int32_t OrbuOpenPort(const Ref<TOrbuHost>& host, int32_t port) {
  return host->Listen(port);
}

int32_t OrbuDial(const Ref<TOrbuHost>& host, const String& address, int32_t port, int32_t timeout) {
  return host->Connect(LookupHostAddress(address, 0), port, timeout);
}

Ref<TList> OrbuObjectList(const Ref<TOrbuHost>& host, int32_t which) {
  switch (which) {
    case kOrbuListAll:
      return host->AllObjects();
    case kOrbuListCreated:
      return host->CreatedObjects();
    case kOrbuListModified:
      return host->ModifiedObjects();
    case kOrbuListClosed:
      return host->ClosedObjects();
    default:
      throw TThrownString("Unknown object state");
  }
}

Ref<TList> OrbuMessageList(const Ref<TOrbuHost>& host) {
  return host->messages;
}

Ref<TOrbuObject> NewOrbuObject(const Ref<TOrbuHost>& host) {
  return host->NewLocalObject();
}

Ref<TOrbuObject> NewOrbuMessage(const Ref<TOrbuHost>& host) {
  return host->NewMessageObject();
}

void PostOrbuMessage(const Ref<TOrbuObject>& message, const Ref<TOrbuObject>& target) {
  message->host->PostMessage(message, target);
}

Ref<TOrbuObject> OrbuMessageTarget(const Ref<TOrbuObject>& message) {
  return message->host->byId[message->id];
}

int32_t OrbuObjectStateOf(const Ref<TOrbuObject>& object) {
  return object->State();
}

bool IsLocalOrbuObject(const Ref<TOrbuObject>& object) {
  return !object->peer;
}

bool IsRemoteOrbuObject(const Ref<TOrbuObject>& object) {
  return static_cast<bool>(object->peer);
}

void PutOrbuInt(const Ref<TOrbuObject>& object, int32_t index, int32_t value) {
  object->SetSlotInt(index, value);
}

void PutOrbuFloat(const Ref<TOrbuObject>& object, int32_t index, float value) {
  object->SetSlotFloat(index, value);
}

void PutOrbuString(const Ref<TOrbuObject>& object, int32_t index, const String& text) {
  object->SetSlotString(index, text);
}

int32_t FetchOrbuInt(const Ref<TOrbuObject>& object, int32_t index) {
  return object->SlotInt(index);
}

float FetchOrbuFloat(const Ref<TOrbuObject>& object, int32_t index) {
  return object->SlotFloat(index);
}

String FetchOrbuString(const Ref<TOrbuObject>& object, int32_t index) {
  return object->SlotString(index);
}

void AttachOrbuTarget(const Ref<TOrbuObject>& object, const Ref<Object>& target) {
  object->target = target;
}

Ref<Object> OrbuTargetOf(const Ref<TOrbuObject>& object) {
  return object->target;
}

void RetireOrbuObject(const Ref<TOrbuObject>& object) {
  object->Close();
}

void InitOrbuModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitListModule();
  InitSystemModule();
  InitEnetModule();
}

}  // namespace corvex
