// Arrays that know their element type and length, shared by reference and bounds-checked.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Object.h"

namespace corvex {

// The shared storage behind an Array.
template <class T>
class TArrayStorage : public Object {
 public:
  // Storage of `length` zero elements, or of the values given.
  explicit TArrayStorage(std::size_t length) : items(length) {}
  explicit TArrayStorage(std::vector<T> values) : items(std::move(values)) {}
  std::vector<T> items;  // the elements
};

// A handle to a shared array of T. Copies share the elements (as the framework hands its
// tables out); the empty array is a valid value. Indexing outside raises TArrayBoundsException.
template <class T>
class Array {
 public:
  Array() = default;
  // A new array of `length` value-initialised (zero) elements; a negative length is empty.
  explicit Array(int32_t length) {
    if (length > 0) storage_ = New<TArrayStorage<T>>(static_cast<std::size_t>(length));
  }
  // A new array of the values given.
  Array(std::initializer_list<T> values) {
    if (values.size() > 0) storage_ = New<TArrayStorage<T>>(std::vector<T>(values));
  }
  // A new array taking the vector's elements.
  static Array FromVector(std::vector<T> values) {
    Array array;
    if (!values.empty()) array.storage_ = New<TArrayStorage<T>>(std::move(values));
    return array;
  }

  // The number of elements.
  int32_t Length() const noexcept {
    return storage_ ? static_cast<int32_t>(storage_.Get()->items.size()) : 0;
  }
  // Whether it has no elements.
  bool IsEmpty() const noexcept { return Length() == 0; }

  // The element at `index`, shared by every copy of the handle.
  T& operator[](int32_t index) const {
    if (index < 0 || index >= Length()) throw TArrayBoundsException();
    return storage_.Get()->items[static_cast<std::size_t>(index)];
  }
  // The elements in memory, for bulk work; null for the empty array.
  T* Data() const noexcept { return storage_ ? storage_.Get()->items.data() : nullptr; }
  // The elements for range-for loops.
  T* begin() const noexcept { return Data(); }
  T* end() const noexcept { return Data() + Length(); }

  // A new array of `length` elements that starts with this one's (the rest zero).
  Array Resized(int32_t length) const {
    Array result(length);
    std::copy_n(Data(), std::min(Length(), result.Length()), result.Data());
    return result;
  }
  // Whether both handles share the same elements.
  bool SharesWith(const Array& other) const noexcept { return storage_ == other.storage_; }

 private:
  Ref<TArrayStorage<T>> storage_;
};

// Bytes, as the framework's binary interfaces pass them.
using ByteArray = Array<uint8_t>;

}  // namespace corvex
