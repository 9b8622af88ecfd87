// File-system functions: path strings, file and directory queries and changes, directory
// listings, tree copies and removal, and files opened as seekable streams. Paths use '/'; every
// function normalises its path first, so '\' works as well.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/Array.h"
#include "runtime/String.h"
#include "stream/Stream.h"
#include "stream/Url.h"

namespace corvex {

namespace platform {
class DirectoryListing;
}

// What DirectoryPart answers for a name without a directory, and ResolvePath when ".." climbs
// above a root.
inline constexpr const char* kBadDirectory = "<bad_dir>";

// Path types answered by PathType.
inline constexpr int32_t kPathNone = 0;
inline constexpr int32_t kPathFile = 1;
inline constexpr int32_t kPathDirectory = 2;

// ---- Path strings (no access to the disk) ----

// Rewrites the path in place: '\' becomes '/', a drive letter gets its '/' ('C:' gives 'C:/');
// with stripSlash the result also loses one trailing '/'.
void NormalisePath(String& path, bool stripSlash = false);
// Removes one trailing '/', except from a one-character path or a drive root such as 'C:/'.
String StripTrailingSlash(const String& path);
// The text after the last '/'.
String FileNamePart(const String& path);
// The path without its extension (a '.' after the last '/').
String WithoutExtension(const String& path);
// FileNamePart of WithoutExtension.
String BaseName(const String& path);
// The text before the last '/', normalised; "<bad_dir>" when there is none or it ends the path.
String DirectoryPart(const String& path);
// The extension without its dot, or "".
String ExtensionPart(const String& path);
// The absolute path with "." and ".." removed; relative paths start at CurrentDirectory.
String ResolvePath(const String& path);

// ---- Queries and changes ----

// kPathNone, kPathFile or kPathDirectory.
int32_t PathType(String path);
// Modification time in seconds since 1970; 0 when the query fails.
int32_t PathModifiedTime(String path);
// Size in bytes; -1 when the query fails.
int32_t PathSize(String path);
// The nine permission bits; -1 when the query fails.
int32_t PathPermissions(String path);
// Sets the nine permission bits; 1 on success.
int32_t SetPathPermissions(String path, int32_t mode);
// Replaces whatever file is at the path by an empty one; 1 when a file is there afterwards.
int32_t MakeEmptyFile(String path);
// Creates the directory (with recurse, every missing parent too); 1 when it exists afterwards.
int32_t MakeDirectory(String path, bool recurse = false);
// Removes a file; 1 when nothing is at the path afterwards.
int32_t RemoveFile(String path);
// Renames or moves a file or directory; 1 on success.
int32_t RenamePath(String from, String to);
// Copies one file (any URL that opens for reading) to a file or URL; 1 on success.
int32_t CopyFileTo(String from, String to);
// Copies a directory with everything below it; 1 on success.
int32_t CopyDirectoryTree(String from, String to);
// Removes a directory (with recurse, everything in it first); 1 when nothing is there afterwards.
int32_t RemoveDirectory(String path, bool recurse = false);
// The current directory, normalised.
String CurrentDirectory();
// Makes the path the current directory; 1 on success.
int32_t SetCurrentDirectory(String path);

// ---- Directory listing ----

// An open directory listing. Owns the platform's listing and closes it when destroyed; an
// empty handle is what OpenDirectory answers for a directory that does not open.
class DirectoryHandle {
 public:
  // An empty handle, with no listing open.
  DirectoryHandle() noexcept;
  // Takes ownership of an open platform listing.
  explicit DirectoryHandle(std::unique_ptr<platform::DirectoryListing> listing) noexcept;
  // Handles move, so only one of them ever closes the listing.
  DirectoryHandle(DirectoryHandle&&) noexcept;
  DirectoryHandle& operator=(DirectoryHandle&&) noexcept;
  DirectoryHandle(const DirectoryHandle&) = delete;
  DirectoryHandle& operator=(const DirectoryHandle&) = delete;
  ~DirectoryHandle();

  // Whether a listing is open.
  explicit operator bool() const noexcept { return listing_ != nullptr; }

 private:
  friend String NextDirectoryEntry(DirectoryHandle& handle);
  friend void CloseDirectory(DirectoryHandle& handle);
  std::unique_ptr<platform::DirectoryListing> listing_;
};

// Opens a listing of the directory; an empty handle when it cannot be opened.
DirectoryHandle OpenDirectory(String path);
// The next entry's name ("." and ".." included), or "" when the listing has ended.
String NextDirectoryEntry(DirectoryHandle& handle);
// Closes the listing; the handle is empty afterwards.
void CloseDirectory(DirectoryHandle& handle);
// Every entry name in the platform's order, without "." and ".." when skipDots is set; the empty
// array when the directory does not open.
Array<String> ListDirectory(String path, bool skipDots = false);

// ---- Files as streams ----

// Opens the URL; a stream that cannot seek and is opened for reading is read whole into a bank
// and answered as a bank stream. Null when the URL does not open.
Ref<TStream> OpenFileStream(const Url& url, bool readable, bool writeable);
// OpenFileStream for reading.
Ref<TStream> ReadFileStream(const Url& url);
// OpenFileStream for writing.
Ref<TStream> WriteFileStream(const Url& url);

// The file-system module's initialiser.
void InitFileSystemModule();

}  // namespace corvex
