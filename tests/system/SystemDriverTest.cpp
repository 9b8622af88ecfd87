#include "system/SystemDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "process/Process.h"
#include "system/InputTracker.h"
#include "system/MessageBox.h"
#include "system/Requester.h"
#include "system/posix/DesktopToolsPosix.h"
#include "util/FileSystem.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

// A fresh directory for one test, removed afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    path_ = fs::path(testing::TempDir()) / ("corvex_system_" + std::to_string(::getpid()) + "_" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const fs::path& path() const { return path_; }
  String Str() const { return String::FromBytes(path_.string()); }
  // Writes an executable shell script.
  void Script(const std::string& name, const std::string& body) const {
    const fs::path file = path_ / name;
    std::ofstream(file) << "#!/bin/sh\n" << body;
    fs::permissions(file, fs::perms::owner_all);
  }

 private:
  fs::path path_;
};

// Sets PATH for the lifetime of the object.
class PathOverride {
 public:
  explicit PathOverride(const std::string& path) {
    const char* old = std::getenv("PATH");
    old_ = old != nullptr ? old : "";
    setenv("PATH", path.c_str(), 1);
  }
  ~PathOverride() { setenv("PATH", old_.c_str(), 1); }
  PathOverride(const PathOverride&) = delete;
  PathOverride& operator=(const PathOverride&) = delete;

 private:
  std::string old_;
};

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class SystemDriverTest : public testing::Test {
 protected:
  void SetUp() override { InitInputModule(); }
};

TEST_F(SystemDriverTest, ClockMovesOnAcrossASleepAndNegativeSleepsReturnAtOnce) {
  const int32_t start = MillisNow();
  SleepMillis(30);
  const int32_t slept = MillisNow() - start;
  EXPECT_GE(slept, 30);
  EXPECT_LT(slept, 2000);
  const auto before = std::chrono::steady_clock::now();
  SleepMillis(-5);
  SleepMillis(INT32_MIN);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(20));
}

TEST_F(SystemDriverTest, DateAndTimeTexts) {
  EXPECT_TRUE(std::regex_match(DateText().ToBytes(), std::regex("[0-3][0-9] [A-Z][a-z][a-z] [0-9]{4}")))
      << DateText().ToBytes();
  EXPECT_TRUE(std::regex_match(TimeText().ToBytes(), std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
      << TimeText().ToBytes();
}

TEST_F(SystemDriverTest, ShellUrlsKeepTheirSchemeOrBecomeFileOrHttpUrls) {
  EXPECT_EQ(NormaliseShellUrl("HTTP://Example.com/a#b"), String("HTTP://Example.com/a#b"));
  EXPECT_EQ(NormaliseShellUrl("File:/nowhere"), String("File:/nowhere"));
  EXPECT_EQ(NormaliseShellUrl("www.example.com/page#top"), String("http:www.example.com/page#top"));

  const ScratchDirectory dir;
  std::ofstream((dir.path() / "doc.html")) << "x";
  const String full = ResolvePath(dir.Str() + "/doc.html");
  EXPECT_EQ(NormaliseShellUrl(dir.Str() + "/doc.html"), String("file:") + full);
  EXPECT_EQ(NormaliseShellUrl(dir.Str() + "/./doc.html#part2"), String("file:") + full + "#part2");
  EXPECT_EQ(NormaliseShellUrl(dir.Str() + "/missing.html#x"),
            String("http:") + dir.Str() + "/missing.html#x");
}

TEST_F(SystemDriverTest, MessageBoxButtonsGiveThePartsAnswers) {
  EXPECT_EQ(MessageBoxAnswer(kOkCancelButtons, 0, kOkCancelFailed), 1);
  EXPECT_EQ(MessageBoxAnswer(kOkCancelButtons, 1, kOkCancelFailed), 0);
  EXPECT_EQ(MessageBoxAnswer(kOkCancelButtons, -1, kOkCancelFailed), 0);  // closed or not shown
  EXPECT_EQ(MessageBoxAnswer(kYesNoCancelButtons, 0, kYesNoCancelFailed), 1);
  EXPECT_EQ(MessageBoxAnswer(kYesNoCancelButtons, 1, kYesNoCancelFailed), 0);
  EXPECT_EQ(MessageBoxAnswer(kYesNoCancelButtons, 2, kYesNoCancelFailed), -1);
  EXPECT_EQ(MessageBoxAnswer(kYesNoCancelButtons, -1, kYesNoCancelFailed), -1);
  EXPECT_EQ(MessageBoxAnswer(kYesNoCancelButtons, 3, kYesNoCancelFailed), -1);
  // Enter answers yes or OK, Escape cancels.
  EXPECT_TRUE(kYesNoCancelButtons[0].byEnter && kYesNoCancelButtons[2].byEscape);
  EXPECT_TRUE(kOkCancelButtons[0].byEnter && kOkCancelButtons[1].byEscape);
}

TEST_F(SystemDriverTest, RequesterStartsInTheInitialPathsFolder) {
  const RequesterStart start = SplitRequesterPath("pics/a.jpg");
  EXPECT_EQ(start.directory, String("pics"));
  EXPECT_EQ(start.fileName, String("a.jpg"));
  EXPECT_EQ(SplitRequesterPath("C:\\x\\y.txt").directory, String("C:/x"));
  EXPECT_EQ(SplitRequesterPath("notes.txt").directory, String());
  EXPECT_EQ(SplitRequesterPath("notes.txt").fileName, String("notes.txt"));
  EXPECT_EQ(SplitRequesterPath("dir/").fileName, String());
  const String longName(std::u16string(5000, u'n'));
  EXPECT_EQ(SplitRequesterPath(longName).fileName.Length(), kRequesterNameLimit);
}

TEST_F(SystemDriverTest, PreselectedFilterFollowsTheExtensionButNeverTheLastGroup) {
  const String list = "Image Files:png,jpg;Text:txt";
  EXPECT_EQ(PreselectedFilterIndex(list, "pics/a.jpg"), 1);
  EXPECT_EQ(PreselectedFilterIndex(list, "pics/A.PNG"), 1);
  EXPECT_EQ(PreselectedFilterIndex(list, "notes.txt"), 0);  // txt is in the last group
  EXPECT_EQ(PreselectedFilterIndex(list, "noextension"), 0);
  EXPECT_EQ(PreselectedFilterIndex(list, "a.gif"), 0);
  EXPECT_EQ(PreselectedFilterIndex("A:a;Pictures:gif,png;C:c", "x.png"), 2);
  EXPECT_EQ(PreselectedFilterIndex("A:a;Pictures:gif,png;C:c", "my.dir/x.gif"), 2);
  EXPECT_EQ(PreselectedFilterIndex("png,jpg", "x.png"), 0);  // one unnamed group
  EXPECT_EQ(PreselectedFilterIndex("", "x.png"), 0);
}

TEST_F(SystemDriverTest, ExtensionListsBecomeFilterGroups) {
  const auto groups = ParseFileFilters("Image Files:png, jpg;Text:txt,;Empty:");
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].name, String("Image Files"));
  EXPECT_EQ(groups[0].extensions, (std::vector<String>{"png", "jpg"}));
  EXPECT_EQ(groups[1].extensions, (std::vector<String>{"txt"}));
  EXPECT_TRUE(groups[2].extensions.empty());
  const auto unnamed = ParseFileFilters("png,bmp");
  ASSERT_EQ(unnamed.size(), 1u);
  EXPECT_EQ(unnamed[0].name, String("Files"));
  EXPECT_EQ(unnamed[0].extensions, (std::vector<String>{"png", "bmp"}));
  EXPECT_TRUE(ParseFileFilters("").empty());
}

TEST_F(SystemDriverTest, RequesterCommandLines) {
  const auto groups = ParseFileFilters("Image Files:png,jpg;Text:txt;All:*");
  EXPECT_EQ(
      ToolCommandLine(ZenityFileCommand("Open", groups, 2, false, "/p/a.txt")),
      String("\"zenity\" \"--file-selection\" \"--title=Open\" \"--filename=/p/a.txt\" "
             "\"--file-filter=Text | *.[tT][xX][tT]\" "
             "\"--file-filter=Image Files | *.[pP][nN][gG] *.[jJ][pP][gG]\" \"--file-filter=All | *\""));
  EXPECT_EQ(ToolCommandLine(ZenityFileCommand("Save", {}, 0, true, "")),
            String("\"zenity\" \"--file-selection\" \"--title=Save\" \"--save\" \"--confirm-overwrite\""));
  EXPECT_EQ(ToolCommandLine(KdialogFileCommand("Save", groups, 0, true, "")),
            String("\"kdialog\" \"--title\" \"Save\" \"--getsavefilename\" \".\" "
                   "\"*.png *.jpg|Image Files\n*.txt|Text\n*|All\""));
  EXPECT_EQ(
      ToolCommandLine(ZenityFolderCommand("Pick", "/home/x")),
      String("\"zenity\" \"--file-selection\" \"--directory\" \"--title=Pick\" \"--filename=/home/x\""));
  EXPECT_EQ(ToolCommandLine(KdialogFolderCommand("Pick", "")),
            String("\"kdialog\" \"--title\" \"Pick\" \"--getexistingdirectory\" \".\""));
}

TEST_F(SystemDriverTest, CommandLinesReachTheProgramWordForWord) {
  const ToolCommand words{"a b",  "quote\"in", "back\\slash", "trailing\\",
                          "\\\"", "",          "line\nbreak", "$HOME;`x`"};
  ToolCommand command{"printf", "<%s>"};
  command.insert(command.end(), words.begin(), words.end());
  std::string expected;
  for (const String& word : words) expected += "<" + word.ToBytes() + ">";
  EXPECT_EQ(RunFirstTool({command}).ToBytes(), expected.substr(0, expected.find('\n')));
}

TEST_F(SystemDriverTest, WithoutTheDesktopToolsRequestersAreCancelledAndShellOpenFails) {
  const ScratchDirectory empty;
  const PathOverride path(empty.path().string());
  EXPECT_EQ(ChooseFile("Open", "Text:txt", 0, "notes.txt"), String());
  EXPECT_EQ(ChooseFile("Save", "", 1, ""), String());
  EXPECT_EQ(ChooseFolder("Pick", "/tmp"), String());
  EXPECT_EQ(OpenInShell("http://example.com"), 0);
  EXPECT_EQ(ProcessList() ? ProcessList()->Count() : 0, 0);
}

TEST_F(SystemDriverTest, RequestersAnswerWhatTheToolPrints) {
  const ScratchDirectory tools;
  const fs::path args = tools.path() / "args";
  tools.Script("zenity", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + args.string() +
                             "'\nprintf '/chosen/file.png\\n'\n");
  const PathOverride path(tools.path().string() + ":/usr/bin:/bin");
  EXPECT_EQ(ChooseFile("Open", "Image Files:png,jpg;Text:txt", 0, "pics/a.jpg"), String("/chosen/file.png"));
  const std::string expectedStart = (ResolvePath("pics") + "/a.jpg").ToBytes();
  EXPECT_EQ(ReadFile(args), "--file-selection\n--title=Open\n--filename=" + expectedStart +
                                "\n--file-filter=Image Files | *.[pP][nN][gG] *.[jJ][pP][gG]\n"
                                "--file-filter=Text | *.[tT][xX][tT]\n");
  EXPECT_EQ(ChooseFolder("Pick", "some/../dir"), String("/chosen/file.png"));
  EXPECT_NE(ReadFile(args).find("--filename=" + ResolvePath("dir").ToBytes() + "\n"), std::string::npos);

  // Cancelling prints nothing.
  tools.Script("zenity", "exit 1\n");
  EXPECT_EQ(ChooseFile("Open", "", 0, ""), String());
  // The requesters are waited for and leave nothing on the process list.
  EXPECT_EQ(ProcessList() ? ProcessList()->Count() : 0, 0);
}

TEST_F(SystemDriverTest, KdialogServesWhenZenityIsMissing) {
  const ScratchDirectory tools;
  tools.Script("kdialog", "printf '%s|' \"$@\"\n");
  const PathOverride path(tools.path().string() + ":/usr/bin:/bin");
  EXPECT_EQ(ChooseFolder("Pick", ""), String("--title|Pick|--getexistingdirectory|.|"));
}

TEST_F(SystemDriverTest, OpenInShellHandsTheNormalisedUrlToXdgOpen) {
  const ScratchDirectory tools;
  const fs::path opened = tools.path() / "opened";
  tools.Script("xdg-open", "printf '%s' \"$1\" > '" + opened.string() + ".part' && mv '" + opened.string() +
                               ".part' '" + opened.string() + "'\n");
  const PathOverride path(tools.path().string() + ":/usr/bin:/bin");
  EXPECT_EQ(OpenInShell("www.example.com/a b#c"), 1);
  EXPECT_TRUE(Eventually([&] { return fs::exists(opened); }));
  EXPECT_EQ(ReadFile(opened), "http:www.example.com/a b#c");
}

}  // namespace
}  // namespace corvex
