// The POSIX side of the file-system functions: status queries, permissions, creation,
// removal, renaming, the current directory and directory listings.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "runtime/FileSystemPlatform.h"

namespace corvex::platform {

bool QueryPath(const std::string& path, PathStatus& status) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  // The framework's type bits are the classic ones; map rather than trust the platform's values.
  uint32_t type = 0;
  if (S_ISREG(info.st_mode)) {
    type = 0x8000;
  } else if (S_ISDIR(info.st_mode)) {
    type = 0x4000;
  }
  status.mode = type | (static_cast<uint32_t>(info.st_mode) & 07777u);
  status.size = static_cast<int64_t>(info.st_size);
  status.modified = static_cast<int64_t>(info.st_mtime);
  return true;
}

bool SetPermissions(const std::string& path, uint32_t mode) {
  return ::chmod(path.c_str(), static_cast<mode_t>(mode & 07777u)) == 0;
}

bool RemoveFile(const std::string& path) {
  // unlink, not remove: remove would also take away an empty directory.
  return ::unlink(path.c_str()) == 0;
}

bool RenamePath(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool MakeDirectory(const std::string& path, uint32_t mode) {
  return ::mkdir(path.c_str(), static_cast<mode_t>(mode & 07777u)) == 0;
}

bool RemoveDirectory(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(1024);
  // Grow for deep directories; the caller decides how much of the answer it keeps.
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

bool ChangeDirectory(const std::string& path) {
  return ::chdir(path.c_str()) == 0;
}

namespace {

class PosixDirectoryListing final : public DirectoryListing {
 public:
  explicit PosixDirectoryListing(DIR* dir) noexcept : dir_(dir) {}
  PosixDirectoryListing(const PosixDirectoryListing&) = delete;
  PosixDirectoryListing& operator=(const PosixDirectoryListing&) = delete;
  ~PosixDirectoryListing() override { ::closedir(dir_); }

  bool Next(std::string& name) override {
    const dirent* entry = ::readdir(dir_);
    if (entry == nullptr) return false;
    name = entry->d_name;
    return true;
  }

 private:
  DIR* dir_;
};

}  // namespace

std::unique_ptr<DirectoryListing> DirectoryListing::Open(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return nullptr;
  return std::make_unique<PosixDirectoryListing>(dir);
}

}  // namespace corvex::platform
