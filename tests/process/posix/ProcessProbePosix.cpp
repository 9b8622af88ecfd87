#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/process/ProcessProbe.h"

namespace corvex::probe {

char ProcessState(int64_t id) {
  const std::string path = "/proc/" + std::to_string(id) + "/stat";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return 0;
  char text[1024];
  const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[length] = '\0';
  const char* close = std::strrchr(text, ')');
  char state = 0;
  if (close == nullptr || std::sscanf(close + 1, " %c", &state) != 1) return 0;
  return state;
}

int64_t ProcessGroup(int64_t id) {
  return getpgid(static_cast<pid_t>(id));
}

int OpenDescriptorCount() {
  DIR* directory = opendir("/proc/self/fd");
  if (directory == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(directory);
  return count - 1;  // the listing's own descriptor
}

bool RunInForkedCopy(void (*body)()) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace corvex::probe
