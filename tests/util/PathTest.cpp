// The path-string functions: normalising, taking apart and resolving paths.
#include <gtest/gtest.h>

#include "util/FileSystem.h"

namespace corvex {
namespace {

String Normalised(const char* path, bool stripSlash = false) {
  String p = path;
  NormalisePath(p, stripSlash);
  return p;
}

TEST(PathTest, NormaliseAndStripTrailingSlash) {
  EXPECT_EQ(Normalised("C:\\games\\demo"), "C:/games/demo");
  EXPECT_EQ(Normalised("C:"), "C:/");
  EXPECT_EQ(Normalised("C:relative"), "C:/relative");
  EXPECT_EQ(Normalised(""), "");
  EXPECT_EQ(Normalised("a\\b\\", true), "a/b");

  EXPECT_EQ(StripTrailingSlash("C:/"), "C:/");
  EXPECT_EQ(StripTrailingSlash("/"), "/");
  EXPECT_EQ(StripTrailingSlash("a/b/"), "a/b");
  EXPECT_EQ(StripTrailingSlash("a/b//"), "a/b/");
}

TEST(PathTest, TakingPathsApart) {
  EXPECT_EQ(FileNamePart("dir\\sub\\file.txt"), "file.txt");
  EXPECT_EQ(FileNamePart("file.txt"), "file.txt");
  EXPECT_EQ(WithoutExtension("dir.v2/file"), "dir.v2/file");
  EXPECT_EQ(WithoutExtension("pic.tar.gz"), "pic.tar");
  EXPECT_EQ(WithoutExtension("incbin::pactwo.pac"), "incbin::pactwo");
  EXPECT_EQ(BaseName("C:/data/level.one.map"), "level.one");
  EXPECT_EQ(ExtensionPart("readme"), "");
  EXPECT_EQ(ExtensionPart("pic.tar.gz"), "gz");
  EXPECT_EQ(ExtensionPart("dir.v2/file"), "");

  EXPECT_EQ(DirectoryPart("a/b/c.txt"), "a/b");
  EXPECT_EQ(DirectoryPart("C:/dir"), "C:/");
  EXPECT_EQ(DirectoryPart("file.txt"), kBadDirectory);
  EXPECT_EQ(DirectoryPart("C:/"), kBadDirectory);
  // The parent of a name directly under the root is the root, not an empty relative path.
  EXPECT_EQ(DirectoryPart("/dir"), "/");
}

TEST(PathTest, ResolvePath) {
  EXPECT_EQ(ResolvePath("C:/a/./b/../c/"), "C:/a/c");
  EXPECT_EQ(ResolvePath("C:/x/../.."), kBadDirectory);
  EXPECT_EQ(ResolvePath("C:/x/.."), "C:/");
  EXPECT_EQ(ResolvePath("//server/share/x"), "//server/share/x");
  EXPECT_EQ(ResolvePath("/usr//lib/./x"), "/usr/lib/x");
  EXPECT_EQ(ResolvePath("/a/../b"), "/b");
  EXPECT_EQ(ResolvePath("/.."), kBadDirectory);

  const String current = CurrentDirectory();
  ASSERT_FALSE(current.IsEmpty());
  EXPECT_EQ(ResolvePath(""), current);
  EXPECT_EQ(ResolvePath("."), current);
  EXPECT_EQ(ResolvePath("a/./b/../c"), (current == "/" ? String("/") : current + "/") + "a/c");
}

}  // namespace
}  // namespace corvex
