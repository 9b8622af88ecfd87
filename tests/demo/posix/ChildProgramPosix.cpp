#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/demo/ChildProgram.h"

namespace corvex::testing_support {

ChildProgram::ChildProgram(const std::string& path) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid > 0) id_ = pid;
}

ChildProgram::~ChildProgram() {
  if (id_ == 0 || !Running()) return;
  kill(static_cast<pid_t>(id_), SIGKILL);
  int status = 0;
  waitpid(static_cast<pid_t>(id_), &status, 0);
}

bool ChildProgram::Running() {
  if (id_ == 0 || ended_) return false;
  int status = 0;
  if (waitpid(static_cast<pid_t>(id_), &status, WNOHANG) != static_cast<pid_t>(id_)) return true;
  ended_ = true;
  exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

bool ChildProgram::WaitForExit(int32_t milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace corvex::testing_support
