#include "runtime/Exceptions.h"

namespace corvex {

String Object::ToString() const {
  return "Object";
}

void ThrowNullObject() {
  throw TNullObjectException();
}

String TNullObjectException::ToString() const {
  return "Attempt to access field or method of Null object";
}
String TNullMethodException::ToString() const {
  return "Attempt to call abstract method";
}
String TNullFunctionException::ToString() const {
  return "Attempt to call uninitialized function pointer";
}
String TArrayBoundsException::ToString() const {
  return "Attempt to index array element beyond array length";
}
String TOutOfDataException::ToString() const {
  return "Attempt to read beyond end of data";
}

}  // namespace corvex
