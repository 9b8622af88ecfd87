// Started by the process tests: launches a shell that starts a child of its own, prints
// "<shell pid> <its child's pid>" and exits without killing either, leaving that to the
// process module's at-exit handler.
#include <chrono>
#include <cstdio>
#include <thread>

#include "process/Process.h"

int main() {
  using namespace corvex;
  InitProcessModule();
  const Ref<TProcess> shell = TProcess::Launch("sh -c \"sleep 100 & echo $!; exec sleep 100\"");
  if (!shell) return 1;
  String child;
  for (int tries = 0; tries < 2500 && child.IsEmpty(); ++tries) {
    child = shell->Pipe()->ReadLine();
    if (child.IsEmpty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (child.IsEmpty()) return 1;
  std::printf("%lld %s\n", static_cast<long long>(shell->ProcessId()), child.ToBytes().c_str());
  std::fflush(stdout);
  return 0;
}
