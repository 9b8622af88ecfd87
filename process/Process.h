// Child processes: starting a program with its standard streams on pipe streams, asking
// whether it still runs, and killing it with its direct children. Every child started and not
// yet killed is listed, and the list is killed when the program exits.
#pragma once

#include <cstdint>

#include "data/List.h"
#include "process/PipeStream.h"
#include "process/ProcessHandles.h"
#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// One started child. Destroying it closes and kills nothing: listed children stay listed.
class TProcess : public Object {
 public:
  // 1 while the child has not ended, else 0 (also after Kill).
  virtual int32_t Running();
  // Closes both pipe streams and lets go of them; the child keeps running.
  virtual void ClosePipes();
  // Takes the process off the list and terminates its direct children, its process group and
  // the child (the group also when the child has already ended); non-zero when the child was
  // running and has been terminated. The pipes stay open.
  virtual int32_t Kill();

  // Starts the program a command line names. The line splits at white space; double quotes
  // group words and a backslash before a double quote makes it literal. The first word names
  // the program, found on PATH unless it holds a '/'. Flag bit 0 asks for a hidden console of
  // its own where the platform has consoles. Answers Null when the program cannot be started.
  static Ref<TProcess> Launch(const String& command, int32_t flags = 0);
  // Kills every listed process in list order and closes its pipes.
  static void KillAll();

  // The command line the process was started with.
  const String& Command() const noexcept { return command_; }
  // Reads the child's standard output and writes its standard input; Null before Launch and
  // after ClosePipes.
  const Ref<TPipeStream>& Pipe() const noexcept { return pipe_; }
  // Reads the child's standard error (it has no write end).
  const Ref<TPipeStream>& ErrorPipe() const noexcept { return errorPipe_; }
  // The child's process id; 0 before Launch and after Kill.
  int64_t ProcessId() const noexcept { return info_.id; }

 private:
  String command_;
  platform::ProcessRecord info_;
  Ref<TPipeStream> pipe_;
  Ref<TPipeStream> errorPipe_;
};

// The process list: the processes started and not yet killed, in start order. Null until the
// first Launch.
Ref<TList> ProcessList();

// The function LaunchProcess calls; TProcess::Launch unless a program puts another in its place.
using LaunchProcessFunction = Ref<TProcess> (*)(const String& command, int32_t flags);
extern LaunchProcessFunction g_launchProcess;

// Starts a process through g_launchProcess (TNullFunctionException when it is null).
Ref<TProcess> LaunchProcess(const String& command, int32_t flags = 0);
// The process's Running.
int32_t ProcessRunning(const Ref<TProcess>& process);
// The process's Kill.
int32_t KillProcess(const Ref<TProcess>& process);

// The process module's initialiser: kills every listed process when the program exits, and the
// process groups of the listed processes when it crashes. Launching needs no initialiser; the
// framework runs this one in its place near the end of the start-up order.
void InitProcessModule();

}  // namespace corvex
