// Serialisable objects and their data types: the registry that object data streams use to
// name what they write and to find the reader again.
#pragma once

#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

class TStream;
class TDataType;

// Base of every object a data stream can write.
class TData : public Object {
 public:
  // The data type that serialises this object; abstract here (TNullMethodException).
  virtual Ref<TDataType> DataType() const;
};

// Writes and reads the bodies of one kind of TData. Constructing one registers it for the
// rest of the process, in front of those made before it.
class TDataType : public Object {
 public:
  TDataType();
  TDataType(const TDataType&) = delete;
  TDataType& operator=(const TDataType&) = delete;

  // The name recorded in streams; constant for a type. Abstract here.
  virtual String TypeName() const;
  // Reads one object's body from the data stream and answers the new object. Abstract here.
  virtual Ref<Object> ReadData(TStream& stream) const;
  // Writes the object's body to the data stream. Abstract here.
  virtual void WriteData(const Ref<Object>& object, TStream& stream) const;
  // A second reading step, after the new object has an id in the stream; does nothing here.
  virtual void ReadDataInto(const Ref<Object>& object, TStream& stream) const;

  // The type registered before this one, Null at the end of the registry.
  const Ref<TDataType>& Next() const noexcept { return next_; }

 protected:
  // The registry keeps every type for the life of the process: a type is made with New and
  // never destroyed, so no caller may own one on the stack.
  ~TDataType() override = default;

 private:
  Ref<TDataType> next_;
};

// The most recently registered data type, Null when none is.
Ref<TDataType> DataTypes();
// The most recently registered type with exactly this name, or Null.
Ref<TDataType> FindDataType(const String& name);

}  // namespace corvex
