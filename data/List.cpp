#include "data/List.h"

#include <algorithm>

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

TList::~TList() {
  for (ClearGuard* guard = clearing_; guard; guard = guard->outer) guard->listAlive = false;
}

void TList::AddLast(const Ref<Object>& value) {
  Insert(items_.end(), value);
}
void TList::AddFirst(const Ref<Object>& value) {
  Insert(items_.begin(), value);
}

void TList::Insert(const_iterator at, const Ref<Object>& value) {
  if (spare_.empty()) {
    items_.insert(at, value);
    return;
  }
  spare_.front() = value;
  items_.splice(at, spare_, spare_.begin());
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
  items_.pop_front();
  return value;
}

Ref<Object> TList::RemoveLast() {
  if (items_.empty()) return Null;
  Ref<Object> value = std::move(items_.back());
  items_.pop_back();
  return value;
}

bool TList::Remove(const Ref<Object>& value) {
  const auto found = std::find(items_.begin(), items_.end(), value);
  if (found == items_.end()) return false;
  // Released only once the node is out, in case the element's destruction reaches this list.
  const Ref<Object> removed = std::move(*found);
  items_.erase(found);
  return true;
}

bool TList::Contains(const Ref<Object>& value) const {
  return std::find(items_.begin(), items_.end(), value) != items_.end();
}

void TList::Clear() {
  // Elements are released after the list is already empty, for the same reason as in Remove;
  // the last of them may even take the list with it.
  std::list<Ref<Object>> released;
  released.swap(items_);
  ClearGuard guard{true, clearing_};
  clearing_ = &guard;
  for (Ref<Object>& value : released) value = Null;
  if (!guard.listAlive) return;
  clearing_ = guard.outer;
  // A list emptied and filled again every frame keeps its nodes: they stay warm where they are
  // instead of going back through the allocator among everything else it hands out. It keeps no
  // more than it just held, so that a burst's nodes do not stay behind once the frames are quiet.
  const std::size_t keep = std::min(released.size(), kSpareNodes);
  spare_.splice(spare_.end(), released);
  while (spare_.size() > keep) spare_.pop_back();
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
