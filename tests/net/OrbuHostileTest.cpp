// A hub serving two well-behaved clients while a raw ENet client sends it malformed,
// foreign and excessive packets: the hub drops them and goes on serving everyone else.
#include <gtest/gtest.h>

#include "net/OrbuHost.h"
#include "tests/net/OrbuRawPeer.h"
#include "tests/net/OrbuTestSupport.h"

namespace corvex {
namespace {

using orbutest::DialWhilePumping;
using orbutest::ObjectsOf;
using orbutest::PumpUntil;
using orbutest::RawPeer;
using orbutest::Settle;
using orbutest::ThrownText;

using Packet = std::vector<uint8_t>;

class OrbuHostileTest : public testing::Test {
 protected:
  void SetUp() override {
    hub_ = orbutest::NewHub();
    a_ = NewOrbuHost();
    b_ = NewOrbuHost();
    ASSERT_TRUE(DialWhilePumping(a_, hub_));
    ASSERT_TRUE(DialWhilePumping(b_, hub_));
    owned_ = NewOrbuObject(a_);
    PutOrbuInt(owned_, 0, 11);
    PutOrbuString(owned_, 1, "a's");
    ASSERT_TRUE(PumpUntil({a_, hub_, b_}, [&] { return b_->objects->Count() == 1; }));
    hubCopy_ = ObjectsOf(hub_->objects).front();
    bCopy_ = ObjectsOf(b_->objects).front();
    ASSERT_TRUE(hostile_.Connect(hub_));
  }
  void TearDown() override {
    for (const Ref<TOrbuHost>& host : {hub_, a_, b_}) ShutOrbuHost(host);
  }

  // Sends the packets from the hostile client and pumps everyone until they have surely arrived.
  void Inflict(const std::vector<Packet>& packets) {
    for (const Packet& packet : packets) hostile_.Send(packet);
    Settle({hub_, a_, b_}, 60);
  }
  // The well-behaved clients still see each other's changes.
  void ExpectStillServed(int32_t value) {
    PutOrbuInt(owned_, 0, value);
    EXPECT_TRUE(PumpUntil({a_, hub_, b_}, [&] { return FetchOrbuInt(bCopy_, 0) == value; }));
  }
  void ExpectUntouched() {
    for (const Ref<TOrbuObject>& copy : {hubCopy_, bCopy_}) {
      EXPECT_EQ(FetchOrbuInt(copy, 0), 11);
      EXPECT_EQ(FetchOrbuString(copy, 1), String("a's"));
      EXPECT_NE(copy->state, kOrbuDead);
    }
    EXPECT_TRUE(a_->messages->IsEmpty());
  }

  Ref<TOrbuHost> hub_, a_, b_;
  Ref<TOrbuObject> owned_, hubCopy_, bCopy_;
  RawPeer hostile_;
};

TEST_F(OrbuHostileTest, MalformedPacketsAreDropped) {
  Inflict({
      {},                     // empty
      {0x10},                 // no room for an id
      {0x00, 0x05, 0x80, 1},  // unknown states
      {0x40, 0x05, 0x80, 1},
      {0xF0, 0x05},
      {0x10, 0x00, 0x80, 1},           // id 0 names nothing
      {0x10, 0x01, 0x20, 0x00, 0x00},  // an integer that runs past the end
      {0x10, 0x02, 0xC3, 0x00},        // unknown slot types
      {0x10, 0x03, 0x05},
      {0x10, 0x04, 0x60, 0xFF, 0xFF, 'a'},  // a string longer than the packet
      {0x10, 0x05, 0x41},                   // half a float
  });
  EXPECT_EQ(hub_->objects->Count(), 1);
  EXPECT_TRUE(hub_->created->IsEmpty());
  EXPECT_EQ(b_->objects->Count(), 1);
  ExpectUntouched();
  ExpectStillServed(12);
}

TEST_F(OrbuHostileTest, ObjectsOfOthersAndUnknownIdsCannotBeTouched) {
  const auto hubId = static_cast<uint8_t>(hubCopy_->id);
  Inflict({
      {0x20, hubId, 0x80, 99},  // another peer's object, by the hub's id
      {0x30, hubId},
      {0x20, 0x0F, 0xFF, 0x80, 1},  // ids that name nothing
      {0x30, 0x0F, 0xFF},
      {0x20, 0x01, 0x80, 1},
      {0x50, 0x0F, 0xFF, 0x80, 1},  // a message to nothing
      {0x50, hubId, 0xE0, 0x00},    // a malformed message to a real object
  });
  EXPECT_EQ(hub_->objects->Count(), 1);
  ExpectUntouched();
  ExpectStillServed(13);

  // A well-formed message is a peer's right, and reaches the owner.
  hostile_.Send({0x50, hubId, 0x82, 7});
  ASSERT_TRUE(PumpUntil({hub_, a_}, [&] { return a_->messages->Count() == 1; }));
  EXPECT_EQ(OrbuMessageTarget(ObjectsOf(a_->messages).front()), owned_);
}

TEST_F(OrbuHostileTest, ARepeatedCreationIsIgnoredAndOwnObjectsStillWork) {
  Inflict({{0x10, 0x07, 0x80, 5}, {0x10, 0x07, 0x80, 6}});
  ASSERT_EQ(hub_->objects->Count(), 2);
  const Ref<TOrbuObject> theirs = ObjectsOf(hub_->objects).back();
  EXPECT_EQ(FetchOrbuInt(theirs, 0), 5);
  ASSERT_TRUE(PumpUntil({hub_, b_}, [&] { return b_->objects->Count() == 2; }));
  const Ref<TOrbuObject> bTheirs = ObjectsOf(b_->objects).back();

  Inflict({{0x20, 0x07, 0x80, 8}});
  EXPECT_EQ(FetchOrbuInt(theirs, 0), 8);
  EXPECT_EQ(FetchOrbuInt(bTheirs, 0), 8);
  Inflict({{0x30, 0x07}, {0x20, 0x07, 0x80, 9}});  // nothing is left to change after a close
  EXPECT_EQ(hub_->objects->Count(), 1);
  EXPECT_EQ(b_->objects->Count(), 1);
  EXPECT_EQ(FetchOrbuInt(bTheirs, 0), 8);
  ExpectUntouched();
}

TEST_F(OrbuHostileTest, WhatAPeerSendsUnreliablyIsRelayedReliablyUnderTheHubsId) {
  RawPeer watcher;
  ASSERT_TRUE(watcher.Connect(hub_));
  ASSERT_TRUE(watcher.PumpUntil(hub_, [&] { return watcher.received.size() == 1; }));  // the welcome
  hostile_.Send({0x10, 0x07, 0x80, 5}, ENET_PACKET_FLAG_UNSEQUENCED);
  hostile_.Send({0x20, 0x07, 0x80, 6}, 0);
  hostile_.Send({0x20, 0x07, 0x80, 7});
  ASSERT_TRUE(watcher.PumpUntil(hub_, [&] { return watcher.received.size() == 4; }));
  const auto hubId = static_cast<uint8_t>(ObjectsOf(hub_->objects).back()->id);
  ASSERT_NE(hubId, 0x07);
  const std::vector<Packet> relayed{{0x10, hubId, 0x80, 5}, {0x20, hubId, 0x80, 6}, {0x20, hubId, 0x80, 7}};
  EXPECT_EQ(std::vector<Packet>(watcher.received.begin() + 1, watcher.received.end()), relayed);
  for (const enet_uint32 flags : watcher.receivedFlags) EXPECT_EQ(flags, ENET_PACKET_FLAG_RELIABLE);
}

TEST_F(OrbuHostileTest, ThousandsOfCreationsCannotStopTheHub) {
  std::vector<Packet> flood;
  for (int i = 1; i <= 5000; ++i) {
    flood.push_back({static_cast<uint8_t>(0x10 + (i >> 8 & 0x0F)), static_cast<uint8_t>(i), 0x80, 1});
  }
  for (const Packet& packet : flood) hostile_.Send(packet);
  // The flooder is serviced too, so that ENet keeps its packets flowing.
  const auto flooded = [&] {
    hostile_.Service();
    return hub_->objects->Count() == 4095 && hub_->peers->Count() == 3;
  };
  ASSERT_TRUE(PumpUntil({hub_, a_, b_}, flooded)) << hub_->objects->Count();
  for (int i = 0; i < 100; ++i) {
    hostile_.Service();
    Settle({hub_, a_, b_}, 1);
  }
  // Every id is taken; the creations that found none were dropped, not relayed, and the pump
  // went on. The program's own creation still throws.
  EXPECT_EQ(hub_->objects->Count(), 4095);
  EXPECT_EQ(b_->objects->Count(), 4095);
  EXPECT_EQ(ThrownText([&] { NewOrbuObject(hub_); }), "Out of Orbu object IDs");
  ExpectUntouched();
  ExpectStillServed(14);

  // Once the flooder has gone its objects close everywhere and ids come free again.
  enet_peer_disconnect_now(hostile_.Host()->peers, 0);
  enet_host_flush(hostile_.Host());
  ASSERT_TRUE(
      PumpUntil({hub_, a_, b_}, [&] { return hub_->objects->Count() == 1 && b_->objects->Count() == 1; }));
  const Ref<TOrbuObject> later = NewOrbuObject(a_);
  EXPECT_TRUE(PumpUntil({a_, hub_, b_}, [&] { return b_->objects->Count() == 2; }));
}

TEST_F(OrbuHostileTest, APeerThatLeavesAsItArrivesIsForgotten) {
  RawPeer fleeting;
  fleeting.StartConnect(hub_->Port());
  ASSERT_TRUE(fleeting.PumpUntil(hub_, [&] { return fleeting.Connected(); }));
  // The hub learns of the connection and of the departure in one pump.
  enet_peer_disconnect_now(fleeting.Host()->peers, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  PumpOrbuHost(hub_);
  EXPECT_TRUE(PumpUntil({hub_}, [&] { return hub_->peers->Count() == 3; }));
  ExpectStillServed(16);
}

TEST_F(OrbuHostileTest, OversizedPacketsNeverReachTheHub) {
  RawPeer big;
  ASSERT_TRUE(big.Connect(hub_));
  Packet packet(100000, 0x80);
  packet[0] = 0x10;
  packet[1] = 0x01;
  big.Send(packet);
  for (int i = 0; i < 50; ++i) {
    big.Service();
    Settle({hub_, a_, b_}, 2);
  }
  EXPECT_EQ(hub_->objects->Count(), 1);
  ExpectUntouched();
  ExpectStillServed(15);
}

}  // namespace
}  // namespace corvex
