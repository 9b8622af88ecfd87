#include "runtime/LastError.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "runtime/Log.h"

namespace corvex {
namespace {

TEST(LastErrorTest, SubjectsNestAndTheInnermostNamedOneWins) {
  ClearLastError();
  EXPECT_EQ(LastErrorText(), String());
  const String outer = "font.pac";
  const String inner = "font.png";
  const String empty;
  {
    const ErrorSubject named(&outer);
    SetLastError("bad frame line");
    EXPECT_EQ(LastErrorText(), String("font.pac: bad frame line"));
    {
      const ErrorSubject atlas(&inner);
      const ErrorSubject nameless(&empty);  // a stream object given as the URL names nothing
      SetLastError("PNG: CRC error");
      EXPECT_EQ(LastErrorText(), String("font.png: PNG: CRC error"));
      SetLastErrorAbout("OpenGraphics 1 x 1", "no such window size");
      EXPECT_EQ(LastErrorText(), String("OpenGraphics 1 x 1: no such window size"));
    }
    SetLastError("truncated");
    EXPECT_EQ(LastErrorText(), String("font.pac: truncated"));
  }
  const uint64_t before = LastErrorCount();
  SetLastError("no subject");
  EXPECT_EQ(LastErrorText(), String("no subject"));
  EXPECT_EQ(LastErrorCount(), before + 1);
  ClearLastError();
  EXPECT_EQ(LastErrorText(), String());
}

TEST(LastErrorTest, EachThreadKeepsItsOwn) {
  SetLastError("main thread's");
  String seen = "unset";
  std::thread other([&seen] {
    seen = LastErrorText();
    SetLastError("other thread's");
  });
  other.join();
  EXPECT_EQ(seen, String());
  EXPECT_EQ(LastErrorText(), String("main thread's"));
}

std::vector<std::pair<LogLevel, String>> g_lines;

TEST(LogTest, HandlerGetsLinesAtOrAboveItsLevelUntilReset) {
  SetLogHandler([](LogLevel level, const String& text) { g_lines.emplace_back(level, text); },
                LogLevel::Info);
  LogLine(LogLevel::Debug, "dropped");
  LogLine(LogLevel::Info, "kept");
  LogLine(LogLevel::Warning, String("also kept"));
  SetLogHandler(nullptr);
  testing::internal::CaptureStderr();
  LogLine(LogLevel::Info, "below the default level");
  LogLine(LogLevel::Warning, "PNG: iCCP: known incorrect sRGB profile");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "warning: PNG: iCCP: known incorrect sRGB profile\n");
  ASSERT_EQ(g_lines.size(), 2u);
  EXPECT_EQ(g_lines[0], std::make_pair(LogLevel::Info, String("kept")));
  EXPECT_EQ(g_lines[1], std::make_pair(LogLevel::Warning, String("also kept")));
}

}  // namespace
}  // namespace corvex
