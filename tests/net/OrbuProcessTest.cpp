// A hub and two clients as separate processes, started as the framework's child processes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "process/Process.h"

namespace corvex {
namespace {

// The next complete line of the child's output, or "" after a generous wait.
std::string NextLine(const Ref<TProcess>& process) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    const String line = process->Pipe()->ReadLine();
    if (!line.IsEmpty()) return line.ToBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return {};
}

// Closing a child's input asks it to shut its host down and end.
void Finish(const Ref<TProcess>& process) {
  process->ClosePipes();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (process->Running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(process->Running());
  KillProcess(process);
}

TEST(OrbuProcessTest, ClientsInSeparateProcessesShareObjectsAndMessagesThroughTheHub) {
  InitProcessModule();
  const std::string program = CORVEX_ORBU_TEST_PEER;
  const Ref<TProcess> hub = LaunchProcess(String(program.c_str()) + " hub");
  ASSERT_TRUE(hub);
  const std::string portLine = NextLine(hub);
  ASSERT_EQ(portLine.rfind("port ", 0), 0u) << portLine;
  const std::string port = portLine.substr(5);

  const Ref<TProcess> writer = LaunchProcess(String((program + " writer " + port).c_str()));
  const Ref<TProcess> reader = LaunchProcess(String((program + " reader " + port).c_str()));
  ASSERT_TRUE(writer);
  ASSERT_TRUE(reader);
  EXPECT_EQ(NextLine(reader), "seen 42");       // a slot written by one client, seen by the other
  EXPECT_EQ(NextLine(writer), "message ping");  // a message that reached its remote owner

  Finish(reader);
  Finish(writer);
  Finish(hub);
}

}  // namespace
}  // namespace corvex
