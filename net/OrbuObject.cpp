#include "net/OrbuObject.h"

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>
#include <span>
#include <vector>

#include "net/OrbuHost.h"
#include "runtime/Exceptions.h"

namespace corvex {
namespace {

constexpr int32_t kAllSlots = -1;

// Bytes a record of the slot takes, tag included; 0 for an unset slot.
int32_t RecordSize(const TOrbuSlot& slot) {
  switch (slot.type) {
    case kOrbuInt:
      return 5;
    case kOrbuFloat:
    case kOrbuShort:
      return 3;
    case kOrbuByte:
      return 2;
    case kOrbuString:
      return 3 + slot.stringValue.Length();
    default:
      return 0;
  }
}

// Value bytes after the tag of a fixed-size record type; 0 for strings and unknown types.
int32_t FixedValueSize(int32_t type) {
  switch (type) {
    case kOrbuInt:
      return 4;
    case kOrbuFloat:
    case kOrbuShort:
      return 2;
    case kOrbuByte:
      return 1;
    default:
      return 0;
  }
}

// One record of packed slot data: slot index, type, value (for a string, its length) and, for
// a string, where its bytes start.
struct Record {
  int32_t index;
  int32_t type;
  uint32_t value;
  const uint8_t* text;
};

// How a walk over packed slot data ended.
enum class RecordsEnd { kWhole, kInvalidType, kCorrupt };

// Hands each whole record of packed slot data to `take`, in order, never reading past the end;
// stops at the first record of an unknown type or one that runs past the end.
template <class Take>
RecordsEnd WalkRecords(std::span<const uint8_t> data, Take&& take) {
  const uint8_t* at = data.data();
  const uint8_t* const end = at + data.size();
  while (at != end) {
    Record record{*at % 32, *at / 32, 0, nullptr};
    ++at;
    const int32_t size = record.type == kOrbuString ? 2 : FixedValueSize(record.type);
    if (size == 0) return RecordsEnd::kInvalidType;
    if (end - at < size) return RecordsEnd::kCorrupt;
    switch (size) {
      case 1:
        record.value = at[0];
        break;
      case 2:
        record.value = static_cast<uint32_t>(at[0] << 8 | at[1]);
        break;
      default:
        record.value = static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
                       static_cast<uint32_t>(at[2]) << 8 | at[3];
    }
    at += size;
    if (record.type == kOrbuString) {
      if (static_cast<uint32_t>(end - at) < record.value) return RecordsEnd::kCorrupt;
      record.text = at;
      at += record.value;
    }
    take(record);
  }
  return RecordsEnd::kWhole;
}

// Writes the low `count` bytes of `value`, most significant first; answers the byte after them.
uint8_t* PutBigEndian(uint8_t* out, uint32_t value, int32_t count) {
  for (int32_t shift = (count - 1) * 8; shift >= 0; shift -= 8) *out++ = static_cast<uint8_t>(value >> shift);
  return out;
}

}  // namespace

uint16_t FloatToOrbuHalf(float value) noexcept {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint16_t sign = static_cast<uint16_t>(bits >> 16 & 0x8000u);
  const uint32_t field = bits >> 23 & 0xFFu;
  uint32_t fraction = bits & 0x7FFFFFu;
  if ((bits & 0x7FFFFFFFu) == 0) return sign;
  if (field == 255) return fraction != 0 ? 0xFFFF : static_cast<uint16_t>(sign | 0x7C00u);
  int32_t exponent = static_cast<int32_t>(field) - 127;
  fraction += 1u << 12;  // round at the bit below the ten that remain, ties away from zero
  if (fraction & 0x800000u) {
    fraction &= 0x7FFFFFu;
    ++exponent;
  }
  if (exponent > 15) return static_cast<uint16_t>(sign | 0x7C00u);
  if (exponent < -14) return sign;
  return static_cast<uint16_t>(sign | static_cast<uint32_t>(exponent + 15) << 10 | fraction >> 13);
}

float OrbuHalfToFloat(uint16_t half) noexcept {
  const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
  const uint32_t field = half >> 10 & 0x1Fu;
  const uint32_t fraction = half & 0x3FFu;
  if ((half & 0x7FFFu) == 0) return 0.0f;
  if (field == 31) return fraction == 0 ? std::bit_cast<float>(sign | 0x7F800000u) : 0.0f;
  if (field == 0) {
    const float magnitude = static_cast<float>(fraction) * 0x1p-24f;
    return sign ? -magnitude : magnitude;
  }
  return std::bit_cast<float>(sign | (field - 15 + 127) << 23 | fraction << 13);
}

std::span<const uint8_t> OrbuBytes(const ByteArray& data) noexcept {
  return {data.Data(), static_cast<std::size_t>(data.Length())};
}

bool IsWellFormedOrbuData(const ByteArray& data) noexcept {
  return IsWellFormedOrbuData(OrbuBytes(data));
}

bool IsWellFormedOrbuData(std::span<const uint8_t> data) noexcept {
  return data.size() <= static_cast<std::size_t>(kOrbuMaxData) &&
         WalkRecords(data, [](const Record&) {}) == RecordsEnd::kWhole;
}

void TOrbuSlot::StoreInt(int32_t value) {
  intValue = value;
  if (value < 0) {
    type = kOrbuInt;
  } else if (value <= 255) {
    type = kOrbuByte;
  } else if (value <= 65535) {
    type = kOrbuShort;
  } else {
    type = kOrbuInt;
  }
}

void TOrbuSlot::StoreFloat(float value) {
  floatValue = value;
  type = kOrbuFloat;
}

void TOrbuSlot::StoreString(const String& text) {
  stringValue = text;
  type = kOrbuString;
}

int32_t TOrbuSlot::IntValue() {
  return intValue;
}

float TOrbuSlot::FloatValue() {
  return floatValue;
}

String TOrbuSlot::StringValue() {
  return stringValue;
}

TOrbuObject::~TOrbuObject() {
  if (pending && host) host->ForgetPending(*this);
}

int32_t TOrbuObject::State() {
  return state;
}

void TOrbuObject::Close() {
  switch (state) {
    case kOrbuCreated:
      state = kOrbuDead;
      break;
    case kOrbuModified:
    case kOrbuSynced:
      state = kOrbuClosed;
      NotePending();
      break;
    case kOrbuClosed:
      break;
    default:
      throw TThrownString("Illegal object state");
  }
}

void TOrbuObject::NotePending() {
  if (listOrder != 0 && !pending && host) host->MarkPending(*this);
}

void TOrbuObject::SetSlotInt(int32_t index, int32_t value) {
  TouchedSlot(index).StoreInt(value);
}

void TOrbuObject::SetSlotFloat(int32_t index, float value) {
  TouchedSlot(index).StoreFloat(value);
}

void TOrbuObject::SetSlotString(int32_t index, const String& text) {
  TouchedSlot(index).StoreString(text);
}

int32_t TOrbuObject::SlotInt(int32_t index) {
  return slots[index]->IntValue();
}

float TOrbuObject::SlotFloat(int32_t index) {
  return slots[index]->FloatValue();
}

String TOrbuObject::SlotString(int32_t index) {
  return slots[index]->StringValue();
}

Ref<TOrbuSlot> TOrbuObject::TouchSlot(int32_t index) {
  return Ref<TOrbuSlot>(&TouchedSlot(index));
}

TOrbuSlot& TOrbuObject::TouchedSlot(int32_t index) {
  TOrbuSlot& slot = *slots[index];  // bounds-checked before the index becomes a shift
  Touch(index);
  return slot;
}

void TOrbuObject::Touch(int32_t index) {
  modifiedMask = static_cast<int32_t>(static_cast<uint32_t>(modifiedMask) | 1u << index);
  packedSizeBound = -1;
  if (state == kOrbuSynced) {
    state = kOrbuModified;
    NotePending();
  }
}

Ref<TOrbuMsg> TOrbuObject::TakeChanges() {
  std::vector<uint8_t> records;
  int32_t sentState = 0;
  if (!TakeChangesInto(records, sentState)) return Null;
  return New<TOrbuMsg>(id, sentState, ByteArray::FromVector(std::move(records)));
}

bool TOrbuObject::TakeChangesInto(std::vector<uint8_t>& records, int32_t& sentState) {
  if (state == kOrbuSynced || state == kOrbuDead) return false;
  const bool local = !peer;
  if (local) {
    records.clear();
    PackSlotsInto(modifiedMask, records);
    sentState = state;
  }
  modifiedMask = 0;
  if (state == kOrbuCreated || state == kOrbuModified) {
    state = kOrbuSynced;
  } else if (state == kOrbuClosed) {
    target = Null;
    state = kOrbuDead;
  }
  return local;
}

void TOrbuObject::ApplyMsg(const Ref<TOrbuMsg>& msg) {
  ApplyRecords(msg->state, OrbuBytes(msg->data));
}

void TOrbuObject::ApplyRecords(int32_t newState, std::span<const uint8_t> data) {
  UnpackRecords(data);
  state = newState;
  if (state != kOrbuSynced) NotePending();
}

Ref<TOrbuMsg> TOrbuObject::FullCreateMsg() {
  return New<TOrbuMsg>(id, kOrbuCreated, PackSlots(kAllSlots));
}

Ref<TOrbuMsg> TOrbuObject::CloseMsg() {
  return New<TOrbuMsg>(id, kOrbuClosed, PackSlots(0));
}

Ref<TOrbuMsg> TOrbuObject::AddressedMsg(int32_t targetId) {
  return New<TOrbuMsg>(targetId, kOrbuMessage, PackSlots(kAllSlots));
}

ByteArray TOrbuObject::PackSlots(int32_t mask) {
  std::vector<uint8_t> out;
  PackSlotsInto(mask, out);
  return ByteArray::FromVector(std::move(out));
}

void TOrbuObject::PackSlotsInto(int32_t mask, std::vector<uint8_t>& out) {
  // Only the slots the mask names are visited, lowest first; those with a record are sized
  // first and then written in place.
  std::array<const TOrbuSlot*, kOrbuSlotCount> recorded;
  std::array<int32_t, kOrbuSlotCount> indices;
  int32_t count = 0;
  int32_t total = 0;
  for (auto rest = static_cast<uint32_t>(mask); rest != 0; rest &= rest - 1) {
    const int32_t index = std::countr_zero(rest);
    const TOrbuSlot& slot = *slots[index];
    const int32_t size = RecordSize(slot);
    if (size == 0) continue;  // unset, or a type no record exists for
    total += size;
    if (total > kOrbuMaxData) throw TThrownString("Orbu message data too large");
    recorded[count] = &slot;
    indices[count++] = index;
  }
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(total));
  uint8_t* at = out.data() + start;
  for (int32_t i = 0; i < count; ++i) {
    const TOrbuSlot& slot = *recorded[i];
    const int32_t index = indices[i];
    *at++ = static_cast<uint8_t>(slot.type * 32 + index);
    const auto value = static_cast<uint32_t>(slot.intValue);
    switch (slot.type) {
      case kOrbuInt:
        at = PutBigEndian(at, value, 4);
        break;
      case kOrbuFloat:
        at = PutBigEndian(at, FloatToOrbuHalf(slot.floatValue), 2);
        break;
      case kOrbuShort:
        at = PutBigEndian(at, value, 2);
        break;
      case kOrbuByte:
        *at++ = static_cast<uint8_t>(value);
        break;
      case kOrbuString: {
        const int32_t length = slot.stringValue.Length();
        at = PutBigEndian(at, static_cast<uint32_t>(length), 2);
        at = std::transform(slot.stringValue.Data(), slot.stringValue.Data() + length, at,
                            [](char16_t unit) { return static_cast<uint8_t>(unit); });  // low bytes
        break;
      }
    }
  }
}

void TOrbuObject::UnpackSlots(const ByteArray& data) {
  UnpackRecords(OrbuBytes(data));
}

void TOrbuObject::UnpackRecords(std::span<const uint8_t> data) {
  const RecordsEnd end = WalkRecords(data, [this](const Record& record) {
    TOrbuSlot& slot = *slots[record.index];
    switch (record.type) {
      case kOrbuString: {
        const String text = String::FromBytes(record.text, record.value);
        Touch(record.index);
        slot.StoreString(text);
        break;
      }
      case kOrbuFloat:
        Touch(record.index);
        slot.StoreFloat(OrbuHalfToFloat(static_cast<uint16_t>(record.value)));
        break;
      default:
        Touch(record.index);
        slot.StoreInt(static_cast<int32_t>(record.value));
    }
  });
  if (end == RecordsEnd::kInvalidType) throw TThrownString("Invalid Orbu data type");
  if (end == RecordsEnd::kCorrupt) throw TThrownString("Corrupt Orbu message");
}

int32_t TOrbuObject::PackedSizeWith(std::span<const uint8_t> data) const {
  std::array<int32_t, kOrbuSlotCount> sizes{};
  for (int32_t index = 0; index < kOrbuSlotCount; ++index) sizes[index] = RecordSize(*slots[index]);
  // Data from a peer is checked before it is sized, so the walk ends only at its end.
  WalkRecords(data, [&sizes](const Record& record) {
    sizes[record.index] =
        record.type == kOrbuString ? 3 + static_cast<int32_t>(record.value) : 1 + FixedValueSize(record.type);
  });
  return std::accumulate(sizes.begin(), sizes.end(), 0);
}

Ref<TOrbuObject> TOrbuObject::Create(int32_t id, int32_t state, const Ref<TOrbuHost>& host,
                                     const Ref<TOrbuPeer>& peer) {
  Ref<TOrbuObject> object = New<TOrbuObject>();
  object->id = id;
  object->state = state;
  object->host = host;
  object->peer = peer;
  object->slots = Array<Ref<TOrbuSlot>>(kOrbuSlotCount);
  for (Ref<TOrbuSlot>& slot : object->slots) slot = New<TOrbuSlot>();
  return object;
}

}  // namespace corvex
