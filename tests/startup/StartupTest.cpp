#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "startup/AppStrings.h"
#include "startup/Startup.h"
#include "util/FileSystem.h"

namespace corvex {
namespace {

TEST(StartupTest, ExecutableDirectoryKeepsOnlyARootsSeparator) {
  EXPECT_EQ(ExecutableDirectory("C:/Games/Demo/demo.exe"), String("C:/Games/Demo"));
  EXPECT_EQ(ExecutableDirectory("C:/demo.exe"), String("C:/"));
  EXPECT_EQ(ExecutableDirectory("/usr/bin/demo"), String("/usr/bin"));
  EXPECT_EQ(ExecutableDirectory("/demo"), String("/"));
}

// Each start-up test runs RunProgram in a child process: it installs handlers and changes the
// current directory for good.
void ExitWith(bool ok, const char* what) {
  std::fprintf(stderr, "%s %s", what, ok ? "ok" : "wrong");
  std::exit(ok ? 0 : 1);
}

int RunWithArguments(std::initializer_list<const char*> arguments, void (*programInit)()) {
  std::vector<std::string> storage(arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return RunProgram(static_cast<int>(storage.size()), argv.data(), programInit);
}

void CheckStrings() {
  const bool ok =
      AppArguments().Length() == 2 && AppArguments()[0] == String("startup_tests") &&
      AppArguments()[1] == String("--flag") && LaunchDirectory() == String("/") &&
      AppTitle() == String("Corvex Application") && AppExecutablePath().EndsWith("/startup_tests") &&
      AppDirectory() == ExecutableDirectory(AppExecutablePath()) && CurrentDirectory() == AppDirectory();
  ExitWith(ok, "strings");
}

TEST(StartupDeathTest, ProgramSeesItsStringsAndRunsInTheExecutableDirectory) {
  EXPECT_EXIT(
      {
        if (chdir("/") != 0) std::exit(2);
        RunWithArguments({"startup_tests", "--flag"}, CheckStrings);
      },
      testing::ExitedWithCode(0), "strings ok");
}

TEST(StartupDeathTest, ProgramWithoutArgumentsStillHasItsPath) {
  EXPECT_EXIT(RunWithArguments({"prog"}, [] { ExitWith(AppArguments().Length() == 1, "arguments"); }),
              testing::ExitedWithCode(0), "arguments ok");
}

TEST(StartupDeathTest, ReturningProgramAnswersZero) {
  EXPECT_EXIT(std::exit(RunWithArguments({"prog"}, [] {})), testing::ExitedWithCode(0), "");
}

TEST(StartupDeathTest, UncaughtErrorEndsWith255AndItsText) {
  EXPECT_EXIT(RunWithArguments({"prog"}, [] { throw TRuntimeException("Unable to start"); }),
              testing::ExitedWithCode(255), "^Unable to start$");
  EXPECT_EXIT(RunWithArguments({"prog"}, [] { throw std::runtime_error("disk full"); }),
              testing::ExitedWithCode(255), "^disk full$");
}

int g_signal = 0;

void RaiseWithSignalLineOnStandardError() {
  dup2(STDERR_FILENO, STDOUT_FILENO);  // the signal line goes to standard output
  RunWithArguments({"prog"}, [] { std::raise(g_signal); });
}

TEST(StartupDeathTest, CrashSignalsBecomeTheReceivedSignalPath) {
  for (int signal : {SIGSEGV, SIGILL, SIGABRT, SIGTERM}) {
    g_signal = signal;
    const std::string expected = "^signal!:" + std::to_string(signal) + "\nReceived Signal$";
    EXPECT_EXIT(RaiseWithSignalLineOnStandardError(), testing::ExitedWithCode(255), expected);
  }
}

void WriteThroughNull() {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  RunWithArguments({"prog"}, [] {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  });
}

TEST(StartupDeathTest, ARealMemoryFaultIsReported) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers report this fault themselves";
#endif
  EXPECT_EXIT(WriteThroughNull(), testing::ExitedWithCode(255), "signal!:11\nReceived Signal");
}

}  // namespace
}  // namespace corvex
