// Slots, half-precision floats, packed records and the object states, without a network.
#include <gtest/gtest.h>

#include <vector>

#include <bit>
#include <cmath>
#include <limits>

#include "net/OrbuHost.h"
#include "net/OrbuObject.h"
#include "tests/net/OrbuTestSupport.h"

namespace corvex {
namespace {

using orbutest::Bytes;
using orbutest::ThrownText;
using orbutest::ToArray;

class OrbuWireTest : public testing::Test {
 protected:
  void SetUp() override {
    InitOrbuModule();
    host_ = NewOrbuHost();
  }
  void TearDown() override { ShutOrbuHost(host_); }

  Ref<TOrbuObject> Local(int32_t id, int32_t state = kOrbuCreated) {
    return TOrbuObject::Create(id, state, host_, Null);
  }

  Ref<TOrbuHost> host_;
};

TEST(OrbuSlotTest, StoreIntPicksTheNarrowestType) {
  const auto typeOf = [](int32_t value) {
    TOrbuSlot slot;
    slot.StoreInt(value);
    EXPECT_EQ(slot.IntValue(), value);
    return slot.type;
  };
  EXPECT_EQ(typeOf(-1), kOrbuInt);
  EXPECT_EQ(typeOf(std::numeric_limits<int32_t>::min()), kOrbuInt);
  EXPECT_EQ(typeOf(0), kOrbuByte);
  EXPECT_EQ(typeOf(255), kOrbuByte);
  EXPECT_EQ(typeOf(256), kOrbuShort);
  EXPECT_EQ(typeOf(65535), kOrbuShort);
  EXPECT_EQ(typeOf(65536), kOrbuInt);

  TOrbuSlot slot;
  EXPECT_EQ(slot.type, kOrbuUnset);
  slot.StoreFloat(2.5f);
  EXPECT_EQ(slot.type, kOrbuFloat);
  slot.StoreString("hi");
  EXPECT_EQ(slot.type, kOrbuString);
  EXPECT_EQ(slot.StringValue(), String("hi"));
}

TEST(OrbuHalfTest, PacksWithRoundingOverflowAndFlushing) {
  EXPECT_EQ(FloatToOrbuHalf(1.0f), 0x3C00);
  EXPECT_EQ(FloatToOrbuHalf(-2.5f), 0xC100);
  EXPECT_EQ(FloatToOrbuHalf(65504.0f), 0x7BFF);
  EXPECT_EQ(FloatToOrbuHalf(65520.0f), 0x7C00);
  EXPECT_EQ(FloatToOrbuHalf(1.0e9f), 0x7C00);
  EXPECT_EQ(FloatToOrbuHalf(-70000.0f), 0xFC00);
  EXPECT_EQ(FloatToOrbuHalf(1.0e-6f), 0x0000);
  EXPECT_EQ(FloatToOrbuHalf(-1.0e-6f), 0x8000);
  EXPECT_EQ(FloatToOrbuHalf(0x1p-14f), 0x0400);  // the smallest normal half
  EXPECT_EQ(FloatToOrbuHalf(0x1p-15f), 0x0000);  // halves below it are not made
  EXPECT_EQ(FloatToOrbuHalf(0.0f), 0x0000);
  EXPECT_EQ(FloatToOrbuHalf(-0.0f), 0x8000);
  EXPECT_EQ(FloatToOrbuHalf(std::numeric_limits<float>::infinity()), 0x7C00);
  EXPECT_EQ(FloatToOrbuHalf(-std::numeric_limits<float>::infinity()), 0xFC00);
  EXPECT_EQ(FloatToOrbuHalf(std::numeric_limits<float>::quiet_NaN()), 0xFFFF);
  EXPECT_EQ(FloatToOrbuHalf(std::numeric_limits<float>::denorm_min()), 0x0000);
  // Ties go away from zero; just below a tie goes down.
  EXPECT_EQ(FloatToOrbuHalf(1.0f + 0x1p-11f), 0x3C01);
  EXPECT_EQ(FloatToOrbuHalf(1.0f + 0x1p-11f - 0x1p-23f), 0x3C00);
  EXPECT_EQ(FloatToOrbuHalf(-(1.0f + 0x1p-11f)), 0xBC01);
  // A carry out of the fraction moves the exponent up.
  EXPECT_EQ(FloatToOrbuHalf(2.0f - 0x1p-12f), 0x4000);
}

TEST(OrbuHalfTest, ReadsZerosInfinitiesNaNsAndSubnormals) {
  EXPECT_EQ(OrbuHalfToFloat(0x3C00), 1.0f);
  EXPECT_EQ(OrbuHalfToFloat(0xC100), -2.5f);
  EXPECT_EQ(OrbuHalfToFloat(0x7BFF), 65504.0f);
  EXPECT_EQ(OrbuHalfToFloat(0x7C00), std::numeric_limits<float>::infinity());
  EXPECT_EQ(OrbuHalfToFloat(0xFC00), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(std::bit_cast<uint32_t>(OrbuHalfToFloat(0x8000)), 0u);  // +0.0 for both zeros
  EXPECT_EQ(std::bit_cast<uint32_t>(OrbuHalfToFloat(0xFFFF)), 0u);  // NaNs read as 0.0
  EXPECT_EQ(std::bit_cast<uint32_t>(OrbuHalfToFloat(0x7E00)), 0u);
  EXPECT_EQ(OrbuHalfToFloat(0x0001), 0x1p-24f);
  EXPECT_EQ(OrbuHalfToFloat(0x03FF), 1023 * 0x1p-24f);
  EXPECT_EQ(OrbuHalfToFloat(0x8001), -0x1p-24f);
  EXPECT_EQ(OrbuHalfToFloat(0x0400), 0x1p-14f);
}

TEST(OrbuHalfTest, EveryNormalHalfSurvivesTheRoundTrip) {
  for (uint32_t half = 0; half <= 0xFFFF; ++half) {
    const uint32_t field = half >> 10 & 0x1F;
    if (field == 0 || field == 31) continue;
    ASSERT_EQ(FloatToOrbuHalf(OrbuHalfToFloat(static_cast<uint16_t>(half))), half) << std::hex << half;
  }
}

TEST_F(OrbuWireTest, FirstChangesOfANewObjectAreTheDocumentedRecords) {
  const Ref<TOrbuObject> object = Local(10);
  object->SetSlotInt(3, 7);
  object->SetSlotString(0, "hi");
  const Ref<TOrbuMsg> msg = object->TakeChanges();
  ASSERT_TRUE(msg);
  EXPECT_EQ(msg->id, 10);
  EXPECT_EQ(msg->state, kOrbuCreated);
  EXPECT_EQ(Bytes(msg->data), (std::vector<uint8_t>{0x60, 0x00, 0x02, 0x68, 0x69, 0x83, 0x07}));
  EXPECT_EQ(object->state, kOrbuSynced);
  EXPECT_EQ(object->modifiedMask, 0);
}

TEST_F(OrbuWireTest, PacksEveryTypeInSlotOrderUnderTheMask) {
  const Ref<TOrbuObject> object = Local(1);
  object->SetSlotInt(31, -2);
  object->SetSlotFloat(2, -2.5f);
  object->SetSlotInt(4, 0x1234);
  object->SetSlotInt(1, 200);
  object->SetSlotString(5, String(std::u16string{u'A', u'\u0142'}));  // keeps the low byte
  EXPECT_EQ(Bytes(object->PackSlots(-1)),
            (std::vector<uint8_t>{0x81, 200, 0x42, 0xC1, 0x00, 0xA4, 0x12, 0x34, 0x65, 0x00, 0x02, 'A', 0x42,
                                  0x3F, 0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(Bytes(object->PackSlots(1 << 2 | 1 << 7)), (std::vector<uint8_t>{0x42, 0xC1, 0x00}));
  EXPECT_TRUE(object->PackSlots(0).IsEmpty());
}

TEST_F(OrbuWireTest, PackedDataStopsAt65520Bytes) {
  const Ref<TOrbuObject> object = Local(1);
  object->SetSlotString(0, String(std::u16string(65517, u'x')));
  EXPECT_EQ(object->PackSlots(-1).Length(), 65520);
  object->SetSlotInt(1, 1);
  EXPECT_EQ(ThrownText([&] { object->PackSlots(-1); }), "Orbu message data too large");
  EXPECT_EQ(object->PackSlots(1).Length(), 65520);  // only slot 0 under the mask
}

TEST_F(OrbuWireTest, UnpackingGoesThroughTheSetters) {
  const Ref<TOrbuObject> object = Local(1, kOrbuSynced);
  object->UnpackSlots(ToArray({0xA0, 0x00, 0x07, 0x21, 0x80, 0x00, 0x00, 0x00, 0x43, 0x3C, 0x00, 0x64, 0x00,
                               0x02, 0xE9, 0x21, 0x85, 0xFF}));
  EXPECT_EQ(object->SlotInt(0), 7);
  EXPECT_EQ(object->slots[0]->type, kOrbuByte);  // the type follows from the value again
  EXPECT_EQ(object->SlotInt(1), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(object->SlotFloat(3), 1.0f);
  EXPECT_EQ(object->SlotString(4), String(std::u16string{u'\u00E9', u'!'}));
  EXPECT_EQ(object->SlotInt(5), 255);
  EXPECT_EQ(object->modifiedMask, 0b111011);
  EXPECT_EQ(object->state, kOrbuModified);
}

TEST_F(OrbuWireTest, UnpackingRejectsUnknownTypesAndOverrunningRecords) {
  const Ref<TOrbuObject> object = Local(1);
  for (const uint8_t tag : {0x00, 0x1F, 0xC0, 0xE5}) {
    EXPECT_EQ(ThrownText([&] { object->UnpackSlots(ToArray({tag, 0x00})); }), "Invalid Orbu data type");
  }
  EXPECT_EQ(ThrownText([&] {
              object->UnpackSlots(ToArray({0x20, 0x00, 0x00, 0x01}));
            }),
            "Corrupt Orbu message");
  EXPECT_EQ(ThrownText([&] { object->UnpackSlots(ToArray({0x60, 0x00})); }), "Corrupt Orbu message");
  EXPECT_EQ(ThrownText([&] {
              object->UnpackSlots(ToArray({0x80, 0x05, 0x61, 0xFF, 0xFF, 'a'}));
            }),
            "Corrupt Orbu message");
  EXPECT_EQ(object->SlotInt(0), 5);  // the record before the bad one stays applied
  EXPECT_TRUE(object->slots[1]->stringValue.IsEmpty());

  EXPECT_TRUE(IsWellFormedOrbuData(ByteArray()));
  EXPECT_TRUE(IsWellFormedOrbuData(ToArray({0x80, 0x05, 0x61, 0x00, 0x01, 'a'})));
  EXPECT_FALSE(IsWellFormedOrbuData(ToArray({0x80, 0x05, 0x61, 0x00, 0x02, 'a'})));
  EXPECT_FALSE(IsWellFormedOrbuData(ToArray({0xC0, 0x05})));
  EXPECT_FALSE(IsWellFormedOrbuData(ToArray({0x40, 0x3C})));
  EXPECT_FALSE(IsWellFormedOrbuData(ByteArray::FromVector(std::vector<uint8_t>(65522, 0x80))));
}

TEST_F(OrbuWireTest, CloseMovesThroughTheStates) {
  const auto closed = [&](int32_t state) {
    const Ref<TOrbuObject> object = Local(1, state);
    object->Close();
    return object->state;
  };
  EXPECT_EQ(closed(kOrbuCreated), kOrbuDead);
  EXPECT_EQ(closed(kOrbuModified), kOrbuClosed);
  EXPECT_EQ(closed(kOrbuSynced), kOrbuClosed);
  EXPECT_EQ(closed(kOrbuClosed), kOrbuClosed);
  for (const int32_t state : {kOrbuDead, kOrbuMessage, 0}) {
    EXPECT_EQ(ThrownText([&] { closed(state); }), "Illegal object state") << state;
  }
}

TEST_F(OrbuWireTest, TakeChangesSendsOnlyForLocalObjects) {
  const Ref<TOrbuObject> synced = Local(1, kOrbuSynced);
  EXPECT_FALSE(synced->TakeChanges());
  synced->SetSlotInt(0, 1);
  EXPECT_EQ(synced->state, kOrbuModified);
  const Ref<TOrbuMsg> change = synced->TakeChanges();
  ASSERT_TRUE(change);
  EXPECT_EQ(change->state, kOrbuModified);
  EXPECT_EQ(Bytes(change->data), (std::vector<uint8_t>{0x80, 0x01}));

  synced->target = New<TStringObject>("mine");
  synced->Close();
  const Ref<TOrbuMsg> close = synced->TakeChanges();
  ASSERT_TRUE(close);
  EXPECT_EQ(close->state, kOrbuClosed);
  EXPECT_TRUE(close->data.IsEmpty());
  EXPECT_EQ(synced->state, kOrbuDead);
  EXPECT_FALSE(synced->target);
  EXPECT_FALSE(synced->TakeChanges());

  const Ref<TOrbuObject> remote = TOrbuObject::Create(2, kOrbuModified, host_, TOrbuPeer::Create(nullptr));
  remote->SetSlotInt(0, 1);
  EXPECT_FALSE(remote->TakeChanges());
  EXPECT_EQ(remote->state, kOrbuSynced);
  EXPECT_EQ(remote->modifiedMask, 0);
}

TEST_F(OrbuWireTest, WholeObjectMessages) {
  const Ref<TOrbuObject> object = Local(7, kOrbuSynced);
  object->SetSlotInt(1, 1);
  object->SetSlotInt(2, 2);
  object->modifiedMask = 0;
  const Ref<TOrbuMsg> full = object->FullCreateMsg();
  EXPECT_EQ(full->state, kOrbuCreated);
  EXPECT_EQ(Bytes(full->data), (std::vector<uint8_t>{0x81, 1, 0x82, 2}));
  EXPECT_EQ(object->CloseMsg()->state, kOrbuClosed);
  EXPECT_TRUE(object->CloseMsg()->data.IsEmpty());
  const Ref<TOrbuMsg> addressed = object->AddressedMsg(99);
  EXPECT_EQ(addressed->id, 99);
  EXPECT_EQ(addressed->state, kOrbuMessage);
  EXPECT_EQ(Bytes(addressed->data), Bytes(full->data));
}

TEST_F(OrbuWireTest, SlotIndicesOutsideTheObjectThrow) {
  const Ref<TOrbuObject> object = Local(1);
  EXPECT_THROW(object->SetSlotInt(32, 1), TArrayBoundsException);
  EXPECT_THROW(object->SlotInt(-1), TArrayBoundsException);
  EXPECT_EQ(object->modifiedMask, 0);
}

TEST(OrbuPeerTest, ReceiveTranslatesIdsExceptForMessages) {
  const Ref<TOrbuPeer> peer = TOrbuPeer::Create(nullptr);
  peer->MapId(5, 0x123);
  EXPECT_EQ(peer->localToRemote[5], 0x123);
  EXPECT_EQ(peer->remoteToLocal[0x123], 5);

  const uint8_t modified[] = {0x21, 0x23, 0x80, 0x09};
  const Ref<TOrbuMsg> msg = peer->Receive(modified);
  EXPECT_EQ(msg->id, 5);
  EXPECT_EQ(msg->state, kOrbuModified);
  EXPECT_EQ(Bytes(msg->data), (std::vector<uint8_t>{0x80, 0x09}));

  const uint8_t message[] = {0x51, 0x23};
  EXPECT_EQ(peer->Receive(message)->id, 0x123);
  EXPECT_TRUE(peer->Receive(message)->data.IsEmpty());
  const uint8_t unmapped[] = {0x3F, 0xFF};
  EXPECT_EQ(peer->Receive(unmapped)->id, 4095);
  const uint8_t shortPacket[] = {0x10};
  EXPECT_FALSE(peer->Receive(shortPacket));
  EXPECT_FALSE(peer->Receive({}));

  peer->UnmapId(5);
  EXPECT_EQ(peer->localToRemote[5], 0);
  EXPECT_EQ(peer->remoteToLocal[0x123], 0);
}

TEST_F(OrbuWireTest, IdsAreTheLowestFreeUpTo4095) {
  std::vector<Ref<TOrbuObject>> made;
  for (int32_t i = 0; i < 4095; ++i) made.push_back(NewOrbuObject(host_));
  EXPECT_EQ(made.front()->id, 1);
  EXPECT_EQ(made.back()->id, 4095);
  EXPECT_EQ(ThrownText([&] { NewOrbuObject(host_); }), "Out of Orbu object IDs");
  EXPECT_EQ(host_->objects->Count(), 4095);

  RetireOrbuObject(made[99]);  // never sent: dies at once, its id comes free at the pump
  PumpOrbuHost(host_);
  EXPECT_EQ(NewOrbuObject(host_)->id, 100);
}

TEST_F(OrbuWireTest, AClosedNewObjectLeavesAtThePumpWithoutATrace) {
  const Ref<TOrbuObject> object = NewOrbuObject(host_);
  PutOrbuInt(object, 0, 1);
  RetireOrbuObject(object);
  EXPECT_EQ(OrbuObjectStateOf(object), kOrbuDead);
  PumpOrbuHost(host_);
  EXPECT_TRUE(host_->objects->IsEmpty());
  EXPECT_FALSE(host_->byId[object->id]);
}

// The pump's step for one received packet, driven without a connection (as the fuzzer does).
TEST_F(OrbuWireTest, PacketsFromAPeerAreCheckedThenApplied) {
  const Ref<TOrbuPeer> peer = host_->AttachPeer(nullptr);
  const Ref<TOrbuPeer> other = host_->AttachPeer(nullptr);
  const uint8_t created[] = {0x10, 0x0A, 0x60, 0x00, 0x02, 0x68, 0x69, 0x83, 0x07};
  host_->HandleReceive(peer, created);
  ASSERT_EQ(host_->created->Count(), 1);
  const Ref<TOrbuObject> object(static_cast<TOrbuObject*>(host_->created->First().Get()));
  EXPECT_EQ(object->id, 1);
  EXPECT_EQ(object->peer, peer);
  EXPECT_EQ(FetchOrbuString(object, 0), String("hi"));
  EXPECT_EQ(FetchOrbuInt(object, 3), 7);

  const uint8_t truncated[] = {0x20, 0x0A, 0x83};       // a byte record without its value
  const uint8_t unknownType[] = {0x20, 0x0A, 0xE0, 0};  // type 7
  const uint8_t modified[] = {0x20, 0x0A, 0x83, 0x09};
  host_->HandleReceive(peer, truncated);
  host_->HandleReceive(peer, unknownType);
  host_->HandleReceive(other, modified);  // not the owner
  EXPECT_EQ(FetchOrbuInt(object, 3), 7);
  EXPECT_TRUE(host_->modified->IsEmpty());
  host_->HandleReceive(peer, modified);
  EXPECT_EQ(FetchOrbuInt(object, 3), 9);
  EXPECT_EQ(host_->modified->Count(), 1);
}

TEST_F(OrbuWireTest, APeerCannotGrowAnObjectPastWhatPacks) {
  const Ref<TOrbuPeer> peer = host_->AttachPeer(nullptr);
  // A state byte, the id, and one string record of 40000 bytes in slot `index`.
  const auto packet = [](uint8_t state, uint8_t index) {
    std::vector<uint8_t> bytes = {state, 0x0A, static_cast<uint8_t>(0x60 + index), 0x9C, 0x40};
    bytes.resize(bytes.size() + 40000, 'x');
    return bytes;
  };
  host_->HandleReceive(peer, packet(0x10, 0));
  ASSERT_EQ(host_->created->Count(), 1);
  const Ref<TOrbuObject> object(static_cast<TOrbuObject*>(host_->created->First().Get()));
  host_->HandleReceive(peer, packet(0x20, 1));  // together 80006 bytes: dropped
  EXPECT_EQ(FetchOrbuString(object, 1), String(""));
  EXPECT_TRUE(host_->modified->IsEmpty());
  EXPECT_EQ(object->FullCreateMsg()->data.Length(), 40003);  // what a newcomer's welcome packs
  host_->HandleReceive(peer, packet(0x20, 0));               // replaces slot 0: still fits
  EXPECT_EQ(host_->modified->Count(), 1);
}

}  // namespace
}  // namespace corvex
