// Banks: resizable blocks of memory with typed peek and poke, stream transfer and load and
// save by URL; and the bank stream that reads and writes one, growing it as it writes.
#pragma once

#include <cstdint>

#include "runtime/Data.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// A block of memory the bank owns, or caller memory it borrows until its first growth.
// Peek and poke use the little-endian layout, unaligned. Every access by offset is checked
// against Size(): one that does not fit raises TArrayBoundsException. Memory the bank
// allocates starts zeroed; failing to allocate raises TRuntimeException "Out of memory".
class TBank : public TData {
 public:
  ~TBank() override;
  TBank(const TBank&) = delete;
  TBank& operator=(const TBank&) = delete;

  // A new bank owning `size` bytes (16-byte aligned; a negative size gives 0).
  static Ref<TBank> Create(int32_t size);
  // A new bank over caller memory, which the bank never frees (a negative size gives 0).
  static Ref<TBank> CreateOver(void* address, int32_t size);
  // A new bank holding everything the URL yields, or Null when it does not open.
  static Ref<TBank> Load(const Url& url);

  // The "NOX.Bank.TBank" data type, Null until InitBankDataTypeModule has run.
  Ref<TDataType> DataType() const override;
  uint8_t* Buf() const noexcept { return buf_; }
  // Buf(), counting one more lock (bookkeeping only: the block may still move on growth).
  uint8_t* Lock() noexcept;
  // Counts one lock less, never below 0.
  void Unlock() noexcept;
  int32_t Size() const noexcept { return size_; }
  // Bytes owned; -1 while the bank borrows caller memory.
  int32_t Capacity() const noexcept { return capacity_; }
  // Grows to at least half again the capacity when needed; the block may move. A borrowed
  // bank moves to memory of its own, keeping what fits. A negative size counts as 0.
  void Resize(int32_t newSize);
  // The stream's raw Read into the bank at `offset`; answers the bytes read.
  int32_t Read(const Ref<TStream>& stream, int32_t offset, int32_t count);
  // The stream's raw Write from the bank at `offset`; answers the bytes written.
  int32_t Write(const Ref<TStream>& stream, int32_t offset, int32_t count);

  // Typed access at `offset`: Peek answers the value, Poke stores the low bits that fit.
  int32_t PeekByte(int32_t offset) const;
  void PokeByte(int32_t offset, int32_t value);
  int32_t PeekShort(int32_t offset) const;
  void PokeShort(int32_t offset, int32_t value);
  int32_t PeekInt(int32_t offset) const;
  void PokeInt(int32_t offset, int32_t value);
  int64_t PeekLong(int32_t offset) const;
  void PokeLong(int32_t offset, int64_t value);
  float PeekFloat(int32_t offset) const;
  void PokeFloat(int32_t offset, float value);
  double PeekDouble(int32_t offset) const;
  void PokeDouble(int32_t offset, double value);

  // Writes the bank's bytes to the URL; false when it does not open.
  bool Save(const Url& url);

 protected:
  TBank() = default;

 private:
  // Raises TArrayBoundsException unless [offset, offset + count) lies within the bank.
  void CheckRange(int32_t offset, int64_t count) const;
  template <class T>
  T Peek(int32_t offset) const;
  template <class T>
  void Poke(int32_t offset, T value);

  uint8_t* buf_ = nullptr;
  int32_t size_ = 0;
  int32_t capacity_ = 0;
  int32_t locks_ = 0;
};

// Reads and writes a bank from position 0, growing it when writing past its end.
class TBankStream : public TStream {
 public:
  // A stream over `bank`, at position 0.
  static Ref<TBankStream> Create(const Ref<TBank>& bank);
  int32_t Pos() override { return pos_; }
  // The bank's size, which moves as the stream writes past its end.
  int32_t Size() override;
  // Moves to `position` clamped to 0 .. Size(); answers it.
  int32_t Seek(int32_t position) override;
  // Reads what the bank holds from the position on, at most `count` bytes.
  int32_t Read(void* buffer, int32_t count) override;
  // Writes at the position, growing the bank past its end; the source may be the bank itself.
  int32_t Write(const void* buffer, int32_t count) override;
  const Ref<TBank>& Bank() const noexcept { return bank_; }

 private:
  int32_t pos_ = 0;
  Ref<TBank> bank_;
};

// Opens any bank given as a URL object as a bank stream, whatever the protocol.
class TBankStreamFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override;
};

// Free functions of the bank module; each calls the bank's operation of the same meaning.
// CopyBankBytes copies forward one byte at a time, so an overlapping copy to a higher offset
// repeats the first bytes.
Ref<TBank> NewBank(int32_t size);
Ref<TBank> NewBankOver(void* address, int32_t size);
Ref<TBank> LoadBankFrom(const Url& url);
bool SaveBankTo(const Ref<TBank>& bank, const Url& url);
uint8_t* BankAddress(const Ref<TBank>& bank);
uint8_t* LockBankMemory(const Ref<TBank>& bank);
void UnlockBankMemory(const Ref<TBank>& bank);
int32_t BankByteCount(const Ref<TBank>& bank);
int32_t BankAllocatedBytes(const Ref<TBank>& bank);
void SetBankSize(const Ref<TBank>& bank, int32_t size);
int32_t PeekByte(const Ref<TBank>& bank, int32_t offset);
int32_t PeekShort(const Ref<TBank>& bank, int32_t offset);
int32_t PeekInt(const Ref<TBank>& bank, int32_t offset);
int64_t PeekLong(const Ref<TBank>& bank, int32_t offset);
float PeekFloat(const Ref<TBank>& bank, int32_t offset);
double PeekDouble(const Ref<TBank>& bank, int32_t offset);
void PokeByte(const Ref<TBank>& bank, int32_t offset, int32_t value);
void PokeShort(const Ref<TBank>& bank, int32_t offset, int32_t value);
void PokeInt(const Ref<TBank>& bank, int32_t offset, int32_t value);
void PokeLong(const Ref<TBank>& bank, int32_t offset, int64_t value);
void PokeFloat(const Ref<TBank>& bank, int32_t offset, float value);
void PokeDouble(const Ref<TBank>& bank, int32_t offset, double value);
int32_t FillBankFromStream(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset, int32_t count);
int32_t SendBankToStream(const Ref<TBank>& bank, const Ref<TStream>& stream, int32_t offset, int32_t count);
void CopyBankBytes(const Ref<TBank>& source, int32_t sourceOffset, const Ref<TBank>& destination,
                   int32_t destinationOffset, int32_t count);
// A bank stream over the bank; over a new empty bank when `bank` is Null.
Ref<TBankStream> NewBankStream(const Ref<TBank>& bank);

// Module initialisers: banks (registers the bank data type) and bank streams (the factory).
void InitBankModule();
void InitBankStreamModule();

}  // namespace corvex
