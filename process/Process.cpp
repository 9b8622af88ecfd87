#include "process/Process.h"

#include <cstdlib>

#include "data/List.h"
#include "process/ProcessPlatform.h"
#include "runtime/CrashActions.h"
#include "runtime/Exceptions.h"
#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

// The process list, created by the first Launch: a plain pointer holding one reference that is
// never released, so that the list outlives every at-exit handler.
TList* g_processes = nullptr;

void KillAllAtExit() noexcept {
  try {
    TProcess::KillAll();
  } catch (...) {
    // The program is ending: what could not be killed is left to the platform.
  }
}

}  // namespace

constinit LaunchProcessFunction g_launchProcess = &TProcess::Launch;

Ref<TProcess> TProcess::Launch(const String& command, int32_t flags) {
  Ref<TProcess> process = New<TProcess>();
  process->command_ = command;
  platform::SpawnedChild child;
  const ErrorSubject subject(&command);
  if (!platform::SpawnProcess(command.ToBytes(), flags, child)) return Null;
  process->info_ = child.process;
  process->pipe_ = TPipeStream::Create(child.output, child.input);
  process->errorPipe_ = TPipeStream::Create(child.error, platform::kNoPipe);
  if (g_processes == nullptr) g_processes = New<TList>().Detach();
  g_processes->AddLast(process);
  return process;
}

int32_t TProcess::Running() {
  if (info_.id == 0) return 0;
  return platform::ProcessRunning(info_) ? 1 : 0;
}

void TProcess::ClosePipes() {
  if (pipe_) {
    pipe_->Close();
    pipe_ = Null;
  }
  if (errorPipe_) {
    errorPipe_->Close();
    errorPipe_ = Null;
  }
}

int32_t TProcess::Kill() {
  if (g_processes != nullptr) g_processes->Remove(Ref<Object>(this));
  if (info_.id == 0) return 0;
  // Children that left the child's process group are found as its direct children while it is
  // held still; the group goes with the child, also when the child itself has already ended.
  if (platform::FreezeProcess(info_)) {
    for (const int64_t child : platform::DirectChildren(info_.id)) platform::TerminateProcessId(child);
  }
  const bool terminated = platform::TerminateChild(info_);
  info_ = platform::ProcessRecord();
  return terminated ? 1 : 0;
}

void TProcess::KillAll() {
  if (g_processes == nullptr) return;
  // Kill takes each process off the list, so walk a copy.
  for (const Ref<Object>& listed : g_processes->ToArray()) {
    const Ref<TProcess> process = Cast<TProcess>(listed);
    if (!process) continue;  // the list is public: skip what is not a process
    process->Kill();
    process->ClosePipes();
  }
}

Ref<TList> ProcessList() {
  return Ref<TList>(g_processes);
}

Ref<TProcess> LaunchProcess(const String& command, int32_t flags) {
  if (g_launchProcess == nullptr) throw TNullFunctionException();
  return g_launchProcess(command, flags);
}

int32_t ProcessRunning(const Ref<TProcess>& process) {
  return process->Running();
}

int32_t KillProcess(const Ref<TProcess>& process) {
  return process->Kill();
}

void InitProcessModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitListModule();
  // Killing the listed children is the exit action of this module's place in the start-up
  // order: modules that start earlier (the network's shut-down among them) end after it. A crash
  // skips exit actions, so it kills the children's process groups through a crash action.
  std::atexit(&KillAllAtExit);
  AddCrashAction(&platform::KillChildGroupsOnCrash);
}

}  // namespace corvex
