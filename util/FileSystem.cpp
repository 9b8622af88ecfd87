#include "util/FileSystem.h"

#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "runtime/FileSystemPlatform.h"
#include "runtime/Module.h"
#include "stream/Bank.h"
#include "stream/StreamClosing.h"

namespace corvex {
namespace {

// Permission bits for new directories (the process's umask still applies).
constexpr uint32_t kNewDirectoryMode = 0777;
// Read and write for everyone: what a file is given so that it can be removed.
constexpr uint32_t kRemovableFileMode = 0666;
constexpr uint32_t kPermissionBits = 0x1FF;

// The platform's bytes for a path; nothing for a path the platform must not see: an embedded
// NUL would cut the name short and make the call act on another file.
std::optional<std::string> PlatformPath(const String& path) {
  if (path.Units().find(u'\0') != std::u16string::npos) return std::nullopt;
  return path.ToBytes();
}

// The status query every path query shares; '<' and '>' never name a file.
std::optional<platform::PathStatus> QueryStatus(const String& path) {
  if (path.Find("<") >= 0 || path.Find(">") >= 0) return std::nullopt;
  const auto bytes = PlatformPath(path);
  platform::PathStatus status;
  if (!bytes || !platform::QueryPath(*bytes, status)) return std::nullopt;
  return status;
}

int32_t TypeOf(const std::optional<platform::PathStatus>& status) {
  if (!status) return kPathNone;
  switch (status->mode & platform::kModeTypeMask) {
    case platform::kModeFile:
      return kPathFile;
    case platform::kModeDirectory:
      return kPathDirectory;
    default:
      return kPathNone;
  }
}

// Values beyond 32 bits saturate, so a huge file or a far-future time never wraps into a
// plausible small or negative number.
int32_t Saturate(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// dir + "/" + name, without doubling the separator after a root.
String JoinPath(const String& directory, const String& name) {
  if (directory.EndsWith("/")) return directory + name;
  return directory + "/" + name;
}

// Whether `inner` is `outer` or lies below it, by their resolved spellings.
bool IsSameOrInside(const String& inner, const String& outer) {
  const String a = ResolvePath(inner);
  const String b = ResolvePath(outer);
  if (a == kBadDirectory || b == kBadDirectory) return false;
  return a == b || a.StartsWith(b.EndsWith("/") ? b : b + "/");
}

// Whether the URL text names a plain file (no protocol).
bool IsPlainPath(const String& url) {
  return url.Find("::") < 0;
}

// Every entry name of a directory in listing order; nothing when it does not open.
std::optional<std::vector<String>> ReadEntries(const String& path, bool skipDots) {
  DirectoryHandle handle = OpenDirectory(path);
  if (!handle) return std::nullopt;
  std::vector<String> names;
  for (String name = NextDirectoryEntry(handle); !name.IsEmpty(); name = NextDirectoryEntry(handle)) {
    if (skipDots && (name == "." || name == "..")) continue;
    names.push_back(name);
  }
  return names;
}

}  // namespace

// ---- Path strings ----

void NormalisePath(String& path, bool stripSlash) {
  if (path.IsEmpty()) return;
  path = path.Replace(u'\\', u'/');
  if (path.Length() >= 2 && path.At(1) == u':' && (path.Length() == 2 || path.At(2) != u'/')) {
    path = path.Slice(0, 2) + "/" + path.Slice(2);
  }
  if (stripSlash) path = StripTrailingSlash(path);
}

String StripTrailingSlash(const String& path) {
  if (path.Length() <= 1) return path;
  if (path.Length() == 3 && path.At(1) == u':' && path.At(2) == u'/') return path;
  if (path.EndsWith("/")) return path.Slice(0, path.Length() - 1);
  return path;
}

String FileNamePart(const String& path) {
  String p = path;
  NormalisePath(p);
  const int32_t slash = p.FindLast(u'/');
  return slash < 0 ? p : p.Slice(slash + 1);
}

String WithoutExtension(const String& path) {
  String p = path;
  NormalisePath(p);
  const int32_t dot = p.FindLast(u'.');
  if (dot < 0 || p.Find("/", dot) >= 0) return p;
  return p.Slice(0, dot);
}

String BaseName(const String& path) {
  return FileNamePart(WithoutExtension(path));
}

String DirectoryPart(const String& path) {
  String p = path;
  NormalisePath(p);
  const int32_t slash = p.FindLast(u'/');
  if (slash < 0 || slash == p.Length() - 1) return kBadDirectory;
  // The directory of '/name' is the root itself, not the empty (relative) path.
  if (slash == 0) return "/";
  String directory = p.Slice(0, slash);
  NormalisePath(directory);
  return directory;
}

String ExtensionPart(const String& path) {
  String p = path;
  NormalisePath(p);
  const int32_t dot = p.FindLast(u'.');
  if (dot < 0 || p.Find("/", dot) >= 0) return "";
  return p.Slice(dot + 1);
}

String ResolvePath(const String& path) {
  if (path.IsEmpty() || path == ".") return CurrentDirectory();
  String rest = path;
  NormalisePath(rest);
  String result;
  if (rest.StartsWith("/")) {
    result = "/";
    rest = rest.Slice(1);
    if (rest.StartsWith("/")) {
      result = "//";
      rest = rest.Slice(1);
    }
  } else if (rest.Length() >= 3 && rest.At(1) == u':' && rest.At(2) == u'/') {
    result = rest.Slice(0, 3);
    rest = rest.Slice(3);
  } else {
    result = CurrentDirectory();
  }
  rest += u'/';
  int32_t start = 0;
  for (int32_t slash = rest.Find("/"); slash >= 0; start = slash + 1, slash = rest.Find("/", start)) {
    const String component = rest.Slice(start, slash);
    if (component.IsEmpty() || component == ".") continue;
    if (component == "..") {
      result = DirectoryPart(result);
      if (result == kBadDirectory) return result;
      continue;
    }
    if (!result.IsEmpty() && !result.EndsWith("/")) result += u'/';
    result += component;
  }
  return result;
}

// ---- Queries and changes ----

int32_t PathType(String path) {
  NormalisePath(path);
  return TypeOf(QueryStatus(path));
}

int32_t PathModifiedTime(String path) {
  NormalisePath(path);
  const auto status = QueryStatus(path);
  return status ? Saturate(status->modified) : 0;
}

int32_t PathSize(String path) {
  NormalisePath(path);
  const auto status = QueryStatus(path);
  return status ? Saturate(status->size) : -1;
}

int32_t PathPermissions(String path) {
  NormalisePath(path);
  const auto status = QueryStatus(path);
  return status ? static_cast<int32_t>(status->mode & kPermissionBits) : -1;
}

int32_t SetPathPermissions(String path, int32_t mode) {
  NormalisePath(path);
  const auto bytes = PlatformPath(path);
  return bytes && platform::SetPermissions(*bytes, static_cast<uint32_t>(mode) & kPermissionBits) ? 1 : 0;
}

int32_t MakeEmptyFile(String path) {
  NormalisePath(path);
  RemoveFile(path);
  if (const auto bytes = PlatformPath(path)) {
    if (std::FILE* file = std::fopen(bytes->c_str(), "wb")) std::fclose(file);
  }
  return PathType(path) == kPathFile ? 1 : 0;
}

int32_t MakeDirectory(String path, bool recurse) {
  NormalisePath(path, true);
  if (!recurse) {
    if (const auto bytes = PlatformPath(path)) platform::MakeDirectory(*bytes, kNewDirectoryMode);
    return PathType(path) == kPathDirectory ? 1 : 0;
  }
  const String resolved = ResolvePath(path);
  // Never create a directory literally named after the error text.
  if (resolved == kBadDirectory) return 0;
  const String full = resolved + "/";
  for (int32_t slash = full.Find("/"); slash >= 0; slash = full.Find("/", slash + 1)) {
    // The prefix is queried without its trailing slash: a file followed by '/' does not stat.
    const String prefix = StripTrailingSlash(full.Slice(0, slash + 1));
    if (prefix.IsEmpty()) continue;
    switch (PathType(prefix)) {
      case kPathDirectory:
        continue;
      case kPathFile:
        return 0;
      default:
        if (MakeDirectory(prefix, false) == 0) return 0;
    }
  }
  return 1;
}

int32_t RemoveFile(String path) {
  NormalisePath(path);
  const auto bytes = PlatformPath(path);
  if (!bytes) return 0;
  if (!platform::RemoveFile(*bytes)) {
    // Read-only files refuse removal on some platforms: make the file writable and try once
    // more. Only after the plain removal failed, so the target of a symbolic link is never
    // touched, and the old bits come back when the file stays.
    const auto status = QueryStatus(path);
    if (TypeOf(status) == kPathFile && platform::SetPermissions(*bytes, kRemovableFileMode) &&
        !platform::RemoveFile(*bytes)) {
      platform::SetPermissions(*bytes, status->mode & 07777u);
    }
  }
  return PathType(path) == kPathNone ? 1 : 0;
}

int32_t RenamePath(String from, String to) {
  NormalisePath(from);
  NormalisePath(to);
  const auto fromBytes = PlatformPath(from);
  const auto toBytes = PlatformPath(to);
  return fromBytes && toBytes && platform::RenamePath(*fromBytes, *toBytes) ? 1 : 0;
}

int32_t CopyFileTo(String from, String to) {
  NormalisePath(from);
  NormalisePath(to);
  if (IsPlainPath(from)) {
    // A directory opens like a file on some platforms but has no bytes to copy.
    if (PathType(from) == kPathDirectory) return 0;
    // Opening the destination for writing would empty the source before it is read.
    if (IsPlainPath(to) && ResolvePath(from) == ResolvePath(to)) return 0;
  }
  const Ref<TStream> source = OpenReadStream(from);
  const StreamCloser closeSource(source);
  if (!source) return 0;
  const Ref<TStream> destination = OpenWriteStream(to);
  const StreamCloser closeDestination(destination);
  if (!destination) return 0;
  try {
    CopyStreamToEnd(source, destination, kDefaultCopyBufferSize);
  } catch (const TStreamWriteException&) {
    return 0;
  }
  // The copy stops early when a sized source fails to deliver before its end; that is a read
  // failure, not a finished copy.
  if (source->Pos() != -1 && !source->Eof()) throw TStreamReadException();
  return 1;
}

int32_t CopyDirectoryTree(String from, String to) {
  NormalisePath(from, true);
  NormalisePath(to, true);
  if (PathType(from) != kPathDirectory) return 0;
  // A copy into the tree itself would keep finding what it has just made.
  if (IsSameOrInside(to, from)) return 0;
  if (PathType(to) == kPathNone) MakeDirectory(to, false);
  if (PathType(to) != kPathDirectory) return 0;
  for (const String& name : ListDirectory(from, true)) {
    const String source = JoinPath(from, name);
    const String destination = JoinPath(to, name);
    const int32_t copied = PathType(source) == kPathDirectory ? CopyDirectoryTree(source, destination)
                                                              : CopyFileTo(source, destination);
    if (copied == 0) return 0;
  }
  return 1;
}

int32_t RemoveDirectory(String path, bool recurse) {
  NormalisePath(path, true);
  const auto bytes = PlatformPath(path);
  if (!bytes) return 0;
  if (recurse) {
    // A symbolic link to a directory is removed as a link: what it points at is not ours.
    if (PathType(path) == kPathDirectory && platform::RemoveFile(*bytes)) {
      return PathType(path) == kPathNone ? 1 : 0;
    }
    // The names are read first, so deep trees do not hold one open listing per level.
    const auto names = ReadEntries(path, true);
    if (!names) return 0;
    for (const String& name : *names) {
      const String entry = JoinPath(path, name);
      if (PathType(entry) == kPathDirectory) {
        RemoveDirectory(entry, true);
      } else {
        RemoveFile(entry);
      }
    }
  }
  platform::RemoveDirectory(*bytes);
  return PathType(path) == kPathNone ? 1 : 0;
}

String CurrentDirectory() {
  String directory = String::FromBytes(platform::CurrentDirectory());
  NormalisePath(directory);
  return directory;
}

int32_t SetCurrentDirectory(String path) {
  NormalisePath(path, true);
  const auto bytes = PlatformPath(path);
  return bytes && platform::ChangeDirectory(*bytes) ? 1 : 0;
}

// ---- Directory listing ----

DirectoryHandle::DirectoryHandle() noexcept = default;
DirectoryHandle::DirectoryHandle(std::unique_ptr<platform::DirectoryListing> listing) noexcept
    : listing_(std::move(listing)) {}
DirectoryHandle::DirectoryHandle(DirectoryHandle&&) noexcept = default;
DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&&) noexcept = default;
DirectoryHandle::~DirectoryHandle() = default;

DirectoryHandle OpenDirectory(String path) {
  NormalisePath(path, true);
  const auto bytes = PlatformPath(path);
  if (!bytes) return {};
  return DirectoryHandle(platform::DirectoryListing::Open(*bytes));
}

String NextDirectoryEntry(DirectoryHandle& handle) {
  std::string name;
  if (!handle.listing_ || !handle.listing_->Next(name)) return "";
  return String::FromBytes(name);
}

void CloseDirectory(DirectoryHandle& handle) {
  handle.listing_.reset();
}

Array<String> ListDirectory(String path, bool skipDots) {
  auto names = ReadEntries(path, skipDots);
  return names ? Array<String>::FromVector(std::move(*names)) : Array<String>();
}

// ---- Files as streams ----

Ref<TStream> OpenFileStream(const Url& url, bool readable, bool writeable) {
  Ref<TStream> stream = OpenStream(url, readable, writeable);
  if (!stream || stream->Pos() != -1) return stream;
  // Reading a write-only stream into a copy would block or fail, and writes to the copy would be
  // lost: such a stream is answered as it opened.
  if (!readable) return stream;
  const StreamCloser closeStream(stream);
  const Ref<TBank> bank = TBank::Load(stream);
  if (!bank) return Null;
  return TBankStream::Create(bank);
}

Ref<TStream> ReadFileStream(const Url& url) {
  return OpenFileStream(url, true, false);
}

Ref<TStream> WriteFileStream(const Url& url) {
  return OpenFileStream(url, false, true);
}

void InitFileSystemModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitBankModule();
  InitBankStreamModule();
}

}  // namespace corvex
