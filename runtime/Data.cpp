#include "runtime/Data.h"

#include "runtime/Exceptions.h"

namespace corvex {
namespace {

// Head of the registry. Registered types live until the process ends, so the head is a plain
// pointer holding one leaked reference: nothing here runs at static destruction.
TDataType* g_dataTypes = nullptr;

}  // namespace

Ref<TDataType> TData::DataType() const {
  throw TNullMethodException();
}

TDataType::TDataType() : next_(g_dataTypes) {
  AddRef();  // the registry's reference, never released
  g_dataTypes = this;
}

String TDataType::TypeName() const {
  throw TNullMethodException();
}
Ref<Object> TDataType::ReadData(TStream&) const {
  throw TNullMethodException();
}
void TDataType::WriteData(const Ref<Object>&, TStream&) const {
  throw TNullMethodException();
}
void TDataType::ReadDataInto(const Ref<Object>&, TStream&) const {}

Ref<TDataType> DataTypes() {
  return Ref<TDataType>(g_dataTypes);
}

Ref<TDataType> FindDataType(const String& name) {
  for (TDataType* type = g_dataTypes; type != nullptr; type = type->Next().Get()) {
    if (type->TypeName() == name) return Ref<TDataType>(type);
  }
  return Null;
}

}  // namespace corvex
