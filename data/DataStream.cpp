#include "data/DataStream.h"

#include <algorithm>

#include "runtime/Exceptions.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

constexpr int32_t kNullTag = 0;
constexpr int32_t kBackReferenceTag = 255;
constexpr int32_t kMaxTypeIndex = 254;

// Counts one level of nesting for as long as it lives; too deep a graph throws `error`,
// before the C++ stack runs out.
class DepthGuard {
 public:
  DepthGuard(int32_t& depth, const char* error) : depth_(depth) {
    if (depth_ >= TDataStream::kMaxDepth) throw TThrownString(error);
    ++depth_;
  }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int32_t& depth_;
};

}  // namespace

Ref<TDataId> TDataId::Create(int32_t id) {
  return New<TDataId>(id);
}

Ref<TDataStream> TDataStream::Create(const Ref<TStream>& stream) {
  auto dataStream = New<TDataStream>();
  dataStream->SetStream(stream);
  return dataStream;
}

void TDataStream::WriteObject(const Ref<Object>& object) {
  const Ref<TData> data = Cast<TData>(object);
  if (!data) {
    WriteByte(kNullTag);
    return;
  }
  if (auto written = objectIds_.find(data.Get()); written != objectIds_.end()) {
    WriteByte(kBackReferenceTag);
    WriteInt(written->second.id);
    return;
  }
  DepthGuard depth(depth_, "Unable to write object");
  const Ref<TDataType> dataType = data->DataType();
  const String name = dataType->TypeName();
  if (auto known = typeIds_.find(name); known != typeIds_.end()) {
    WriteByte(known->second);
  } else {
    if (typeCount_ == kMaxTypeIndex) throw TThrownString("Too many DataTypes");
    ++typeCount_;
    typeIds_.emplace(name, typeCount_);
    WriteByte(typeCount_);
    // A name line that does not arrive whole would leave the stream unreadable.
    if (!WriteLine(name)) throw TStreamWriteException();
  }
  ++objectCount_;
  objectIds_.emplace(data.Get(), WrittenObject{object, objectCount_});
  dataType->WriteData(object, *this);
}

Ref<Object> TDataStream::ReadObject() {
  const int32_t tag = ReadByte();
  if (tag == kNullTag) return Null;
  if (tag == kBackReferenceTag) {
    // Only ids this stream has given out resolve; anything else in the input reads as Null.
    const int32_t id = ReadInt();
    if (id < 1 || id > objectCount_) return Null;
    return objectTable_[static_cast<std::size_t>(id)];
  }
  // A wrapped stream whose ReadByte is not a plain byte (a text stream) can answer anything.
  if (tag < 1 || tag > kMaxTypeIndex) ThrowUnreadableObject();
  DepthGuard depth(depth_, "Unable to read object");
  Ref<TDataType>& type = typeTable_[static_cast<std::size_t>(tag)];
  if (!type) {
    const String name = ReadLine();
    if (!name.IsEmpty()) type = FindDataType(name);
    if (!type) throw TThrownString(String("Unrecognized DataType: ") + name);
  }
  const int32_t id = ++objectCount_;
  if (static_cast<std::size_t>(objectCount_) == objectTable_.size()) {
    objectTable_.resize(objectTable_.size() * 2);
  }
  Ref<Object> object = type->ReadData(*this);
  objectTable_[static_cast<std::size_t>(id)] = object;
  type->ReadDataInto(object, *this);
  return object;
}

Ref<TStream> TDataStreamFactory::CreateStream(const Url&, const String& protocol, const String& path,
                                              bool readable, bool writeable) {
  if (protocol != String("data")) return Null;
  if (readable && writeable) throw TThrownString("DataStreams can not be both readable and writeable");
  const Ref<TStream> stream = OpenStream(path, readable, writeable);
  if (!stream) return Null;
  return TDataStream::Create(stream);
}

void ThrowUnreadableObject() {
  throw TThrownString("Unable to read object");
}

void CheckDataBodyCount(TStream& stream, int64_t count, int32_t bytesPerItem) {
  if (count < 0 || bytesPerItem < 0) ThrowUnreadableObject();
  const int32_t size = stream.Size();
  const int32_t pos = stream.Pos();
  // Counts are at most 32 bits and so are item sizes: the products below cannot overflow.
  if (size > 0 && pos >= 0) {
    if (count * bytesPerItem > int64_t{size} - pos) ThrowUnreadableObject();
  } else if (count * std::max(bytesPerItem, 1) > kMaxDataBodySize) {
    ThrowUnreadableObject();
  }
}

void InitDataStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  new TDataStreamFactory();  // the factory chain holds it for the rest of the process
}

}  // namespace corvex
