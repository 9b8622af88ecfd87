// Hosts over loopback ENet in one process: a hub and its clients pumped in turn.
#include <gtest/gtest.h>

#include <algorithm>

#include "net/OrbuHost.h"
#include "net/enet/OrbuEnet.h"
#include "tests/net/OrbuRawPeer.h"
#include "tests/net/OrbuTestSupport.h"

namespace corvex {
namespace {

using orbutest::DialWhilePumping;
using orbutest::ObjectsOf;
using orbutest::PumpUntil;
using orbutest::RawPeer;
using orbutest::Settle;

using Packet = std::vector<uint8_t>;

class OrbuHostTest : public testing::Test {
 protected:
  void SetUp() override { hub_ = orbutest::NewHub(); }
  void TearDown() override {
    for (const Ref<TOrbuHost>& host : {hub_, a_, b_}) {
      if (host) ShutOrbuHost(host);
    }
  }
  // Two clients dialled into the hub.
  void DialBoth() {
    a_ = NewOrbuHost();
    b_ = NewOrbuHost();
    ASSERT_TRUE(DialWhilePumping(a_, hub_));
    ASSERT_TRUE(DialWhilePumping(b_, hub_));
    ASSERT_TRUE(PumpUntil({hub_, a_, b_}, [&] { return hub_->peers->Count() == 2; }));
  }

  Ref<TOrbuHost> hub_, a_, b_;
};

TEST_F(OrbuHostTest, AFirstPumpSendsTheDocumentedPacket) {
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(hub_));
  std::vector<Ref<TOrbuObject>> made;
  for (int i = 0; i < 10; ++i) made.push_back(NewOrbuObject(hub_));
  for (int i = 0; i < 9; ++i) RetireOrbuObject(made[i]);  // never sent, so never seen
  const Ref<TOrbuObject> object = made[9];
  ASSERT_EQ(object->id, 10);
  PutOrbuInt(object, 3, 7);
  PutOrbuString(object, 0, "hi");
  ASSERT_TRUE(raw.PumpUntil(hub_, [&] { return !raw.received.empty(); }));
  Settle({hub_});
  raw.Service();
  ASSERT_EQ(raw.received.size(), 1u);
  EXPECT_EQ(raw.received[0], (Packet{0x10, 0x0A, 0x60, 0x00, 0x02, 0x68, 0x69, 0x83, 0x07}));

  // A change sends the changed slot; a close sends one packet without data.
  PutOrbuInt(object, 3, 300);
  ASSERT_TRUE(raw.PumpUntil(hub_, [&] { return raw.received.size() == 2; }));
  EXPECT_EQ(raw.received[1], (Packet{0x20, 0x0A, 0xA3, 0x01, 0x2C}));
  RetireOrbuObject(object);
  ASSERT_TRUE(raw.PumpUntil(hub_, [&] { return raw.received.size() == 3; }));
  EXPECT_EQ(raw.received[2], (Packet{0x30, 0x0A}));
  EXPECT_TRUE(hub_->objects->IsEmpty());
  EXPECT_FALSE(hub_->byId[10]);
}

TEST_F(OrbuHostTest, ANewcomerFirstReceivesEverySyncedObject) {
  std::vector<Ref<TOrbuObject>> synced;
  for (int i = 0; i < 3; ++i) {
    synced.push_back(NewOrbuObject(hub_));
    PutOrbuInt(synced.back(), 0, 40 + i);
  }
  PumpOrbuHost(hub_);
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(hub_));
  PutOrbuInt(synced[1], 1, 1);
  ASSERT_TRUE(raw.PumpUntil(hub_, [&] { return raw.received.size() >= 4; }));
  EXPECT_EQ(raw.received[0], (Packet{0x10, 0x01, 0x80, 40}));
  EXPECT_EQ(raw.received[1], (Packet{0x10, 0x02, 0x80, 41}));
  EXPECT_EQ(raw.received[2], (Packet{0x10, 0x03, 0x80, 42}));
  EXPECT_EQ(raw.received[3], (Packet{0x20, 0x02, 0x81, 1}));
}

TEST_F(OrbuHostTest, TheHubRelaysSlotsAndClosesBetweenClients) {
  DialBoth();
  const Ref<TOrbuObject> hubObject = NewOrbuObject(hub_);  // takes id 1 on the hub
  PutOrbuString(hubObject, 0, "hub");
  const Ref<TOrbuObject> dot = NewOrbuObject(a_);
  PutOrbuInt(dot, 0, 120);
  PutOrbuFloat(dot, 1, -2.5f);
  PutOrbuString(dot, 2, "a");

  Ref<TOrbuObject> seen;
  ASSERT_TRUE(PumpUntil({a_, hub_, b_}, [&] {
    for (const Ref<TOrbuObject>& object : ObjectsOf(b_->objects)) {
      if (FetchOrbuString(object, 2) == String("a")) seen = object;
    }
    return static_cast<bool>(seen);
  }));
  EXPECT_TRUE(IsRemoteOrbuObject(seen));
  EXPECT_EQ(FetchOrbuInt(seen, 0), 120);
  EXPECT_EQ(FetchOrbuFloat(seen, 1), -2.5f);
  // Each client holds the hub's object, its own, and the other's.
  ASSERT_TRUE(
      PumpUntil({a_, hub_, b_}, [&] { return b_->objects->Count() == 2 && a_->objects->Count() == 2; }));

  PutOrbuInt(dot, 0, 70000);
  bool listedModified = false;
  ASSERT_TRUE(PumpUntil({a_, hub_, b_}, [&] {
    listedModified = listedModified || b_->modified->Contains(seen);
    return FetchOrbuInt(seen, 0) == 70000;
  }));
  EXPECT_TRUE(listedModified);

  RetireOrbuObject(dot);
  bool listedClosed = false;
  ASSERT_TRUE(PumpUntil({a_, hub_, b_}, [&] {
    listedClosed = listedClosed || b_->closed->Contains(seen);
    return !b_->objects->Contains(seen);
  }));
  EXPECT_TRUE(listedClosed);
  EXPECT_EQ(seen->state, kOrbuDead);
  ASSERT_TRUE(PumpUntil({a_, hub_, b_}, [&] { return hub_->objects->Count() == 1; }));
}

TEST_F(OrbuHostTest, MessagesReachTheOwnerThroughTheHub) {
  DialBoth();
  const Ref<TOrbuObject> owned = NewOrbuObject(a_);
  PutOrbuInt(owned, 0, 1);
  ASSERT_TRUE(PumpUntil({a_, hub_, b_}, [&] { return b_->objects->Count() == 1; }));
  const Ref<TOrbuObject> copy = ObjectsOf(b_->objects).front();

  const Ref<TOrbuObject> message = NewOrbuMessage(b_);
  PutOrbuString(message, 4, "hello");
  PostOrbuMessage(message, copy);
  ASSERT_TRUE(PumpUntil({b_, hub_, a_}, [&] { return a_->messages->Count() == 1; }));
  const Ref<TOrbuObject> arrived = ObjectsOf(a_->messages).front();
  EXPECT_EQ(arrived->state, kOrbuMessage);
  EXPECT_EQ(FetchOrbuString(arrived, 4), String("hello"));
  EXPECT_EQ(OrbuMessageTarget(arrived), owned);
  EXPECT_TRUE(hub_->messages->IsEmpty());
  PumpOrbuHost(a_);
  EXPECT_TRUE(a_->messages->IsEmpty());  // listed until the next pump only

  // To one of the hub's own objects, the hub keeps it.
  const Ref<TOrbuObject> hubOwned = NewOrbuObject(hub_);
  ASSERT_TRUE(PumpUntil({hub_, b_}, [&] { return b_->objects->Count() == 2; }));
  const Ref<TOrbuObject> hubCopy = ObjectsOf(b_->objects).back();
  PostOrbuMessage(NewOrbuMessage(b_), hubCopy);
  ASSERT_TRUE(PumpUntil({b_, hub_}, [&] { return hub_->messages->Count() == 1; }));
  EXPECT_EQ(OrbuMessageTarget(ObjectsOf(hub_->messages).front()), hubOwned);
}

TEST_F(OrbuHostTest, ADisconnectClosesThePeersObjects) {
  DialBoth();
  const Ref<TOrbuObject> first = NewOrbuObject(a_);
  const Ref<TOrbuObject> second = NewOrbuObject(a_);
  ASSERT_TRUE(PumpUntil({a_, hub_, b_}, [&] { return b_->objects->Count() == 2; }));
  const std::vector<Ref<TOrbuObject>> hubCopies = ObjectsOf(hub_->objects);
  const std::vector<Ref<TOrbuObject>> bCopies = ObjectsOf(b_->objects);

  ShutOrbuHost(a_);
  a_ = Null;
  ASSERT_TRUE(PumpUntil({hub_}, [&] { return hub_->peers->Count() == 1; }));
  EXPECT_EQ(hub_->closed->Count(), 2);  // in the same pump as the disconnect
  for (const Ref<TOrbuObject>& object : hubCopies) {
    EXPECT_TRUE(hub_->closed->Contains(object));
    EXPECT_TRUE(hub_->objects->Contains(object));
    EXPECT_FALSE(hub_->byId[object->id]);
  }
  PumpOrbuHost(hub_);
  EXPECT_TRUE(hub_->objects->IsEmpty());
  ASSERT_TRUE(PumpUntil({hub_, b_}, [&] { return b_->objects->IsEmpty(); }));
  for (const Ref<TOrbuObject>& object : bCopies) EXPECT_EQ(object->state, kOrbuDead);
}

// ENet reports the newcomer's connection before the other peer's packet, so the creation is
// relayed to it; either way it must arrive exactly once.
TEST_F(OrbuHostTest, ANewcomerConnectingAsAnObjectArrivesGetsItOnce) {
  a_ = NewOrbuHost();
  ASSERT_TRUE(DialWhilePumping(a_, hub_));
  RawPeer raw;
  raw.StartConnect(hub_->Port());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  PumpOrbuHost(hub_);  // answers the connection
  NewOrbuObject(a_);
  PumpOrbuHost(a_);  // sends the creation, which reaches the hub before the newcomer settles
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  raw.Service();
  ASSERT_TRUE(raw.Connected());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  PumpOrbuHost(hub_);
  EXPECT_EQ(hub_->created->Count(), 1);
  EXPECT_EQ(hub_->peers->Count(), 2);
  ASSERT_TRUE(raw.PumpUntil(hub_, [&] { return !raw.received.empty(); }));
  Settle({a_, hub_});
  raw.Service();
  EXPECT_EQ(raw.received, (std::vector<Packet>{{0x10, 0x01}}));
}

TEST_F(OrbuHostTest, DialFailsWithoutAHub) {
  const int32_t port = hub_->Port();
  ShutOrbuHost(hub_);
  hub_ = Null;
  a_ = NewOrbuHost();
  EXPECT_EQ(OrbuDial(a_, "127.0.0.1", port, 300), 0);
  EXPECT_FALSE(a_->enetHost);
  EXPECT_EQ(OrbuDial(a_, "no-such-host.invalid", port, 300), 0);
  b_ = orbutest::NewHub();
  EXPECT_EQ(OrbuOpenPort(b_, 0), 0);  // already listening
  EXPECT_EQ(OrbuDial(b_, "127.0.0.1", port, 300), 0);
}

// A collected ENet event as the pump finds it in `events`.
Ref<ENetEvent> QueuedEvent(int32_t type, enet::Peer* peer, const Packet& bytes = {}) {
  const Ref<ENetEvent> event = New<ENetEvent>();
  event->type = type;
  event->peer = peer;
  if (!bytes.empty())
    event->packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
  return event;
}

// A peer closes its object and leaves within one pump, while another peer's creation takes the
// freed id in between: the close is handled once and the newcomer keeps its id.
TEST_F(OrbuHostTest, ACloseAndADepartureInOnePumpAreHandledOnce) {
  RawPeer leaving, creator, watcher;
  ASSERT_TRUE(leaving.Connect(hub_));
  ASSERT_TRUE(creator.Connect(hub_));
  ASSERT_TRUE(watcher.Connect(hub_));
  const std::vector<Ref<Object>> peers(hub_->peers->begin(), hub_->peers->end());
  enet::Peer* leavingPeer = Cast<TOrbuPeer>(peers[0])->enetPeer;
  enet::Peer* creatorPeer = Cast<TOrbuPeer>(peers[1])->enetPeer;
  leaving.Send({0x10, 0x07, 0x80, 1});
  ASSERT_TRUE(watcher.PumpUntil(hub_, [&] { return watcher.received.size() == 1; }));
  const Ref<TOrbuObject> closing = ObjectsOf(hub_->objects).front();
  const auto id = static_cast<uint8_t>(closing->id);

  hub_->events->AddLast(QueuedEvent(kENetEventReceive, leavingPeer, {0x30, 0x07}));
  hub_->events->AddLast(QueuedEvent(kENetEventReceive, creatorPeer, {0x10, 0x03, 0x80, 2}));
  hub_->events->AddLast(QueuedEvent(kENetEventDisconnect, leavingPeer));
  PumpOrbuHost(hub_);
  EXPECT_EQ(ObjectsOf(hub_->closed), std::vector<Ref<TOrbuObject>>{closing});
  ASSERT_EQ(hub_->created->Count(), 1);
  const Ref<TOrbuObject> newcomer = ObjectsOf(hub_->created).front();
  EXPECT_EQ(newcomer->id, id);
  EXPECT_EQ(hub_->byId[id], newcomer);

  creator.Send({0x20, 0x03, 0x80, 3});
  ASSERT_TRUE(creator.PumpUntil(hub_, [&] { return FetchOrbuInt(newcomer, 0) == 3; }));
  ASSERT_TRUE(watcher.PumpUntil(hub_, [&] { return watcher.received.size() >= 4; }));
  Settle({hub_});
  watcher.Service();
  EXPECT_EQ(watcher.received,
            (std::vector<Packet>{{0x10, id, 0x80, 1}, {0x30, id}, {0x10, id, 0x80, 2}, {0x20, id, 0x80, 3}}));
}

// A peer that sends faster than the hub takes in cannot keep a pump from returning.
TEST_F(OrbuHostTest, APumpTakesInABoundedNumberOfEvents) {
  RawPeer flooder;
  ASSERT_TRUE(flooder.Connect(hub_));
  flooder.Send({0x10, 0x01, 0x80, 0});
  ASSERT_TRUE(flooder.PumpUntil(hub_, [&] { return hub_->objects->Count() == 1; }));
  constexpr int kChanges = 3 * kOrbuEventsPerPump / 2;
  for (int i = 0; i < kChanges; ++i) flooder.Queue({0x20, 0x01, 0x80, static_cast<uint8_t>(i)});
  enet_host_flush(flooder.Host());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int handled = 0;
  int most = 0;
  const bool all = flooder.PumpUntil(hub_, [&] {
    most = std::max(most, hub_->modified->Count());
    handled += hub_->modified->Count();
    return handled >= kChanges;
  });
  EXPECT_TRUE(all) << handled;
  EXPECT_LE(most, kOrbuEventsPerPump);
  EXPECT_EQ(handled, kChanges);
}

TEST_F(OrbuHostTest, APumpThatThrowsLosesNeitherArrivedPacketsNorItsOwnChanges) {
  RawPeer peer;
  ASSERT_TRUE(peer.Connect(hub_));
  peer.Send({0x10, 0x01, 0x80, 0});
  ASSERT_TRUE(peer.PumpUntil(hub_, [&] { return hub_->objects->Count() == 1; }));
  // Two 33,000-letter texts do not fit one message, so the hub's pump throws.
  const Ref<TOrbuObject> own = NewOrbuObject(hub_);
  const String text = String::FromBytes(std::string(33000, 'x'));
  PutOrbuString(own, 0, text);
  PutOrbuString(own, 1, text);
  peer.Send({0x20, 0x01, 0x80, 7});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(orbutest::ThrownText([&] { PumpOrbuHost(hub_); }), "Orbu message data too large");

  PutOrbuString(own, 1, "short");
  ASSERT_TRUE(peer.PumpUntil(hub_, [&] { return hub_->modified->Count() == 1; }));
  EXPECT_EQ(FetchOrbuInt(Ref<TOrbuObject>(static_cast<TOrbuObject*>(hub_->modified->First().Get())), 0), 7);
  ASSERT_TRUE(peer.PumpUntil(hub_, [&] {
    return std::any_of(peer.received.begin(), peer.received.end(), [](const Packet& packet) {
      return packet.size() > 2 && packet[0] / 16 == kOrbuCreated;
    });
  }));
  EXPECT_EQ(own->State(), kOrbuSynced);
}

TEST_F(OrbuHostTest, OwnChangesGoInTheOrderObjectsWereMadeWhateverOrderTheyWereChangedIn) {
  RawPeer raw;
  ASSERT_TRUE(raw.Connect(hub_));
  std::vector<Ref<TOrbuObject>> made;
  for (int i = 0; i < 4; ++i) made.push_back(NewOrbuObject(hub_));
  ASSERT_TRUE(raw.PumpUntil(hub_, [&] { return raw.received.size() == 4; }));
  // An object the program changes and then lets go of entirely goes away while still pending:
  // the pump neither sends it nor touches it.
  const std::vector<std::vector<int>> orders = {{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 0, 3, 1}};
  for (const std::vector<int>& order : orders) {
    Ref<TOrbuObject> dropped = NewOrbuObject(hub_);
    for (const int i : order) PutOrbuInt(made[static_cast<std::size_t>(i)], 0, 100 + i);
    PutOrbuInt(dropped, 0, 1);
    hub_->UnregisterObject(dropped);
    hub_->objects->Remove(dropped);
    dropped = Null;

    const std::size_t before = raw.received.size();
    ASSERT_TRUE(raw.PumpUntil(hub_, [&] { return raw.received.size() >= before + 4; }));
    Settle({hub_});
    raw.Service();
    ASSERT_EQ(raw.received.size(), before + 4);
    for (std::size_t i = 0; i < 4; ++i) {
      const Packet& packet = raw.received[before + i];
      EXPECT_EQ(packet[0], 0x20);
      EXPECT_EQ(packet[1], i + 1) << "changed in order " << testing::PrintToString(order);
    }
  }
}

}  // namespace
}  // namespace corvex
