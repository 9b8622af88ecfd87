#include "process/Process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "data/List.h"
#include "runtime/Exceptions.h"
#include "tests/process/ProcessProbe.h"

namespace corvex {
namespace {

// Waits up to a few seconds for `condition`, checking every few milliseconds.
template <class Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Polls the non-waiting line reader until a non-empty line arrives ("" after the time-out).
String PollLine(const Ref<TPipeStream>& pipe) {
  String line;
  Eventually([&] {
    line = pipe->ReadLine();
    return !line.IsEmpty();
  });
  return line;
}

// Everything the child writes until its output closes.
std::string ReadToEnd(const Ref<TPipeStream>& pipe) {
  std::string text;
  char chunk[256];
  while (const int32_t got = pipe->Read(chunk, sizeof chunk))
    text.append(chunk, static_cast<std::size_t>(got));
  return text;
}

bool Listed(const Ref<TProcess>& process) {
  const Ref<TList> list = ProcessList();
  return list && list->Contains(process);
}

int32_t ListedCount() {
  const Ref<TList> list = ProcessList();
  return list ? list->Count() : 0;
}

// Gone, or a zombie waiting for a parent that is not this program to collect it.
bool Ended(int64_t id) {
  const char state = probe::ProcessState(id);
  return state == 0 || state == 'Z';
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { InitProcessModule(); }
  // Whatever a failing test left running.
  void TearDown() override { TProcess::KillAll(); }
};

TEST_F(ProcessTest, TalksToTheChildThroughItsPipesUntilItEnds) {
  const Ref<TProcess> cat = LaunchProcess("cat");
  ASSERT_TRUE(cat);
  EXPECT_EQ(cat->Command(), String("cat"));
  const int64_t pid = cat->ProcessId();
  ASSERT_GT(pid, 0);
  EXPECT_EQ(probe::ProcessGroup(pid), pid);  // a process group of its own
  EXPECT_EQ(ProcessRunning(cat), 1);
  EXPECT_TRUE(Listed(cat));

  EXPECT_TRUE(cat->Pipe()->WriteLine("hello"));
  EXPECT_EQ(PollLine(cat->Pipe()), String("hello"));
  EXPECT_TRUE(cat->Pipe()->ReadAvailable().IsEmpty());

  cat->ClosePipes();  // cat reads the end of its input and leaves
  EXPECT_TRUE(cat->Pipe().IsNull());
  EXPECT_TRUE(cat->ErrorPipe().IsNull());
  EXPECT_TRUE(Eventually([&] { return ProcessRunning(cat) == 0; }));
  EXPECT_EQ(probe::ProcessState(pid), 'Z');  // kept until killed: its group's id stays its own
  EXPECT_TRUE(Listed(cat));                  // listed until killed
  EXPECT_EQ(KillProcess(cat), 0);            // it had already ended
  EXPECT_FALSE(Listed(cat));
  EXPECT_EQ(probe::ProcessState(pid), 0);  // collected: no zombie stays behind
}

TEST_F(ProcessTest, StandardErrorArrivesOnTheErrorPipeWhichCannotBeWritten) {
  const Ref<TProcess> shell = TProcess::Launch("sh -c \"echo out; echo err >&2\"");
  ASSERT_TRUE(shell);
  EXPECT_EQ(PollLine(shell->Pipe()), String("out"));
  EXPECT_EQ(PollLine(shell->ErrorPipe()), String("err"));
  const char byte = 'x';
  EXPECT_THROW(shell->ErrorPipe()->WriteBytes(&byte, 1), TStreamWriteException);
  shell->Kill();
  shell->ClosePipes();
}

TEST_F(ProcessTest, CommandLineSplitsAtWhiteSpaceAndGroupsQuotedWords) {
  const Ref<TProcess> printer =
      TProcess::Launch("  printf \"<%s>\" \"a  b\"\tc \"\" x\"y z\"w \\\"q\\\" back\\slash  ");
  ASSERT_TRUE(printer);
  EXPECT_EQ(ReadToEnd(printer->Pipe()), "<a  b><c><><xy zw><\"q\"><back\\slash>");
  printer->Kill();
  printer->ClosePipes();
}

TEST_F(ProcessTest, WhatCannotBeStartedGivesNullAndLeavesNothingBehind) {
  const std::string notExecutable = ::testing::TempDir() + "corvex-process-not-executable";
  std::ofstream(notExecutable) << "echo never\n";
  const int descriptors = probe::OpenDescriptorCount();
  const int32_t listed = ListedCount();

  for (const char* command : {"corvex-no-such-program", "/no/such/program", "", "   ", "\"\"", "/tmp"}) {
    SCOPED_TRACE(command);
    EXPECT_TRUE(TProcess::Launch(command).IsNull());
  }
  EXPECT_TRUE(TProcess::Launch(String(notExecutable.c_str())).IsNull());
  EXPECT_EQ(probe::OpenDescriptorCount(), descriptors);
  EXPECT_EQ(ListedCount(), listed);
  std::remove(notExecutable.c_str());
}

TEST_F(ProcessTest, KillTerminatesTheChildAndItsDirectChildrenOnce) {
  const Ref<TProcess> shell = TProcess::Launch("sh -c \"sleep 100 & echo $!; exec sleep 100\"");
  ASSERT_TRUE(shell);
  const int64_t pid = shell->ProcessId();
  const int64_t grandchild = PollLine(shell->Pipe()).ToLong();
  ASSERT_GT(grandchild, 0);
  EXPECT_EQ(shell->Running(), 1);

  EXPECT_NE(shell->Kill(), 0);
  EXPECT_EQ(shell->Running(), 0);
  EXPECT_EQ(shell->ProcessId(), 0);
  EXPECT_FALSE(Listed(shell));
  EXPECT_EQ(probe::ProcessState(pid), 0);
  ASSERT_TRUE(Eventually([&] { return Ended(grandchild); }));  // before a read that would wait
  EXPECT_EQ(shell->Kill(), 0);

  // The pipes stay open; with every writer gone they read nothing more.
  ASSERT_TRUE(shell->Pipe());
  char byte = 0;
  EXPECT_EQ(shell->Pipe()->Read(&byte, 1), 0);
  shell->ClosePipes();
}

TEST_F(ProcessTest, AChildThatDiesMidWriteLeavesItsDataThenNothing) {
  const Ref<TProcess> shell = TProcess::Launch("sh -c \"printf abc; kill -9 $$\"", 1);
  ASSERT_TRUE(shell);
  char data[3] = {};
  EXPECT_EQ(shell->Pipe()->ReadBytes(data, 3), 3);
  EXPECT_EQ(std::string(data, 3), "abc");
  EXPECT_EQ(shell->Pipe()->Read(data, 1), 0);
  EXPECT_THROW(shell->Pipe()->ReadBytes(data, 1), TStreamReadException);
  EXPECT_TRUE(Eventually([&] { return shell->Running() == 0; }));
  EXPECT_EQ(shell->Kill(), 0);
  shell->ClosePipes();
}

TEST_F(ProcessTest, WritingToAChildThatClosedItsInputFails) {
  const Ref<TProcess> shell = TProcess::Launch("sh -c \"exec 0<&-; echo closed; exec sleep 100\"");
  ASSERT_TRUE(shell);
  ASSERT_EQ(PollLine(shell->Pipe()), String("closed"));
  const char text[] = "ignored";
  EXPECT_THROW(shell->Pipe()->WriteBytes(text, sizeof text), TStreamWriteException);
  EXPECT_FALSE(shell->Pipe()->WriteLine("ignored"));
  EXPECT_EQ(shell->Running(), 1);
  EXPECT_NE(shell->Kill(), 0);
  shell->ClosePipes();
}

TEST_F(ProcessTest, LaterChildrenDoNotInheritThePipesOfEarlierOnes) {
  const Ref<TProcess> cat = TProcess::Launch("cat");
  const Ref<TProcess> sleeper = TProcess::Launch("sleep 100");
  ASSERT_TRUE(cat);
  ASSERT_TRUE(sleeper);
  // Were cat's input inherited by the sleeper, cat would never see its end.
  cat->ClosePipes();
  EXPECT_TRUE(Eventually([&] { return cat->Running() == 0; }));
  EXPECT_NE(sleeper->Kill(), 0);
  sleeper->ClosePipes();
  cat->Kill();
}

TEST_F(ProcessTest, KillAllKillsEveryListedProcessAndClosesItsPipes) {
  const Ref<TProcess> first = TProcess::Launch("sleep 100");
  const Ref<TProcess> second = TProcess::Launch("sleep 100");
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  const int64_t ids[] = {first->ProcessId(), second->ProcessId()};
  TProcess::KillAll();
  EXPECT_EQ(ListedCount(), 0);
  for (const Ref<TProcess>& process : {first, second}) {
    EXPECT_EQ(process->Running(), 0);
    EXPECT_TRUE(process->Pipe().IsNull());
    EXPECT_TRUE(process->ErrorPipe().IsNull());
  }
  for (const int64_t id : ids) EXPECT_EQ(probe::ProcessState(id), 0);
}

TEST_F(ProcessTest, KillingAChildThatHasEndedKillsWhatItLeftRunning) {
  const Ref<TProcess> shell = TProcess::Launch("sh -c \"sleep 100 & echo $!\"");
  ASSERT_TRUE(shell);
  const int64_t server = PollLine(shell->Pipe()).ToLong();
  ASSERT_GT(server, 0);
  ASSERT_TRUE(Eventually([&] { return shell->Running() == 0; }));
  EXPECT_FALSE(Ended(server));
  EXPECT_EQ(shell->Kill(), 0);  // the shell itself was no longer running
  EXPECT_TRUE(Eventually([&] { return Ended(server); }));
  shell->ClosePipes();
}

// Starts the helper program in `mode`, takes its "<child> <grandchild>" line, lets `end` end it,
// and checks that both are gone and what the helper wrote after that line (one more line, or
// nothing when `lastLine` is empty).
template <class End>
void CheckHelperLeavesNoChild(const char* mode, End end, const char* lastLine, const std::string& errors) {
  const Ref<TProcess> helper = TProcess::Launch(String("\"" CORVEX_PROCESS_TEST_HELPER "\" ") + mode);
  ASSERT_TRUE(helper);
  const String line = PollLine(helper->Pipe());
  const int32_t space = line.Find(" ");
  ASSERT_GT(space, 0) << line.ToBytes();
  const int64_t child = line.Slice(0, space).ToLong();
  const int64_t grandchild = line.Slice(space + 1).ToLong();
  ASSERT_GT(child, 0);
  ASSERT_GT(grandchild, 0);

  end(helper->ProcessId());
  EXPECT_TRUE(Eventually([&] { return helper->Running() == 0; }));
  EXPECT_TRUE(Eventually([&] { return Ended(child) && Ended(grandchild); }));
  if (*lastLine != '\0') {
    EXPECT_EQ(PollLine(helper->Pipe()), String(lastLine));
  }
  EXPECT_EQ(ReadToEnd(helper->Pipe()), "");
  EXPECT_EQ(ReadToEnd(helper->ErrorPipe()), errors);
  helper->Kill();
  helper->ClosePipes();
}

TEST_F(ProcessTest, ProgramExitKillsListedChildrenAndTheirChildren) {
  CheckHelperLeavesNoChild(
      "", [](int64_t) {}, "", "");
}

TEST_F(ProcessTest, ACrashKillsListedChildrenAndStillWritesWhatOutputHeld) {
  static_assert(SIGSEGV == 11 && SIGTERM == 15);
  CheckHelperLeavesNoChild(
      "segv", [](int64_t) {}, "unflushedsignal!:11", "Received Signal");
  CheckHelperLeavesNoChild(
      "term", [](int64_t helper) { kill(static_cast<pid_t>(helper), SIGTERM); }, "unflushedsignal!:15",
      "Received Signal");
}

TEST_F(ProcessTest, AForkedCopyOfTheProgramLeavesItsChildrenAlone) {
  const Ref<TProcess> sleeper = TProcess::Launch("sleep 100");
  ASSERT_TRUE(sleeper);
  // What a copy that runs the at-exit handlers would do.
  ASSERT_TRUE(probe::RunInForkedCopy([] { TProcess::KillAll(); }));
  EXPECT_EQ(sleeper->Running(), 1);
  const char state = probe::ProcessState(sleeper->ProcessId());
  EXPECT_TRUE(state == 'S' || state == 'R') << state;  // neither stopped nor killed
  EXPECT_NE(sleeper->Kill(), 0);
  sleeper->ClosePipes();
}

Ref<TProcess> FakeLaunch(const String& command, int32_t flags) {
  return command == String("fake") && flags == 7 ? New<TProcess>() : Null;
}

TEST_F(ProcessTest, LaunchProcessCallsTheFunctionVariable) {
  const LaunchProcessFunction original = g_launchProcess;
  g_launchProcess = &FakeLaunch;
  EXPECT_TRUE(LaunchProcess("fake", 7));
  EXPECT_FALSE(LaunchProcess("fake", 0));
  g_launchProcess = nullptr;
  EXPECT_THROW(LaunchProcess("fake", 7), TNullFunctionException);
  g_launchProcess = original;

  const Ref<TProcess> unstarted = New<TProcess>();
  EXPECT_EQ(unstarted->Running(), 0);
  EXPECT_EQ(unstarted->Kill(), 0);
}

}  // namespace
}  // namespace corvex
