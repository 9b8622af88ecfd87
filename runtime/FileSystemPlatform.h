// What the file-system functions need from the platform: status queries, permission changes,
// directory creation, removal and listing, renaming and the current directory. Paths are the
// platform's bytes (the low byte of each code unit) with '/' separators.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvex::platform {

// The parts of a status query the framework uses.
struct PathStatus {
  uint32_t mode = 0;     // type bits (0xF000 mask: 0x8000 file, 0x4000 directory) and permissions
  int64_t size = 0;      // bytes
  int64_t modified = 0;  // seconds since 1970
};

// The type bits of PathStatus::mode.
inline constexpr uint32_t kModeTypeMask = 0xF000;
inline constexpr uint32_t kModeFile = 0x8000;
inline constexpr uint32_t kModeDirectory = 0x4000;

// Fills `status` for the path; false when the query fails.
bool QueryPath(const std::string& path, PathStatus& status);
// Sets the permission bits; false on failure.
bool SetPermissions(const std::string& path, uint32_t mode);
// Removes a file (not a directory); false on failure.
bool RemoveFile(const std::string& path);
// Renames or moves a file or directory; false on failure.
bool RenamePath(const std::string& from, const std::string& to);
// Creates one directory with the given permission bits; false on failure.
bool MakeDirectory(const std::string& path, uint32_t mode);
// Removes an empty directory; false on failure.
bool RemoveDirectory(const std::string& path);
// The current directory, "" when it cannot be read.
std::string CurrentDirectory();
// Changes the current directory; false on failure.
bool ChangeDirectory(const std::string& path);

// An open directory listing; entries come in the platform's order, "." and ".." included.
class DirectoryListing {
 public:
  // Opens a listing, or answers null when the directory cannot be opened.
  static std::unique_ptr<DirectoryListing> Open(const std::string& path);
  virtual ~DirectoryListing() = default;
  // The next entry's name; false when the listing has ended.
  virtual bool Next(std::string& name) = 0;
};

}  // namespace corvex::platform
