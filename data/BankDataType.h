// The bank data type "NOX.Bank.TBank": a bank's body in a data stream is its size and then
// its bytes.
#pragma once

#include "runtime/Data.h"

namespace corvex {

class TBankDataType : public TDataType {
 public:
  String TypeName() const override;
  // Rejects ("Unable to read object") a size that is negative or larger than what the stream
  // still holds (CheckDataBodyCount); never allocates more than the stream has delivered.
  Ref<Object> ReadData(TStream& stream) const override;
  void WriteData(const Ref<Object>& object, TStream& stream) const override;
};

// The bank data type's module initialiser: registers the type, which TBank::DataType finds by
// its name.
void InitBankDataTypeModule();

}  // namespace corvex
