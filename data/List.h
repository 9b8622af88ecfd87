// TList, the doubly linked list of objects in insertion order, and its data type
// "NOX.LinkedList.TList".
#pragma once

#include <cstdint>
#include <list>

#include "runtime/Array.h"
#include "runtime/Data.h"
#include "runtime/Object.h"

namespace corvex {

// Objects in the order they were added; Null is a value like any other. Elements compare by
// identity. Removing the element an iteration stands on ends that iteration's validity.
class TList : public TData {
 public:
  // Walks the elements in order (range-for over the list).
  using const_iterator = std::list<Ref<Object>>::const_iterator;

  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() override;

  Ref<TDataType> DataType() const override;

  // The number of elements, and whether there are none.
  int32_t Count() const noexcept { return static_cast<int32_t>(items_.size()); }
  bool IsEmpty() const noexcept { return items_.empty(); }
  // Adds `value` at the end or the front.
  void AddLast(const Ref<Object>& value);
  void AddFirst(const Ref<Object>& value);
  // The first or last element; Null when the list is empty.
  Ref<Object> First() const;
  Ref<Object> Last() const;
  // Takes out and answers the first or last element; Null when the list is empty.
  Ref<Object> RemoveFirst();
  Ref<Object> RemoveLast();
  // Takes out the first occurrence of `value`; answers whether there was one.
  bool Remove(const Ref<Object>& value);
  bool Contains(const Ref<Object>& value) const;
  // Empties the list; it keeps as many of the nodes as it held (up to kSpareNodes) for what is
  // added next.
  void Clear();
  // The elements in order, as a new array.
  Array<Ref<Object>> ToArray() const;

  // The range of the elements, first to last.
  const_iterator begin() const noexcept { return items_.begin(); }
  const_iterator end() const noexcept { return items_.end(); }

 private:
  // The most emptied nodes a list keeps for the elements added after a Clear.
  static constexpr std::size_t kSpareNodes = 4096;

  // What a Clear that is releasing elements learns from the list's destructor; Clears nest when
  // a released element clears the list again.
  struct ClearGuard {
    bool listAlive;
    ClearGuard* outer;
  };

  // Adds `value` before `at`, in a spare node when there is one.
  void Insert(const_iterator at, const Ref<Object>& value);

  std::list<Ref<Object>> items_;
  // Nodes a Clear emptied, each holding Null.
  std::list<Ref<Object>> spare_;
  // The innermost Clear under way, if any.
  ClearGuard* clearing_ = nullptr;
};

// Writes a list as its count and its elements, first to last, each as an object reference.
class TListDataType : public TDataType {
 public:
  String TypeName() const override;
  // Elements are read one at a time, so a count the stream cannot back ends in an error
  // ("Unable to read object") before much is made of it.
  Ref<Object> ReadData(TStream& stream) const override;
  void WriteData(const Ref<Object>& object, TStream& stream) const override;
};

// The lists' module initialiser: registers the list data type.
void InitListModule();

}  // namespace corvex
