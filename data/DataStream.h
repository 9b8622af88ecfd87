// Object data streams: a stream wrapper that writes graphs of TData objects with their shared
// references and reads them back, the "data::" protocol, and the checks data types apply to
// the counts and sizes they read from untrusted bytes.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "runtime/Data.h"
#include "runtime/Object.h"
#include "runtime/String.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

// One object or type id, boxed so that it can be held as an object.
class TDataId : public Object {
 public:
  // Boxes `id`; Create gives it as a Ref.
  explicit TDataId(int32_t id) noexcept : id_(id) {}
  static Ref<TDataId> Create(int32_t id);
  // The boxed id.
  int32_t Id() const noexcept { return id_; }
  // Negative, zero or positive as this id is below, equal to or above the other's.
  int32_t Compare(const TDataId& other) const noexcept { return (id_ > other.id_) - (id_ < other.id_); }

 private:
  int32_t id_;
};

// Wraps a byte stream and writes objects to it, or reads them from it, keeping sharing: an
// object met a second time goes out as a back-reference to its id. Use one direction per
// stream; ids and type indices run on across successive top-level objects.
class TDataStream : public TStreamWrapper {
 public:
  // Deepest nesting of objects one ReadObject or WriteObject follows before giving up.
  static constexpr int32_t kMaxDepth = 1000;

  // A data stream that reads and writes objects through `stream`.
  static Ref<TDataStream> Create(const Ref<TStream>& stream);

  // Reads one object reference. Malformed input gives Null (an unknown back-reference) or
  // throws: "Unrecognized DataType: " + name, or "Unable to read object".
  Ref<Object> ReadObject() override;
  // Writes one object reference; what is not TData goes out as Null. A 255th type on one
  // stream throws "Too many DataTypes".
  void WriteObject(const Ref<Object>& object) override;

  // The last object id this stream gave out.
  int32_t ObjectCount() const noexcept { return objectCount_; }
  // Slots of the table that resolves back-references when reading.
  int32_t ObjectTableLength() const noexcept { return static_cast<int32_t>(objectTable_.size()); }

 private:
  // A written object, held so that its address stays its own while the stream knows it.
  struct WrittenObject {
    Ref<Object> object;
    int32_t id;
  };

  int32_t objectCount_ = 0;
  int32_t typeCount_ = 0;
  int32_t depth_ = 0;
  std::vector<Ref<Object>> objectTable_ = std::vector<Ref<Object>>(256);
  std::array<Ref<TDataType>, 256> typeTable_{};
  std::unordered_map<const Object*, WrittenObject> objectIds_;
  std::unordered_map<String, int32_t> typeIds_;
};

// Serves "data::" + any URL: a data stream over what that URL opens, for reading or writing.
class TDataStreamFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                            bool writeable) override;
};

// The most bytes a body read from a stream without a size (a pipe, standard input) may
// announce. A stream with a size bounds a body by what it still holds instead, so whatever
// the writer wrote to it reads back.
inline constexpr int64_t kMaxDataBodySize = int64_t{256} * 1024 * 1024;

// Throws "Unable to read object", the error for a body that cannot be what it claims.
[[noreturn]] void ThrowUnreadableObject();
// Checks a count read from a body before anything is made from it: rejects it when it is
// negative or its items of `bytesPerItem` bytes each need more than the stream can still
// deliver; on a stream without a size, when they would take more than kMaxDataBodySize bytes
// (at least one byte an item).
void CheckDataBodyCount(TStream& stream, int64_t count, int32_t bytesPerItem);

// The object data streams' module initialiser: registers the "data" stream factory.
void InitDataStreamModule();

}  // namespace corvex
