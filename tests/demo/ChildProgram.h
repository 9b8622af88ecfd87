// A program the end-to-end tests start and watch from outside: whether it still runs, and the
// status it ended with.
#pragma once

#include <cstdint>
#include <string>

namespace corvex::testing_support {

class ChildProgram {
 public:
  // Starts the program at `path` with no arguments, sharing this process's environment and
  // standard streams; Id() is 0 when it could not be started.
  explicit ChildProgram(const std::string& path);
  // Kills the program when it still runs.
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // The process id, 0 when the program did not start.
  int64_t Id() const noexcept { return id_; }
  // Whether the program has not ended yet (never blocks).
  bool Running();
  // Waits at most `milliseconds` for the end; answers whether the program has ended.
  bool WaitForExit(int32_t milliseconds);
  // The exit status of an ended program; -1 while it runs or when a signal ended it.
  int32_t ExitStatus() const noexcept { return exitStatus_; }

 private:
  int64_t id_ = 0;
  bool ended_ = false;
  int32_t exitStatus_ = -1;
};

}  // namespace corvex::testing_support
