#include "data/List.h"

#include <algorithm>
#include <iterator>

#include "data/DataStream.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

// The module's one list data type; the registry holds its reference for the whole run.
TListDataType* g_listDataType = nullptr;

}  // namespace

Ref<TDataType> TList::DataType() const {
  return Ref<TDataType>(g_listDataType);
}

std::list<Ref<Object>>::iterator TList::NodeFor(Ref<Object> value) {
  if (spare_.empty()) return spare_.insert(spare_.begin(), std::move(value));
  spare_.front() = std::move(value);
  return spare_.begin();
}

void TList::Recycle(std::list<Ref<Object>>::iterator node) noexcept {
  if (spare_.size() < kSpareNodes) {
    spare_.splice(spare_.begin(), items_, node);
  } else {
    items_.erase(node);
  }
}

void TList::AddLast(const Ref<Object>& value) {
  items_.splice(items_.end(), spare_, NodeFor(value));
}
void TList::AddLast(Ref<Object>&& value) {
  items_.splice(items_.end(), spare_, NodeFor(std::move(value)));
}
void TList::AddFirst(const Ref<Object>& value) {
  items_.splice(items_.begin(), spare_, NodeFor(value));
}

Ref<Object> TList::First() const {
  return items_.empty() ? Ref<Object>() : items_.front();
}
Ref<Object> TList::Last() const {
  return items_.empty() ? Ref<Object>() : items_.back();
}

Ref<Object> TList::RemoveFirst() {
  if (items_.empty()) return Null;
  Ref<Object> value = std::move(items_.front());
  Recycle(items_.begin());
  return value;
}

Ref<Object> TList::RemoveLast() {
  if (items_.empty()) return Null;
  Ref<Object> value = std::move(items_.back());
  Recycle(std::prev(items_.end()));
  return value;
}

bool TList::Remove(const Ref<Object>& value) {
  const auto found = std::find(items_.begin(), items_.end(), value);
  if (found == items_.end()) return false;
  // Released only once the node is out, in case the element's destruction reaches this list.
  const Ref<Object> removed = std::move(*found);
  Recycle(found);
  return true;
}

bool TList::Contains(const Ref<Object>& value) const {
  return std::find(items_.begin(), items_.end(), value) != items_.end();
}

void TList::Clear() {
  // Elements are released after the list is already empty, for the same reason as in Remove.
  // An element held elsewhere too only loses a count, which cannot reach back here, so its
  // node is kept for reuse; last references go with `released`, after the list is done with.
  std::list<Ref<Object>> released;
  released.swap(items_);
  for (auto node = released.begin(); node != released.end() && spare_.size() < kSpareNodes;) {
    const auto next = std::next(node);
    if (!*node || node->Get()->RefCount() > 1) {
      *node = Null;
      spare_.splice(spare_.begin(), released, node);
    }
    node = next;
  }
}

Array<Ref<Object>> TList::ToArray() const {
  return Array<Ref<Object>>::FromVector(std::vector<Ref<Object>>(items_.begin(), items_.end()));
}

String TListDataType::TypeName() const {
  return "NOX.LinkedList.TList";
}

Ref<Object> TListDataType::ReadData(TStream& stream) const {
  auto list = New<TList>();
  const int32_t count = stream.ReadInt();
  CheckDataBodyCount(stream, count, 1);  // every element takes at least its tag byte
  for (int32_t i = 0; i < count; ++i) {
    if (stream.Eof()) ThrowUnreadableObject();
    list->AddLast(stream.ReadObject());
  }
  return list;
}

void TListDataType::WriteData(const Ref<Object>& object, TStream& stream) const {
  const Ref<TList> list = Cast<TList>(object);
  stream.WriteInt(list->Count());
  for (const Ref<Object>& value : *list) stream.WriteObject(value);
}

void InitListModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitDataStreamModule();
  g_listDataType = new TListDataType();  // registering keeps it alive
}

}  // namespace corvex
