#include "stream/Url.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/FileSystemPlatform.h"
#include "runtime/LastError.h"
#include "stream/CStream.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

// Head of the factory chain. A plain pointer holding one reference that is never released:
// factories live until the process ends and nothing here runs at static destruction.
TStreamFactory* g_streamFactories = nullptr;

// How many OpenStream calls are under way on this thread: wrapping protocols open their path
// again, so this is the URL's nesting depth.
thread_local int32_t t_openDepth = 0;

// Counts one level of URL nesting for as long as it lives.
class OpenDepthGuard {
 public:
  OpenDepthGuard() noexcept { ++t_openDepth; }
  ~OpenDepthGuard() { --t_openDepth; }
  OpenDepthGuard(const OpenDepthGuard&) = delete;
  OpenDepthGuard& operator=(const OpenDepthGuard&) = delete;
  bool TooDeep() const noexcept { return t_openDepth > kMaxUrlNesting; }
};

// Whether the path names an existing file or directory. '<' and '>' are wildcard characters
// on some platforms, so names holding them never count as existing; nor do names with a NUL,
// which the platform would read as a shorter name.
bool PathExists(const String& path) {
  if (path.Find("<") >= 0 || path.Find(">") >= 0) return false;
  const std::string bytes = path.ToBytes();
  if (bytes.find('\0') != std::string::npos) return false;
  platform::PathStatus status;
  if (!platform::QueryPath(bytes, status)) return false;
  const uint32_t type = status.mode & platform::kModeTypeMask;
  return type == platform::kModeFile || type == platform::kModeDirectory;
}

// The entry of `directory` whose name matches `name` regardless of letter case, joined to
// `prefix` (the directory as the caller spells it); "" when there is none.
String MatchEntry(const String& directory, const String& prefix, const String& name) {
  const auto listing = platform::DirectoryListing::Open(directory.ToBytes());
  if (!listing) return String();
  const String wanted = name.ToLower();
  std::string entry;
  while (listing->Next(entry)) {
    const String entryName = String::FromBytes(entry);
    if (entryName.ToLower() != wanted) continue;
    if (prefix.IsEmpty()) return entryName;
    return prefix == String("/") ? prefix + entryName : prefix + "/" + entryName;
  }
  return String();
}

// Index of the '/' before the last component of `path`, -1 when there is none. A trailing '/'
// does not count as the separator.
int32_t LastSeparator(const String& path) {
  return path.Length() < 2 ? -1 : path.FindLast(u'/', path.Length() - 2);
}

}  // namespace

Url::Url(const String& text) : object_(New<TStringObject>(text)) {}

String Url::Text() const {
  const auto text = Cast<TStringObject>(object_);
  return text ? text->Text() : String();
}

TStreamFactory::TStreamFactory() : next_(g_streamFactories) {
  AddRef();  // the chain's reference, never released
  g_streamFactories = this;
}

Ref<TStream> TStreamFactory::CreateStream(const Url&, const String&, const String&, bool, bool) {
  throw TNullMethodException();
}

Ref<TStreamFactory> StreamFactoryHead() {
  return Ref<TStreamFactory>(g_streamFactories);
}

Ref<TStream> OpenStream(const Url& url, bool readable, bool writeable) {
  if (const auto stream = Cast<TStream>(url.Target())) return TStreamStream::Create(stream);
  // Each level holds its own copy of the rest of the URL on the stack: bounding the depth
  // bounds both the stack and that copying.
  const OpenDepthGuard depth;
  if (depth.TooDeep()) return FailNull("URL nested too deeply");
  const String text = url.Text();
  const ErrorSubject subject(&text);
  String protocol;
  String path;
  if (!text.IsEmpty()) {
    const int32_t separator = text.Find("::");
    if (separator < 0) return TCStream::OpenFile(text, readable, writeable);
    protocol = text.Slice(0, separator).ToLower();
    path = text.Slice(separator + 2);
  }
  const uint64_t failures = LastErrorCount();
  for (TStreamFactory* factory = g_streamFactories; factory != nullptr; factory = factory->Next().Get()) {
    if (Ref<TStream> stream = factory->CreateStream(url, protocol, path, readable, writeable)) return stream;
  }
  // A factory that took the protocol and failed has already said why.
  if (LastErrorCount() != failures) return Null;
  return FailNull(text.IsEmpty() ? "no stream for this URL" : "unknown protocol");
}

Ref<TStream> OpenReadStream(const Url& url) {
  return OpenStream(url, true, false);
}
Ref<TStream> OpenWriteStream(const Url& url) {
  return OpenStream(url, false, true);
}

namespace {

// Everything left in a stream of unknown length, read in large blocks that are never copied
// while they fill (growing one buffer would copy and fault in every page again each time),
// then joined once.
ByteArray ReadRest(TStream& stream) {
  constexpr int32_t kFirstBlock = 64 << 10;
  constexpr int32_t kLargestBlock = 4 << 20;
  std::vector<std::unique_ptr<uint8_t[]>> blocks;
  std::vector<int32_t> lengths;
  int64_t total = 0;
  int32_t blockSize = kFirstBlock;
  while (!stream.Eof()) {
    auto block = std::make_unique_for_overwrite<uint8_t[]>(static_cast<std::size_t>(blockSize));
    int32_t filled = 0;
    while (filled < blockSize && !stream.Eof()) {
      const int32_t n = stream.Read(block.get() + filled, blockSize - filled);
      if (n <= 0) break;  // a stream that delivers nothing although it has not ended
      filled += n;
    }
    // Byte arrays are limited to 32-bit lengths; a longer stream cannot be held.
    if (total + filled > INT32_MAX) throw TStreamReadException();
    total += filled;
    blocks.push_back(std::move(block));
    lengths.push_back(filled);
    if (filled < blockSize) break;
    blockSize = std::min(blockSize * 2, kLargestBlock);
  }
  ByteArray bytes(static_cast<int32_t>(total));
  if (total == 0) return bytes;
  uint8_t* at = bytes.Data();
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    std::memcpy(at, blocks[i].get(), static_cast<std::size_t>(lengths[i]));
    at += lengths[i];
  }
  return bytes;
}

ByteArray Concatenated(const ByteArray& head, const ByteArray& tail) {
  if (tail.Length() == 0) return head;
  if (int64_t{head.Length()} + tail.Length() > INT32_MAX) throw TStreamReadException();
  ByteArray bytes(head.Length() + tail.Length());
  std::memcpy(bytes.Data(), head.Data(), static_cast<std::size_t>(head.Length()));
  std::memcpy(bytes.Data() + head.Length(), tail.Data(), static_cast<std::size_t>(tail.Length()));
  return bytes;
}

}  // namespace

ByteArray LoadAllBytes(const Url& url) {
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) throw TStreamReadException();
  return UseAndClose(stream, [&] {
    // A stream that knows what is left gets one buffer of that size (capped, since a stream's
    // claim is not proof) and is read straight into it.
    constexpr int32_t kLargestFirstBuffer = 64 << 20;
    const int32_t size = stream->Size();
    const int32_t pos = stream->Pos();
    if (pos >= 0 && size > pos) {
      ByteArray bytes(std::min(size - pos, kLargestFirstBuffer));
      int32_t filled = 0;
      while (filled < bytes.Length() && !stream->Eof()) {
        const int32_t n = stream->Read(bytes.Data() + filled, bytes.Length() - filled);
        if (n <= 0) return bytes.Resized(filled);  // a stream that delivers nothing although it has not ended
        filled += n;
      }
      if (filled < bytes.Length()) return bytes.Resized(filled);
      if (stream->Eof()) return bytes;
      return Concatenated(bytes, ReadRest(*stream));
    }
    return ReadRest(*stream);
  });
}

void SaveAllBytes(const ByteArray& bytes, const Url& url) {
  const Ref<TStream> stream = OpenWriteStream(url);
  if (!stream) throw TStreamWriteException();
  UseAndClose(stream, [&] { return stream->WriteBytes(bytes.Data(), bytes.Length()); });
}

String LoadByteText(const Url& url) {
  const ByteArray bytes = LoadAllBytes(url);
  return String::FromBytes(bytes.Data(), static_cast<std::size_t>(bytes.Length()));
}

void SaveByteText(const String& text, const Url& url) {
  const Ref<TStream> stream = OpenWriteStream(url);
  if (!stream) throw TStreamWriteException();
  const std::string bytes = text.ToBytes();
  UseAndClose(stream, [&] { return stream->WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size())); });
}

Ref<Object> LoadSerialised(const Url& url) {
  const Ref<TStream> stream = OpenReadStream(url);
  if (!stream) return Null;
  return UseAndClose(stream, [&] { return stream->ReadObject(); });
}

void SaveSerialised(const Ref<Object>& object, const Url& url) {
  const Ref<TStream> stream = OpenWriteStream(url);
  if (!stream) return;
  UseAndClose(stream, [&] { stream->WriteObject(object); });
}

String ResolveFileNameCase(const String& path) {
  if (path.IsEmpty()) return String();
  // Walk up to the longest prefix that exists as spelled (or to the first component), then
  // match the remaining components one directory at a time. A loop rather than recursion, so
  // that a name with very many components cannot exhaust the stack.
  std::vector<int32_t> separators;  // the '/' before each unresolved component, last component first
  int32_t headLength = path.Length();
  bool headExists = PathExists(path);
  while (!headExists) {
    const int32_t separator = LastSeparator(path.Slice(0, headLength));
    if (separator <= 0) break;
    separators.push_back(separator);
    headLength = separator;
    headExists = PathExists(path.Slice(0, headLength));
  }
  const String head = path.Slice(0, headLength);
  String resolved = head;
  if (!headExists) {
    // The first component: in the current directory, or in the root after a leading '/'.
    resolved =
        LastSeparator(head) == 0 ? MatchEntry("/", "/", head.Slice(1)) : MatchEntry(".", String(), head);
  }
  for (std::size_t k = separators.size(); k-- > 0 && !resolved.IsEmpty();) {
    const int32_t end = k == 0 ? path.Length() : separators[k - 1];
    resolved = MatchEntry(resolved, resolved, path.Slice(separators[k] + 1, end));
  }
  return resolved;
}

}  // namespace corvex
