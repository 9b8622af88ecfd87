#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "stream/StdIO.h"

namespace corvex {
namespace {

// Each case runs in a child process whose standard input and output are files, so the test
// sees the exact bytes and leaves the runner's own streams alone. The child reports what it
// found through its exit status.
class StdIODeathTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void SetUp() override {
    InitStdIOModule();
    const std::string base =
        testing::TempDir() + "corvex_stdio_" + testing::UnitTest::GetInstance()->current_test_info()->name();
    inputPath_ = base + ".in";
    outputPath_ = base + ".out";
    WriteInput("");
  }
  void TearDown() override {
    std::remove(inputPath_.c_str());
    std::remove(outputPath_.c_str());
  }

  void WriteInput(const std::string& bytes) const {
    std::FILE* file = std::fopen(inputPath_.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  std::string ReadOutput() const {
    std::string bytes;
    std::FILE* file = std::fopen(outputPath_.c_str(), "rb");
    if (file == nullptr) return bytes;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) bytes += static_cast<char>(c);
    std::fclose(file);
    return bytes;
  }
  // In the child: standard input reads the input file, standard output writes the output file.
  void RedirectStandardStreams() const {
    if (std::freopen(inputPath_.c_str(), "rb", stdin) == nullptr) std::exit(90);
    if (std::freopen(outputPath_.c_str(), "wb", stdout) == nullptr) std::exit(91);
  }

  std::string inputPath_;
  std::string outputPath_;
};

TEST_F(StdIODeathTest, PrintLineWritesUtf8AndCrLfAndFlushesAtOnce) {
  EXPECT_EXIT(
      {
        RedirectStandardStreams();
        PrintLine(String(u"\u00E9"));
        // Still running and nothing flushed by hand: the bytes must already be in the file.
        std::exit(ReadOutput() == "\xC3\xA9\r\n" ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadOutput(), "\xC3\xA9\r\n");
}

TEST_F(StdIODeathTest, InputLineShowsThePromptAndDecodesUtf8LinesUntilInputEnds) {
  WriteInput("h\xC3\xA9llo\r\ntwo\n");
  EXPECT_EXIT(
      {
        RedirectStandardStreams();
        if (InputLine("Name? ") != String(u"h\u00E9llo")) std::exit(1);
        if (ReadOutput() != "Name? ") std::exit(2);  // the prompt is flushed before reading
        if (InputLine(String(u"\u20AC")) != String("two")) std::exit(3);
        try {
          InputLine("");
        } catch (const TStreamReadException&) {
          std::exit(0);  // standard input never reports its end: reading past it is an error
        }
        std::exit(4);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadOutput(), "Name? \xE2\x82\xAC");  // no line end after a prompt
}

}  // namespace
}  // namespace corvex
