// Child processes over POSIX: pipe2, posix_spawn in a new process group, waitpid, /proc and kill.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "process/ProcessPlatform.h"
#include "runtime/LastError.h"

namespace corvex::platform {
namespace {

// A file descriptor that is closed when it goes, unless released.
class FileDescriptor {
 public:
  FileDescriptor() noexcept = default;
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() const noexcept { return fd_; }
  int Release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

struct OwnedPipe {
  FileDescriptor readEnd;
  FileDescriptor writeEnd;
};

// A close-on-exec pipe whose ends are above the standard descriptors, so that placing the
// child's ends on 0, 1 and 2 can never overwrite another end or keep close-on-exec set.
bool OpenPipe(OwnedPipe& pipe) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  FileDescriptor ends[2] = {FileDescriptor(fds[0]), FileDescriptor(fds[1])};
  for (FileDescriptor& end : ends) {
    if (end.Get() > STDERR_FILENO) continue;
    FileDescriptor moved(fcntl(end.Get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
    if (moved.Get() < 0) return false;
    end = std::move(moved);
  }
  pipe.readEnd = std::move(ends[0]);
  pipe.writeEnd = std::move(ends[1]);
  return true;
}

// Splits a command line into words: runs of white space separate them, a double quote starts or
// ends a quoted part in which white space is kept, and a backslash directly before a double
// quote makes that quote a literal character (every other backslash is literal). Quoted and
// unquoted parts that touch form one word; "" is an empty word.
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
      word += '"';
      inWord = true;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool IsExecutableFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The file a program name stands for, as the exec family searches: a name holding '/' is used
// as it is; otherwise the first executable regular file among the PATH entries (an empty entry
// is the current directory; without PATH the system's default path). "" when none is found.
std::string FindProgram(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return name;
  std::string searchPath;
  if (const char* path = std::getenv("PATH")) {
    searchPath = path;
  } else {
    searchPath.resize(confstr(_CS_PATH, nullptr, 0));
    if (!searchPath.empty()) {
      confstr(_CS_PATH, searchPath.data(), searchPath.size());
      searchPath.pop_back();  // the terminating NUL confstr wrote
    }
  }
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(':', start);
    if (end == std::string::npos) end = searchPath.size();
    const std::string directory = end == start ? std::string(".") : searchPath.substr(start, end - start);
    const std::string candidate = directory + '/' + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::string();
}

// Children that were killed but did not end within the wait; reaped by later calls so that
// none stays a zombie. Created on first need and never destroyed (at-exit handlers use it).
std::vector<pid_t>* g_unreaped = nullptr;

// Waits for the child without blocking; true when it has ended and is released.
bool Reap(pid_t pid) {
  for (;;) {
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == pid) return true;
    if (result == 0) return false;
    if (errno != EINTR) return true;  // ECHILD: released elsewhere (SIGCHLD ignored, say)
  }
}

enum class ChildState { kRunning, kEnded, kNotOurs };

// Whether the child has ended, leaving an ended one unreleased: while it is, its id and its
// group's id stay taken.
ChildState PeekChild(pid_t pid) {
  for (;;) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
      return info.si_pid == 0 ? ChildState::kRunning : ChildState::kEnded;
    }
    if (errno != EINTR) return ChildState::kNotOurs;  // ECHILD: released elsewhere, or not ours
  }
}

void ReapLeftovers() {
  if (g_unreaped != nullptr) std::erase_if(*g_unreaped, Reap);
}

// The process groups of the children started and not yet terminated, for the crash handler: it
// may run at any moment, so the table is read without locks, and a table that has been replaced
// by a larger one stays in place (reachable through `previous`) for a handler still reading it.
struct CrashGroupTable {
  std::size_t capacity = 0;
  std::atomic<pid_t>* groups = nullptr;  // 0: a free slot
  CrashGroupTable* previous = nullptr;
};
static_assert(std::atomic<pid_t>::is_always_lock_free);

constinit std::atomic<CrashGroupTable*> g_crashGroups{nullptr};
// The program that listed the groups; a forked copy of it must leave them alone.
constinit std::atomic<pid_t> g_crashGroupsOwner{0};

void ListGroupForCrash(pid_t group) {
  g_crashGroupsOwner.store(getpid());
  CrashGroupTable* table = g_crashGroups.load();
  if (table != nullptr) {
    for (std::size_t i = 0; i < table->capacity; ++i) {
      pid_t expected = 0;
      if (table->groups[i].compare_exchange_strong(expected, group)) return;
    }
  }
  auto* larger = new CrashGroupTable();
  larger->capacity = table == nullptr ? 16 : table->capacity * 2;
  larger->groups = new std::atomic<pid_t>[larger->capacity]();
  std::size_t used = 0;
  if (table != nullptr) {
    for (std::size_t i = 0; i < table->capacity; ++i) {
      if (const pid_t listed = table->groups[i].load()) larger->groups[used++].store(listed);
    }
  }
  larger->groups[used].store(group);
  larger->previous = table;
  g_crashGroups.store(larger);
}

void UnlistGroupForCrash(pid_t group) {
  CrashGroupTable* table = g_crashGroups.load();
  if (table == nullptr) return;
  for (std::size_t i = 0; i < table->capacity; ++i) {
    pid_t expected = group;
    if (table->groups[i].compare_exchange_strong(expected, 0)) return;
  }
}

void SleepOneMillisecond() {
  const timespec pause{0, 1000000};
  nanosleep(&pause, nullptr);
}

// Posix spawn objects, destroyed with their owner.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

}  // namespace

bool CreatePipe(PipeHandle& readEnd, PipeHandle& writeEnd) {
  OwnedPipe pipe;
  if (!OpenPipe(pipe)) return false;
  readEnd = pipe.readEnd.Release();
  writeEnd = pipe.writeEnd.Release();
  return true;
}

bool SpawnProcess(const std::string& commandLine, int32_t /*flags: no consoles here*/, SpawnedChild& child) {
  ReapLeftovers();
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) return FailZero("empty command line");
  for (const std::string& word : words) {
    if (word.find('\0') != std::string::npos) return FailZero("NUL in the command line");
  }
  const std::string program = FindProgram(words[0]);
  if (program.empty()) return FailZero("no such program");

  OwnedPipe output, input, error;
  if (!OpenPipe(output) || !OpenPipe(input) || !OpenPipe(error)) return FailZero(ErrnoText(errno));

  SpawnSetup setup;
  // The parent's ends are close-on-exec; the copies on 0, 1 and 2 are not.
  if (posix_spawn_file_actions_adddup2(&setup.actions, input.readEnd.Get(), STDIN_FILENO) != 0 ||
      posix_spawn_file_actions_adddup2(&setup.actions, output.writeEnd.Get(), STDOUT_FILENO) != 0 ||
      posix_spawn_file_actions_adddup2(&setup.actions, error.writeEnd.Get(), STDERR_FILENO) != 0) {
    return false;
  }
  // A new process group, no blocked signals, and SIGPIPE at its default even if this program
  // ignores it, so that the child behaves as when started from a shell.
  sigset_t noSignals, pipeSignal;
  sigemptyset(&noSignals);
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  if (posix_spawnattr_setflags(&setup.attributes,
                               POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0 ||
      posix_spawnattr_setpgroup(&setup.attributes, 0) != 0 ||
      posix_spawnattr_setsigmask(&setup.attributes, &noSignals) != 0 ||
      posix_spawnattr_setsigdefault(&setup.attributes, &pipeSignal) != 0) {
    return false;
  }

  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // glibc reports a failed exec here, synchronously, rather than through the child's status.
  pid_t pid = 0;
  if (const int failure =
          posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ)) {
    return FailZero(ErrnoText(failure));
  }
  child.process = ProcessRecord{pid, false};
  ListGroupForCrash(pid);  // the child leads its group: the group's id is its pid
  child.output = output.readEnd.Release();
  child.input = input.writeEnd.Release();
  child.error = error.readEnd.Release();
  return true;  // the child's ends close with `output`, `input` and `error`
}

bool ProcessRunning(ProcessRecord& process) {
  if (process.id <= 0 || process.ended) return false;
  switch (PeekChild(static_cast<pid_t>(process.id))) {
    case ChildState::kRunning:
      return true;
    case ChildState::kEnded:
      return false;
    case ChildState::kNotOurs:
      break;
  }
  process.ended = true;
  return false;
}

bool FreezeProcess(ProcessRecord& process) {
  if (!ProcessRunning(process)) return false;
  const auto pid = static_cast<pid_t>(process.id);
  // A stopped process cannot fork, and once it has stopped any fork it was in has finished: the
  // children listed next are all there will be. Wait briefly for the stop (or its end) without
  // consuming either report.
  if (kill(pid, SIGSTOP) != 0) return true;
  for (int waited = 0; waited < 100; ++waited) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WSTOPPED | WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (info.si_pid != 0) break;
    SleepOneMillisecond();
  }
  return true;
}

std::vector<int64_t> DirectChildren(int64_t id) {
  std::vector<int64_t> children;
  if (id <= 0) return children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    const std::string statPath = std::string("/proc/") + entry->d_name + "/stat";
    FILE* file = std::fopen(statPath.c_str(), "r");
    if (file == nullptr) continue;  // ended meanwhile
    char text[1024];
    const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[length] = '\0';
    // "pid (name) state ppid ...": the name may hold anything, so parse after its last ')'.
    const char* close = std::strrchr(text, ')');
    char state = 0;
    long long parent = 0;
    if (close != nullptr && std::sscanf(close + 1, " %c %lld", &state, &parent) == 2 && parent == id) {
      children.push_back(pid);
    }
  }
  closedir(proc);
  return children;
}

bool TerminateProcessId(int64_t id) {
  // kill() with 0 or a negative id signals whole groups: never let such an id through.
  if (id <= 0 || id > INT_MAX) return false;
  return kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

bool TerminateChild(ProcessRecord& process) {
  ReapLeftovers();
  if (process.id <= 0 || process.ended) return false;
  const auto pid = static_cast<pid_t>(process.id);
  const ChildState state = PeekChild(pid);
  if (state == ChildState::kNotOurs) {
    process.ended = true;
    return false;
  }
  const bool terminated = state == ChildState::kRunning && kill(pid, SIGKILL) == 0;
  // The child is unreleased, so its group's id still names its group: what it left running in
  // the background goes too.
  kill(-pid, SIGKILL);
  UnlistGroupForCrash(pid);
  process.ended = true;
  // A killed process ends at once unless it is stuck in the kernel; do not hang on that one.
  for (int waited = 0; waited < 1000; ++waited) {
    if (Reap(pid)) return terminated;
    SleepOneMillisecond();
  }
  if (g_unreaped == nullptr) g_unreaped = new std::vector<pid_t>();
  g_unreaped->push_back(pid);
  return terminated;
}

void KillChildGroupsOnCrash() noexcept {
  if (g_crashGroupsOwner.load() != getpid()) return;
  const CrashGroupTable* table = g_crashGroups.load();
  if (table == nullptr) return;
  for (std::size_t i = 0; i < table->capacity; ++i) {
    if (const pid_t group = table->groups[i].load(); group > 0) kill(-group, SIGKILL);
  }
}

int32_t ReadPipe(PipeHandle handle, void* buffer, int32_t count) {
  if (handle < 0 || count <= 0) return 0;
  for (;;) {
    const ssize_t got = read(static_cast<int>(handle), buffer, static_cast<std::size_t>(count));
    if (got >= 0) return static_cast<int32_t>(got);
    if (errno != EINTR) return 0;
  }
}

int32_t WritePipe(PipeHandle handle, const void* buffer, int32_t count) {
  if (handle < 0 || count <= 0) return 0;
  // Writing to a pipe whose reader has gone raises SIGPIPE in the writing thread, which would end
  // the program. The signal is blocked in this thread for the write and a SIGPIPE the write
  // raised is taken off again, so the process-wide disposition, which other parts of the program
  // may rely on, never changes and other threads are unaffected.
  sigset_t pipeSignal, previousMask, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;

  ssize_t written;
  do {
    written = write(static_cast<int>(handle), buffer, static_cast<std::size_t>(count));
  } while (written < 0 && errno == EINTR);
  if (written < 0 && errno == EPIPE && !alreadyPending) {
    const timespec noWait{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  return written < 0 ? 0 : static_cast<int32_t>(written);
}

int32_t PipeBytesAvailable(PipeHandle handle) {
  if (handle < 0) return 0;
  int available = 0;
  if (ioctl(static_cast<int>(handle), FIONREAD, &available) != 0 || available < 0) return 0;
  return available;
}

void ClosePipe(PipeHandle handle) {
  if (handle >= 0) close(static_cast<int>(handle));
}

}  // namespace corvex::platform
