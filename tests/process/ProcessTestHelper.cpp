// Started by the process tests: launches a shell that starts a child of its own, prints
// "<shell pid> <its child's pid>" and then ends without killing either, leaving that to the
// process module: by returning (no argument), by a crash ("segv") or by waiting to be terminated
// ("term"). Before a crash it leaves "unflushed" in its standard output's buffer.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "process/Process.h"
#include "startup/Startup.h"

namespace {

const char* g_mode = "";

void Run() {
  using namespace corvex;
  InitProcessModule();
  const Ref<TProcess> shell = TProcess::Launch("sh -c \"sleep 100 & echo $!; exec sleep 100\"");
  if (!shell) std::exit(1);
  String child;
  for (int tries = 0; tries < 2500 && child.IsEmpty(); ++tries) {
    child = shell->Pipe()->ReadLine();
    if (child.IsEmpty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (child.IsEmpty()) std::exit(1);
  const bool crashing = std::strcmp(g_mode, "") != 0;
  if (crashing) std::printf("unflushed");
  // Written past the buffer, so that "unflushed" is still there when the test acts on this line.
  char line[64];
  const int length = std::snprintf(line, sizeof line, "%lld %s\n", static_cast<long long>(shell->ProcessId()),
                                   child.ToBytes().c_str());
  if (write(STDOUT_FILENO, line, static_cast<std::size_t>(length)) != length) std::exit(1);
  if (!crashing) return;
  if (std::strcmp(g_mode, "segv") == 0) std::raise(SIGSEGV);
  for (;;) pause();  // until terminated
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_mode = argv[1];
  return corvex::RunProgram(argc, argv, &Run);
}
