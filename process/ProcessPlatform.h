// What child processes and pipe streams need from the platform: anonymous pipes, starting a
// program with its standard streams on pipes, asking whether it still runs, finding its direct
// children, terminating processes, and reading, writing, peeking and closing pipe ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "process/ProcessHandles.h"

namespace corvex::platform {

// What starting a child hands back: the child and the parent's ends of its three pipes.
struct SpawnedChild {
  ProcessRecord process;
  PipeHandle output = kNoPipe;  // reads the child's standard output
  PipeHandle input = kNoPipe;   // writes the child's standard input
  PipeHandle error = kNoPipe;   // reads the child's standard error
};

// Creates an anonymous pipe whose ends later children do not inherit; false on failure.
bool CreatePipe(PipeHandle& readEnd, PipeHandle& writeEnd);

// Starts the program a command line names, in a new process group, with its standard input,
// output and error on new pipes. `flags` bit 0 asks for a hidden console of its own where the
// platform has consoles. False on failure, with nothing left open and nothing started.
bool SpawnProcess(const std::string& commandLine, int32_t flags, SpawnedChild& child);

// Whether the child has not ended. An ended child is not released (see ProcessRecord).
bool ProcessRunning(ProcessRecord& process);

// Keeps a running child from starting further processes until it is terminated, so that a list
// of its children taken afterwards stays complete. False, with the child marked ended, when it
// has already ended or is not this program's child: then nothing may be done to it.
bool FreezeProcess(ProcessRecord& process);

// The ids of the processes whose parent is `id`.
std::vector<int64_t> DirectChildren(int64_t id);

// Terminates a process that is not our child; false when that failed.
bool TerminateProcessId(int64_t id);

// Terminates the child and every process left in its process group (what it started in the
// background, even after the child itself has ended) and releases it; true when the child was
// running and has been terminated.
bool TerminateChild(ProcessRecord& process);

// Kills the process group of every child started and not yet terminated. Only async-signal-safe
// calls: a crash handler runs it. A forked copy of this program kills nothing.
void KillChildGroupsOnCrash() noexcept;

// Reads at most `count` bytes, waiting until some arrive; 0 at end of file or on failure.
int32_t ReadPipe(PipeHandle handle, void* buffer, int32_t count);
// Writes at most `count` bytes; 0 on failure, also when the reader has gone (never a signal).
int32_t WritePipe(PipeHandle handle, const void* buffer, int32_t count);
// The bytes that can be read without waiting; 0 when the query fails.
int32_t PipeBytesAvailable(PipeHandle handle);
// Closes a pipe end.
void ClosePipe(PipeHandle handle);

}  // namespace corvex::platform
