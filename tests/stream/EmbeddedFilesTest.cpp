#include <gtest/gtest.h>

#include <string>

#include "stream/EmbeddedFiles.h"
#include "tests/stream/StreamTestSupport.h"

namespace corvex {
namespace {

using testing_support::UniqueName;

TEST(EmbeddedFilesTest, TheFirstRegistrationOfANameWins) {
  static const uint8_t kFirst[] = {1, 2, 3};
  static const uint8_t kSecond[] = {9};
  const String name(UniqueName("a.bin").c_str());
  EXPECT_TRUE(AddEmbeddedFile(name, kFirst, 3));
  EXPECT_FALSE(AddEmbeddedFile(name, kSecond, 1));
  EXPECT_EQ(EmbeddedFileData(name), kFirst);
  EXPECT_EQ(EmbeddedFileSize(name), 3);
  const EmbeddedFile* entry = FindEmbeddedFile(name);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->name, name);
}

TEST(EmbeddedFilesTest, NamesMatchExactly) {
  static const uint8_t kData[] = {7};
  const std::string name = UniqueName("case.pac");
  ASSERT_TRUE(AddEmbeddedFile(name.c_str(), kData, 1));
  const String upper = String(name.c_str()).Replace(u'c', u'C');
  EXPECT_EQ(EmbeddedFileData(upper), nullptr);
  EXPECT_EQ(EmbeddedFileSize(upper), 0);
  EXPECT_EQ(FindEmbeddedFile((name + " ").c_str()), nullptr);
  EXPECT_EQ(FindEmbeddedFile(("./" + name).c_str()), nullptr);
  // Names are whole code units: one that only shares the low byte is another name.
  EXPECT_EQ(FindEmbeddedFile(String(name.c_str()).Replace(u'c', u'\u0163')), nullptr);
  EXPECT_TRUE(AddEmbeddedFile(upper, kData, 1));
}

TEST(EmbeddedFilesTest, AnEmptyFileIsFoundWithItsPointer) {
  static const uint8_t kData[] = {0};
  const String name(UniqueName("empty.bin").c_str());
  ASSERT_TRUE(AddEmbeddedFile(name, kData, 0));
  EXPECT_EQ(EmbeddedFileData(name), kData);
  EXPECT_EQ(EmbeddedFileSize(name), 0);
}

TEST(EmbeddedFilesTest, EntriesWithoutBytesAreRefused) {
  static const uint8_t kData[] = {0};
  const String name(UniqueName("refused.bin").c_str());
  EXPECT_FALSE(AddEmbeddedFile(name, nullptr, 4));
  EXPECT_FALSE(AddEmbeddedFile(name, kData, -1));
  EXPECT_EQ(FindEmbeddedFile(name), nullptr);
}

}  // namespace
}  // namespace corvex
