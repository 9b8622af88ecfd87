// Shared objects: typed slots, the messages that carry their changes, the objects themselves,
// and the slot wire format (tagged records with half-precision floats).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/Array.h"
#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

class TOrbuHost;
class TOrbuPeer;

// Object states.
inline constexpr int32_t kOrbuCreated = 1;   // new since the last pump
inline constexpr int32_t kOrbuModified = 2;  // slots changed since the last pump
inline constexpr int32_t kOrbuClosed = 3;    // closed since the last pump; gone at the next
inline constexpr int32_t kOrbuSynced = 4;    // nothing pending
inline constexpr int32_t kOrbuMessage = 5;   // a message, not a shared object
inline constexpr int32_t kOrbuDead = -1;     // removed from its host

// Slot types; the tag byte of a packed record is type * 32 + slot index.
inline constexpr int32_t kOrbuUnset = 0;
inline constexpr int32_t kOrbuInt = 1;
inline constexpr int32_t kOrbuFloat = 2;
inline constexpr int32_t kOrbuString = 3;
inline constexpr int32_t kOrbuByte = 4;   // integers 0 to 255
inline constexpr int32_t kOrbuShort = 5;  // integers 256 to 65535

// Slots per object; the slot index fits the tag byte's low five bits.
inline constexpr int32_t kOrbuSlotCount = 32;
// Ids run from 1 to 4095; tables indexed by id have one entry more.
inline constexpr int32_t kOrbuIdCount = 4096;
// The most packed slot data one message may carry.
inline constexpr int32_t kOrbuMaxData = 65520;

// Half-precision encoding of a float: rounds to nearest with ties away from zero, overflows to
// infinity, flushes what lies below the smallest normal half to a signed zero; any NaN is 0xFFFF.
uint16_t FloatToOrbuHalf(float value) noexcept;
// The float of a half: zeros and NaNs read as 0.0, subnormals are widened.
float OrbuHalfToFloat(uint16_t half) noexcept;
// Whether `data` is a well-formed run of packed slot records that ends exactly at its end and
// fits in one message.
bool IsWellFormedOrbuData(const ByteArray& data) noexcept;
bool IsWellFormedOrbuData(std::span<const uint8_t> data) noexcept;
// The bytes of a byte array, as a span.
std::span<const uint8_t> OrbuBytes(const ByteArray& data) noexcept;

// One typed value of an object.
class TOrbuSlot : public Object {
 public:
  // Stores an integer; its type is 4 for 0 to 255, 5 for 256 to 65535, else 1.
  virtual void StoreInt(int32_t value);
  virtual void StoreFloat(float value);
  virtual void StoreString(const String& text);
  virtual int32_t IntValue();
  virtual float FloatValue();
  virtual String StringValue();

  // The slot's type and its value; only the field its type names is meaningful.
  int32_t type = kOrbuUnset;
  int32_t intValue = 0;
  float floatValue = 0.0f;
  String stringValue;
};

// The unit that travels: an object id, a state and packed slots.
class TOrbuMsg : public Object {
 public:
  // A message about object `msgId` in state `msgState` with its packed slots.
  TOrbuMsg(int32_t msgId, int32_t msgState, ByteArray slotData)
      : id(msgId), state(msgState), data(std::move(slotData)) {}

  // The object id, the state it reports and the packed slot records.
  int32_t id;
  int32_t state;
  ByteArray data;
};

// A shared object (or a message) of up to 32 slots, owned by the host that created it.
// Objects hold their host; the host's Shutdown lets go of its objects, which ends the cycle.
class TOrbuObject : public Object {
 public:
  ~TOrbuObject() override;

  // One of the object states above; kOrbuDead once removed from its host.
  virtual int32_t State();
  // Closes the object: a never-sent object dies at once, a sent one goes out as closed at the
  // next pump. Throws "Illegal object state" for a dead object or a message.
  virtual void Close();
  virtual void SetSlotInt(int32_t index, int32_t value);
  virtual void SetSlotFloat(int32_t index, float value);
  virtual void SetSlotString(int32_t index, const String& text);
  virtual int32_t SlotInt(int32_t index);
  virtual float SlotFloat(int32_t index);
  virtual String SlotString(int32_t index);
  // Marks slot `index` written (a synced object becomes modified) and answers it.
  virtual Ref<TOrbuSlot> TouchSlot(int32_t index);
  // What a pump sends for this object (Null for remote objects and when nothing is pending),
  // and moves the object on to its next state.
  virtual Ref<TOrbuMsg> TakeChanges();
  // As TakeChanges, but packs a local object's records into `records` (cleared first) and its
  // state into `sentState`; false when there is nothing to send.
  bool TakeChangesInto(std::vector<uint8_t>& records, int32_t& sentState);
  // Takes the message's slots and state.
  virtual void ApplyMsg(const Ref<TOrbuMsg>& msg);
  // Takes packed slot records and a state straight from a packet's bytes.
  void ApplyRecords(int32_t newState, std::span<const uint8_t> data);
  // A created message carrying every set slot.
  virtual Ref<TOrbuMsg> FullCreateMsg();
  // A closed message without data.
  virtual Ref<TOrbuMsg> CloseMsg();
  // This message's slots addressed to the object `targetId`.
  virtual Ref<TOrbuMsg> AddressedMsg(int32_t targetId);
  // The records of the set slots whose `mask` bit is set, in slot order. Throws "Orbu message
  // data too large" beyond 65520 bytes.
  virtual ByteArray PackSlots(int32_t mask);
  // As PackSlots, appending the records to `out`.
  void PackSlotsInto(int32_t mask, std::vector<uint8_t>& out);
  // Stores every record through the slot setters. Throws "Invalid Orbu data type" for an
  // unknown type and "Corrupt Orbu message" for a record that runs past the end; the records
  // before it stay applied.
  virtual void UnpackSlots(const ByteArray& data);
  void UnpackRecords(std::span<const uint8_t> data);
  // The bytes all set slots would pack to once well-formed `data` were unpacked (its records
  // sized as they stand), so that data from a peer can be refused before it makes the object
  // too large to pack.
  int32_t PackedSizeWith(std::span<const uint8_t> data) const;

  // An object of `host`, owned by `peer` (Null for the host's own) with 32 unset slots.
  static Ref<TOrbuObject> Create(int32_t id, int32_t state, const Ref<TOrbuHost>& host,
                                 const Ref<TOrbuPeer>& peer);

  // The id, state, host, owning peer (Null: this host's), the object a message is for, the
  // slots, and the bits of the slots written since the last pump.
  int32_t id = 0;
  int32_t state = 0;
  Ref<TOrbuHost> host;
  Ref<TOrbuPeer> peer;
  Ref<Object> target;
  Array<Ref<TOrbuSlot>> slots;
  int32_t modifiedMask = 0;

  // Where the object stands in its host's `objects` (0: not listed there), so that a pump
  // sends the changes it walks in creation order.
  int64_t listOrder = 0;
  // Whether the host's pump has the object among those with something pending.
  bool pending = false;
  // An upper bound of what the set slots pack to, kept by the host as peers' changes arrive;
  // -1 (unknown) once the program writes a slot.
  int32_t packedSizeBound = -1;

 private:
  // Tells a listed object's host that the object has left the synced state.
  void NotePending();
  // Marks slot `index` written, as TouchSlot does.
  void Touch(int32_t index);
  // TouchSlot without counting a reference: the object holds the slot.
  TOrbuSlot& TouchedSlot(int32_t index);
};

}  // namespace corvex
