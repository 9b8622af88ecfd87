#include "stream/Bank.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Module.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

constexpr std::align_val_t kBankAlignment{16};

uint8_t* AllocateBlock(int32_t size) {
  void* block = ::operator new(static_cast<std::size_t>(size), kBankAlignment, std::nothrow);
  if (block == nullptr) throw TRuntimeException("Out of memory");
  return static_cast<uint8_t*>(block);
}

void FreeBlock(uint8_t* block) noexcept {
  ::operator delete(block, kBankAlignment);
}

// Whether `p` points into the `length` bytes at `block`.
bool PointsInto(const void* p, const uint8_t* block, int32_t length) {
  const std::less_equal<const void*> lessEqual;
  const std::less<const void*> less;
  return lessEqual(block, p) && less(p, block + length);
}

}  // namespace

// ---- TBank ----

TBank::~TBank() {
  if (capacity_ >= 0) FreeBlock(buf_);
}

Ref<TBank> TBank::Create(int32_t size) {
  size = std::max(size, 0);
  Ref<TBank> bank(new TBank());
  bank->buf_ = AllocateBlock(size);
  std::memset(bank->buf_, 0, static_cast<std::size_t>(size));
  bank->size_ = size;
  bank->capacity_ = size;
  return bank;
}

Ref<TBank> TBank::CreateOver(void* address, int32_t size) {
  Ref<TBank> bank(new TBank());
  bank->buf_ = static_cast<uint8_t*>(address);
  bank->size_ = std::max(size, 0);
  bank->capacity_ = -1;
  return bank;
}

Ref<TBank> TBank::Load(const Url& url) {
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) return Null;
  const ByteArray bytes = UseAndClose(stream, [&] { return LoadAllBytes(stream); });
  Ref<TBank> bank = Create(bytes.Length());
  if (!bytes.IsEmpty()) std::memcpy(bank->buf_, bytes.Data(), static_cast<std::size_t>(bytes.Length()));
  return bank;
}

bool TBank::Save(const Url& url) {
  const Ref<TStream> stream = OpenWriteStream(url);
  if (!stream) return false;
  return UseAndClose(stream, [&] {
    stream->WriteBytes(buf_, size_);
    return true;
  });
}

Ref<TDataType> TBank::DataType() const {
  // The type lives with the other data types, a layer above the banks, and is found by name.
  return FindDataType("NOX.Bank.TBank");
}

uint8_t* TBank::Lock() noexcept {
  ++locks_;
  return buf_;
}

void TBank::Unlock() noexcept {
  if (locks_ > 0) --locks_;
}

void TBank::Resize(int32_t newSize) {
  newSize = std::max(newSize, 0);
  const int32_t kept = std::min(size_, newSize);
  if (newSize > capacity_) {
    // A borrowed bank (capacity -1) gets exactly the new size; an owned one half again.
    const int64_t grown = int64_t{capacity_} * 3 / 2;
    const auto newCapacity =
        static_cast<int32_t>(std::clamp<int64_t>(grown, newSize, std::numeric_limits<int32_t>::max()));
    uint8_t* block = AllocateBlock(newCapacity);
    if (kept > 0) std::memcpy(block, buf_, static_cast<std::size_t>(kept));
    if (capacity_ >= 0) FreeBlock(buf_);
    buf_ = block;
    capacity_ = newCapacity;
  }
  if (newSize > kept) std::memset(buf_ + kept, 0, static_cast<std::size_t>(newSize - kept));
  size_ = newSize;
}

void TBank::CheckRange(int32_t offset, int64_t count) const {
  if (offset < 0 || count < 0 || offset + count > size_) throw TArrayBoundsException();
}

int32_t TBank::Read(const Ref<TStream>& stream, int32_t offset, int32_t count) {
  CheckRange(offset, count);
  return stream->Read(buf_ + offset, count);
}

int32_t TBank::Write(const Ref<TStream>& stream, int32_t offset, int32_t count) {
  CheckRange(offset, count);
  return stream->Write(buf_ + offset, count);
}

template <class T>
T TBank::Peek(int32_t offset) const {
  CheckRange(offset, sizeof(T));
  T value;
  std::memcpy(&value, buf_ + offset, sizeof(T));
  return value;
}

template <class T>
void TBank::Poke(int32_t offset, T value) {
  CheckRange(offset, sizeof(T));
  std::memcpy(buf_ + offset, &value, sizeof(T));
}

int32_t TBank::PeekByte(int32_t offset) const {
  return Peek<uint8_t>(offset);
}
void TBank::PokeByte(int32_t offset, int32_t value) {
  Poke(offset, static_cast<uint8_t>(value));
}
int32_t TBank::PeekShort(int32_t offset) const {
  return Peek<uint16_t>(offset);
}
void TBank::PokeShort(int32_t offset, int32_t value) {
  Poke(offset, static_cast<uint16_t>(value));
}
int32_t TBank::PeekInt(int32_t offset) const {
  return Peek<int32_t>(offset);
}
void TBank::PokeInt(int32_t offset, int32_t value) {
  Poke(offset, value);
}
int64_t TBank::PeekLong(int32_t offset) const {
  return Peek<int64_t>(offset);
}
void TBank::PokeLong(int32_t offset, int64_t value) {
  Poke(offset, value);
}
float TBank::PeekFloat(int32_t offset) const {
  return Peek<float>(offset);
}
void TBank::PokeFloat(int32_t offset, float value) {
  Poke(offset, value);
}
double TBank::PeekDouble(int32_t offset) const {
  return Peek<double>(offset);
}
void TBank::PokeDouble(int32_t offset, double value) {
  Poke(offset, value);
}

// ---- TBankStream ----

Ref<TBankStream> TBankStream::Create(const Ref<TBank>& bank) {
  auto stream = New<TBankStream>();
  stream->bank_ = bank;
  return stream;
}

int32_t TBankStream::Size() {
  return bank_->Size();
}

int32_t TBankStream::Seek(int32_t position) {
  pos_ = std::clamp(position, 0, bank_->Size());
  return pos_;
}

int32_t TBankStream::Read(void* buffer, int32_t count) {
  const int32_t size = bank_->Size();
  if (count <= 0 || pos_ >= size) return 0;
  count = std::min(count, size - pos_);
  std::memmove(buffer, bank_->Buf() + pos_, static_cast<std::size_t>(count));
  pos_ += count;
  return count;
}

int32_t TBankStream::Write(const void* buffer, int32_t count) {
  const int32_t size = bank_->Size();
  if (count <= 0 || pos_ > size) return 0;
  count = std::min(count, std::numeric_limits<int32_t>::max() - pos_);  // positions stay 32-bit
  if (count == 0) return 0;
  std::vector<uint8_t> copy;
  if (pos_ + count > size) {
    // Growing may free the block the bytes come from when they are the bank's own.
    if (bank_->Capacity() >= 0 && PointsInto(buffer, bank_->Buf(), bank_->Capacity())) {
      const auto* from = static_cast<const uint8_t*>(buffer);
      copy.assign(from, from + count);
      buffer = copy.data();
    }
    bank_->Resize(pos_ + count);
  }
  std::memmove(bank_->Buf() + pos_, buffer, static_cast<std::size_t>(count));
  pos_ += count;
  return count;
}

Ref<TStream> TBankStreamFactory::CreateStream(const Url& url, const String&, const String&, bool, bool) {
  const Ref<TBank> bank = Cast<TBank>(url.Target());
  if (!bank) return Null;
  return NewBankStream(bank);
}

// ---- free functions ----

Ref<TBank> NewBank(int32_t size) {
  return TBank::Create(size);
}
Ref<TBank> NewBankOver(void* address, int32_t size) {
  return TBank::CreateOver(address, size);
}
Ref<TBank> LoadBankFrom(const Url& url) {
  return TBank::Load(url);
}
bool SaveBankTo(const Ref<TBank>& bank, const Url& url) {
  return bank->Save(url);
}
uint8_t* BankAddress(const Ref<TBank>& bank) {
  return bank->Buf();
}
uint8_t* LockBankMemory(const Ref<TBank>& bank) {
  return bank->Lock();
}
void UnlockBankMemory(const Ref<TBank>& bank) {
  bank->Unlock();
}
int32_t BankByteCount(const Ref<TBank>& bank) {
  return bank->Size();
}
int32_t BankAllocatedBytes(const Ref<TBank>& bank) {
  return bank->Capacity();
}
void SetBankSize(const Ref<TBank>& bank, int32_t size) {
  bank->Resize(size);
}
int32_t PeekByte(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekByte(offset);
}
int32_t PeekShort(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekShort(offset);
}
int32_t PeekInt(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekInt(offset);
}
int64_t PeekLong(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekLong(offset);
}
float PeekFloat(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekFloat(offset);
}
double PeekDouble(const Ref<TBank>& bank, int32_t offset) {
  return bank->PeekDouble(offset);
}
void PokeByte(const Ref<TBank>& bank, int32_t offset, int32_t value) {
  bank->PokeByte(offset, value);
}
void PokeShort(const Ref<TBank>& bank, int32_t offset, int32_t value) {
  bank->PokeShort(offset, value);
}
void PokeInt(const Ref<TBank>& bank, int32_t offset, int32_t value) {
  bank->PokeInt(offset, value);
}
void PokeLong(const Ref<TBank>& bank, int32_t offset, int64_t value) {
  bank->PokeLong(offset, value);
}
void PokeFloat(const Ref<TBank>& bank, int32_t offset, float value) {
  bank->PokeFloat(offset, value);
}
void PokeDouble(const Ref<TBank>& bank, int32_t offset, double value) {
  bank->PokeDouble(offset, value);
}

int32_t FillBankFromStream(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset,
                           int32_t count) {
  return bank->Read(stream, offset, count);
}

int32_t SendBankToStream(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset, int32_t count) {
  return bank->Write(stream, offset, count);
}

void CopyBankBytes(const Ref<TBank>& source, int32_t sourceOffset, const Ref<TBank>& destination,
                   int32_t destinationOffset, int32_t count) {
  if (count < 0) throw TArrayBoundsException();
  const auto length = static_cast<int64_t>(count);
  if (sourceOffset < 0 || sourceOffset + length > source->Size()) throw TArrayBoundsException();
  if (destinationOffset < 0 || destinationOffset + length > destination->Size()) {
    throw TArrayBoundsException();
  }
  // Forward, one byte at a time: an overlapping copy upwards repeats the leading bytes.
  const uint8_t* from = source->Buf() + sourceOffset;
  uint8_t* to = destination->Buf() + destinationOffset;
  for (int32_t i = 0; i < count; ++i) to[i] = from[i];
}

Ref<TBankStream> NewBankStream(const Ref<TBank>& bank) {
  return TBankStream::Create(bank ? bank : TBank::Create(0));
}

void InitBankModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
}

void InitBankStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitBankModule();
  new TBankStreamFactory();  // the factory chain holds it for the rest of the process
}

}  // namespace corvex
