// File and directory queries and changes, listings, tree copies and removal, and files opened
// as seekable streams. Every test works in a fresh directory of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "stream/Bank.h"
#include "util/FileSystem.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

static_assert(!std::is_copy_constructible_v<DirectoryHandle> && !std::is_copy_assignable_v<DirectoryHandle>);
static_assert(std::is_nothrow_move_constructible_v<DirectoryHandle> &&
              std::is_nothrow_move_assignable_v<DirectoryHandle>);

class FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    InitFileSystemModule();
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    root_ =
        fs::path(testing::TempDir()) / ("corvex-fs-" + name + "-" + std::to_string(std::random_device()()));
    fs::create_directories(root_);
    previous_ = fs::current_path();
  }

  void TearDown() override {
    fs::current_path(previous_);
    std::error_code error;
    // Tests may leave read-only directories behind; open them up so everything can go.
    for (auto it = fs::recursive_directory_iterator(root_, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
      if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(root_, error);
  }

  // The test directory joined with `name`, as the framework spells paths.
  String Path(const std::string& name = "") const {
    return String((name.empty() ? root_ : root_ / name).generic_string().c_str());
  }
  fs::path Native(const std::string& name) const { return root_ / name; }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(Native(name), std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Native(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path root_;
  fs::path previous_;
};

TEST_F(FileSystemTest, StatusQueries) {
  WriteFile("five.bin", "12345");
  EXPECT_EQ(PathType(Path("five.bin")), kPathFile);
  EXPECT_EQ(PathType(Path() + "\\"), kPathDirectory);
  EXPECT_EQ(PathType(Path("missing")), kPathNone);
  EXPECT_EQ(PathSize(Path("five.bin")), 5);
  EXPECT_EQ(PathSize(Path("missing")), -1);
  EXPECT_EQ(PathModifiedTime(Path("missing")), 0);
  EXPECT_EQ(PathPermissions(Path("missing")), -1);
  EXPECT_NEAR(PathModifiedTime(Path("five.bin")), static_cast<int64_t>(std::time(nullptr)), 300);
  ASSERT_EQ(SetPathPermissions(Path("five.bin"), 0640), 1);
  EXPECT_EQ(PathPermissions(Path("five.bin")), 0640);

  WriteFile("a<b", "x");  // such names never reach the platform
  EXPECT_EQ(PathType(Path("a<b")), kPathNone);
}

TEST_F(FileSystemTest, ValuesBeyondThirtyTwoBitsSaturate) {
  WriteFile("huge.bin", "x");
  fs::resize_file(Native("huge.bin"), 3LL << 30);  // sparse: no disk space needed
  EXPECT_EQ(PathSize(Path("huge.bin")), INT32_MAX);
  fs::last_write_time(Native("huge.bin"),
                      fs::file_time_type::clock::now() + std::chrono::hours(24 * 365 * 100));
  EXPECT_EQ(PathModifiedTime(Path("huge.bin")), INT32_MAX);
}

TEST_F(FileSystemTest, MakeEmptyFileAndRemoveFile) {
  WriteFile("ro.txt", "old contents");
  fs::permissions(Native("ro.txt"), fs::perms::owner_read);
  EXPECT_EQ(MakeEmptyFile(Path("ro.txt")), 1);
  EXPECT_EQ(PathSize(Path("ro.txt")), 0);
  EXPECT_EQ(MakeEmptyFile(Path("no/such/dir/x.txt")), 0);
  EXPECT_EQ(RemoveFile(Path("ro.txt")), 1);
  EXPECT_EQ(RemoveFile(Path("missing")), 1);

  // A directory is not a file: it stays, and so do its permissions.
  fs::create_directory(Native("d"));
  const auto before = fs::status(Native("d")).permissions();
  EXPECT_EQ(MakeEmptyFile(Path("d")), 0);
  EXPECT_EQ(RemoveFile(Path("d")), 0);
  EXPECT_EQ(fs::status(Native("d")).permissions(), before);

  // Removing a link leaves its target exactly as it was.
  WriteFile("target.txt", "x");
  fs::permissions(Native("target.txt"), fs::perms::owner_read);
  fs::create_symlink(Native("target.txt"), Native("link"));
  EXPECT_EQ(RemoveFile(Path("link")), 1);
  EXPECT_EQ(fs::status(Native("target.txt")).permissions(), fs::perms::owner_read);

  // An embedded NUL must not shorten the name to that of another file.
  String withNul = Path("target.txt");
  withNul += u'\0';
  withNul += "junk";
  EXPECT_EQ(RemoveFile(withNul), 0);
  EXPECT_TRUE(fs::exists(Native("target.txt")));
}

TEST_F(FileSystemTest, MakeDirectory) {
  EXPECT_EQ(MakeDirectory(Path("one")), 1);
  EXPECT_EQ(MakeDirectory(Path("one") + "/"), 1);  // already there
  EXPECT_EQ(MakeDirectory(Path("x/y")), 0);        // a missing parent without recurse

  // Relative paths grow from the current directory.
  ASSERT_EQ(SetCurrentDirectory(Path() + "/"), 1);
  EXPECT_EQ(SetCurrentDirectory(Path("missing")), 0);
  EXPECT_EQ(MakeDirectory("a\\b\\c\\", true), 1);
  EXPECT_TRUE(fs::is_directory(Native("a/b/c")));

  fs::create_directory(Native("p"));
  WriteFile("p/q", "file");
  EXPECT_EQ(MakeDirectory("p/q/r/s", true), 0);
  EXPECT_FALSE(fs::exists(Native("p/q/r")));

  EXPECT_EQ(MakeDirectory("/..", true), 0);
  EXPECT_FALSE(fs::exists(Native(kBadDirectory)));
}

TEST_F(FileSystemTest, Listings) {
  WriteFile("one", "");
  WriteFile("two", "");
  auto sorted = [](const Array<String>& names) {
    std::vector<String> v(names.begin(), names.end());
    std::sort(v.begin(), v.end());
    return v;
  };
  EXPECT_EQ(sorted(ListDirectory(Path())), (std::vector<String>{".", "..", "one", "two"}));
  EXPECT_EQ(sorted(ListDirectory(Path() + "/", true)), (std::vector<String>{"one", "two"}));
  EXPECT_TRUE(ListDirectory(Path("missing")).IsEmpty());
  EXPECT_TRUE(ListDirectory(Path("one")).IsEmpty());

  DirectoryHandle handle = OpenDirectory(Path());
  ASSERT_TRUE(handle);
  NextDirectoryEntry(handle);
  DirectoryHandle moved = std::move(handle);
  EXPECT_FALSE(NextDirectoryEntry(moved).IsEmpty());
  CloseDirectory(moved);
  EXPECT_FALSE(moved);
  EXPECT_EQ(NextDirectoryEntry(moved), "");
  EXPECT_FALSE(OpenDirectory(Path("missing")));
}

TEST_F(FileSystemTest, CopyFile) {
  std::string big(10000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteFile("src.bin", big);
  EXPECT_EQ(CopyFileTo(Path("src.bin"), Path("dst.bin")), 1);
  EXPECT_EQ(ReadFile("dst.bin"), big);

  EXPECT_EQ(CopyFileTo(Path("missing"), Path("out.bin")), 0);
  EXPECT_FALSE(fs::exists(Native("out.bin")));
  EXPECT_EQ(CopyFileTo(Path("src.bin"), Path("no/dir/out.bin")), 0);
  fs::create_directory(Native("d"));
  EXPECT_EQ(CopyFileTo(Path("d"), Path("d.copy")), 0);

  // Copying a file onto itself must not empty it.
  EXPECT_EQ(CopyFileTo(Path("src.bin"), Path() + "/./src.bin"), 0);
  EXPECT_EQ(ReadFile("src.bin"), big);
}

TEST_F(FileSystemTest, CopyDirectoryTree) {
  fs::create_directories(Native("from/sub/deeper"));
  fs::create_directories(Native("from/empty"));
  WriteFile("from/a.txt", "alpha");
  WriteFile("from/sub/deeper/c.txt", "gamma");
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("to")), 1);
  EXPECT_EQ(ReadFile("to/a.txt"), "alpha");
  EXPECT_EQ(ReadFile("to/sub/deeper/c.txt"), "gamma");
  EXPECT_TRUE(fs::is_directory(Native("to/empty")));
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("to") + "/"), 1);  // over an existing copy

  EXPECT_EQ(CopyDirectoryTree(Path("from/a.txt"), Path("x")), 0);
  EXPECT_EQ(CopyDirectoryTree(Path("missing"), Path("x")), 0);
  EXPECT_FALSE(fs::exists(Native("x")));

  // A copy into the tree itself is refused before anything is made.
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("from/sub/copy")), 0);
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("from/../from")), 0);
  EXPECT_FALSE(fs::exists(Native("from/sub/copy")));
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("from2")), 1);  // a sibling, not inside
}

TEST_F(FileSystemTest, CopyDirectoryTreeOntoAnUnwritableTargetFails) {
  fs::create_directories(Native("from"));
  WriteFile("from/a.txt", "alpha");
  WriteFile("plain", "");
  // Targets that cannot be directories, whoever runs the test.
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("plain/to")), 0);
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("plain")), 0);

  fs::create_directory(Native("readonly"));
  fs::permissions(Native("readonly"), fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(Native("readonly/probe")).is_open()) {
    GTEST_SKIP() << "permission bits do not stop this user";
  }
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("readonly")), 0);
  EXPECT_EQ(CopyDirectoryTree(Path("from"), Path("readonly/to")), 0);
}

TEST_F(FileSystemTest, RemoveDirectory) {
  fs::create_directories(Native("full/sub/deeper"));
  WriteFile("full/a", "");
  WriteFile("full/sub/deeper/b", "");
  fs::permissions(Native("full/a"), fs::perms::owner_read);
  EXPECT_EQ(RemoveDirectory(Path("full")), 0);  // not empty, no recurse
  EXPECT_EQ(RemoveDirectory(Path("full") + "/", true), 1);
  EXPECT_FALSE(fs::exists(Native("full")));
  EXPECT_EQ(RemoveDirectory(Path("missing"), true), 0);
  WriteFile("file", "");
  EXPECT_EQ(RemoveDirectory(Path("file"), true), 0);
  EXPECT_TRUE(fs::exists(Native("file")));

  // Links inside the tree, or the tree itself a link, are removed as links: what they point at
  // is not part of the tree.
  fs::create_directories(Native("outside"));
  WriteFile("outside/precious", "keep");
  fs::create_directories(Native("tree"));
  fs::create_directory_symlink(Native("outside"), Native("tree/link"));
  fs::create_symlink(Native("nowhere"), Native("tree/dangling"));
  EXPECT_EQ(RemoveDirectory(Path("tree"), true), 1);
  fs::create_directory_symlink(Native("outside"), Native("toplink"));
  EXPECT_EQ(RemoveDirectory(Path("toplink"), true), 1);
  EXPECT_FALSE(fs::is_symlink(Native("toplink")));
  EXPECT_EQ(ReadFile("outside/precious"), "keep");
}

// A stream without a position (as a pipe or socket has), handing out its bytes in small reads.
class TUnseekableStream : public TStream {
 public:
  explicit TUnseekableStream(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Eof() override { return at_ >= bytes_.size(); }
  int32_t Read(void* buffer, int32_t count) override {
    const auto n = std::min<std::size_t>({static_cast<std::size_t>(count), bytes_.size() - at_, 7});
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t count) override { return count; }
  void Close() override { closed = true; }
  bool closed = false;

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

// Serves "unseekable::" followed by the bytes to deliver; remembers the last stream it made.
class TUnseekableFactory : public TStreamFactory {
 public:
  Ref<TStream> CreateStream(const Url&, const String& protocol, const String& path, bool, bool) override {
    if (protocol != "unseekable") return Null;
    last = New<TUnseekableStream>(path.ToBytes());
    return last;
  }
  Ref<TUnseekableStream> last;
};

TEST_F(FileSystemTest, FileStreams) {
  WriteFile("f.bin", "hello");
  const Ref<TStream> file = ReadFileStream(Path("f.bin"));
  ASSERT_TRUE(file);
  EXPECT_FALSE(IsA<TBankStream>(file));  // seekable: answered as opened
  EXPECT_EQ(file->Size(), 5);
  file->Close();
  EXPECT_FALSE(ReadFileStream(Path("missing")));

  // The chain keeps factories for the rest of the process.
  static TUnseekableFactory* const factory = New<TUnseekableFactory>().Detach();
  const std::string payload = "a payload longer than one small read";
  const Ref<TStream> copy = ReadFileStream(String("unseekable::") + String(payload.c_str()));
  ASSERT_TRUE(IsA<TBankStream>(copy));
  EXPECT_EQ(copy->Size(), static_cast<int32_t>(payload.size()));
  EXPECT_EQ(copy->Seek(2), 2);
  EXPECT_EQ(copy->ReadString(3), String(payload.substr(2, 3).c_str()));
  EXPECT_TRUE(factory->last->closed);  // opened here and not handed out

  // Opened only for writing, it is answered as it opened: writes must reach it.
  const Ref<TStream> writer = WriteFileStream("unseekable::x");
  EXPECT_TRUE(writer == factory->last);
  EXPECT_FALSE(factory->last->closed);

  // An open stream handed in as the URL is copied and stays open for its owner.
  const auto own = New<TUnseekableStream>("xyz");
  const Ref<TStream> ownCopy = ReadFileStream(own);
  ASSERT_TRUE(IsA<TBankStream>(ownCopy));
  EXPECT_EQ(ownCopy->Size(), 3);
  EXPECT_FALSE(own->closed);
}

}  // namespace
}  // namespace corvex
