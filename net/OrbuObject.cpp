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

// Reads big-endian records from packed slot data, never past its end.
class RecordReader {
 public:
  explicit RecordReader(std::span<const uint8_t> data)
      : bytes_(data.data()), size_(static_cast<int32_t>(data.size())) {}

  bool AtEnd() const { return at_ == size_; }
  // The next `count` bytes (1, 2 or 4) as an unsigned big-endian number; false when they run
  // past the end.
  bool Take(int32_t count, uint32_t& value) {
    if (count > size_ - at_) return false;
    const uint8_t* bytes = bytes_ + at_;
    at_ += count;
    switch (count) {
      case 1:
        value = bytes[0];
        break;
      case 2:
        value = static_cast<uint32_t>(bytes[0] << 8 | bytes[1]);
        break;
      default:
        value = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    }
    return true;
  }
  // The next `count` bytes, widened one to one.
  bool TakeText(int32_t count, String& text) {
    if (count > size_ - at_) return false;
    text = String::FromBytes(bytes_ + at_, static_cast<std::size_t>(count));
    at_ += count;
    return true;
  }
  // Skips `count` bytes.
  bool Skip(int32_t count) {
    if (count > size_ - at_) return false;
    at_ += count;
    return true;
  }

 private:
  const uint8_t* bytes_;
  int32_t size_;
  int32_t at_ = 0;
};

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
  if (data.size() > static_cast<std::size_t>(kOrbuMaxData)) return false;
  RecordReader reader(data);
  while (!reader.AtEnd()) {
    uint32_t tag = 0;
    uint32_t length = 0;
    reader.Take(1, tag);
    const int32_t type = static_cast<int32_t>(tag / 32);
    if (type == kOrbuString) {
      if (!reader.Take(2, length) || !reader.Skip(static_cast<int32_t>(length))) return false;
    } else if (FixedValueSize(type) == 0 || !reader.Skip(FixedValueSize(type))) {
      return false;
    }
  }
  return true;
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

TOrbuObject::~TOrbuObject() = default;

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
  // Only the slots the mask names are visited, lowest first; the records are sized first and
  // then written in place.
  const auto named = static_cast<uint32_t>(mask);
  int32_t total = 0;
  for (uint32_t rest = named; rest != 0; rest &= rest - 1) {
    total += RecordSize(*slots[std::countr_zero(rest)]);
    if (total > kOrbuMaxData) throw TThrownString("Orbu message data too large");
  }
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(total));
  uint8_t* at = out.data() + start;
  for (uint32_t rest = named; rest != 0; rest &= rest - 1) {
    const int32_t index = std::countr_zero(rest);
    const TOrbuSlot& slot = *slots.Data()[index];  // checked above
    if (RecordSize(slot) == 0) continue;           // unset, or a type no record exists for
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
  RecordReader reader(data);
  while (!reader.AtEnd()) {
    uint32_t tag = 0;
    uint32_t value = 0;
    reader.Take(1, tag);
    const int32_t index = static_cast<int32_t>(tag % 32);
    const int32_t type = static_cast<int32_t>(tag / 32);
    if (type == kOrbuString) {
      String text;
      if (!reader.Take(2, value) || !reader.TakeText(static_cast<int32_t>(value), text)) {
        throw TThrownString("Corrupt Orbu message");
      }
      Touch(index);
      slots[index]->StoreString(text);
      continue;
    }
    const int32_t size = FixedValueSize(type);
    if (size == 0) throw TThrownString("Invalid Orbu data type");
    if (!reader.Take(size, value)) throw TThrownString("Corrupt Orbu message");
    Touch(index);
    if (type == kOrbuFloat) {
      slots[index]->StoreFloat(OrbuHalfToFloat(static_cast<uint16_t>(value)));
    } else {
      slots[index]->StoreInt(static_cast<int32_t>(value));
    }
  }
}

int32_t TOrbuObject::PackedSizeWith(std::span<const uint8_t> data) const {
  std::array<int32_t, kOrbuSlotCount> sizes{};
  for (int32_t index = 0; index < kOrbuSlotCount; ++index) sizes[index] = RecordSize(*slots[index]);
  RecordReader reader(data);
  while (!reader.AtEnd()) {
    uint32_t tag = 0;
    uint32_t length = 0;
    reader.Take(1, tag);
    const int32_t type = static_cast<int32_t>(tag / 32);
    if (type == kOrbuString) {
      if (!reader.Take(2, length) || !reader.Skip(static_cast<int32_t>(length))) break;
      sizes[tag % 32] = 3 + static_cast<int32_t>(length);
    } else {
      if (FixedValueSize(type) == 0 || !reader.Skip(FixedValueSize(type))) break;
      sizes[tag % 32] = 1 + FixedValueSize(type);
    }
  }
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
