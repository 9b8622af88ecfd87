#include "data/BankDataType.h"

#include <algorithm>

#include "data/DataStream.h"
#include "runtime/Module.h"
#include "stream/Bank.h"

namespace corvex {
namespace {

// Bytes a body of unknown backing is read in at a time, so a size the stream cannot back
// costs no more memory than the stream actually delivered.
constexpr int32_t kReadChunk = 1024 * 1024;

}  // namespace

String TBankDataType::TypeName() const {
  return "NOX.Bank.TBank";
}

Ref<Object> TBankDataType::ReadData(TStream& stream) const {
  const int32_t size = stream.ReadInt();
  CheckDataBodyCount(stream, size, 1);
  const bool sizeKnown = stream.Size() > 0 && stream.Pos() >= 0;
  Ref<TBank> bank = TBank::Create(sizeKnown ? size : std::min(size, kReadChunk));
  int32_t filled = 0;
  while (filled < size) {
    if (filled == bank->Size()) bank->Resize(filled + std::min(size - filled, kReadChunk));
    if (stream.Eof()) ThrowUnreadableObject();
    const int32_t n = stream.Read(bank->Buf() + filled, bank->Size() - filled);
    if (n <= 0) throw TStreamReadException();
    filled += n;
  }
  return bank;
}

void TBankDataType::WriteData(const Ref<Object>& object, TStream& stream) const {
  const Ref<TBank> bank = Cast<TBank>(object);
  stream.WriteInt(bank->Size());
  stream.WriteBytes(bank->Buf(), bank->Size());
}

void InitBankDataTypeModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitDataStreamModule();
  InitBankModule();
  new TBankDataType();  // registering keeps it alive
}

}  // namespace corvex
