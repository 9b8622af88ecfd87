// A shared-object peer the process tests start as a child. "hub" listens on a free loopback
// port and prints "port <n>"; "writer <port>" shares an object and prints "message <text>" for
// each message it gets; "reader <port>" prints "seen <slot 0>" once it sees the writer's object
// and then posts it a message. Every role pumps until its standard input closes.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "net/OrbuHost.h"

namespace {

using namespace corvex;

bool InputClosed() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  return poll(&input, 1, 0) > 0;
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void RunPeer(const Ref<TOrbuHost>& host, const char* role) {
  Ref<TOrbuObject> shared;
  bool posted = false;
  if (std::strcmp(role, "writer") == 0) {
    shared = NewOrbuObject(host);
    PutOrbuInt(shared, 0, 42);
    PutOrbuString(shared, 1, "from writer");
  }
  while (!InputClosed()) {
    PumpOrbuHost(host);
    for (const Ref<Object>& item : *OrbuMessageList(host)) {
      Say("message " + FetchOrbuString(Cast<TOrbuObject>(item), 0).ToBytes());
    }
    if (std::strcmp(role, "reader") == 0 && !posted) {
      for (const Ref<Object>& item : *OrbuObjectList(host, kOrbuListAll)) {
        const Ref<TOrbuObject> object = Cast<TOrbuObject>(item);
        if (FetchOrbuString(object, 1) != String("from writer")) continue;
        Say("seen " + std::to_string(FetchOrbuInt(object, 0)));
        const Ref<TOrbuObject> message = NewOrbuMessage(host);
        PutOrbuString(message, 0, "ping");
        PostOrbuMessage(message, object);
        posted = true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

int main(int argc, char** argv) {
  InitOrbuModule();
  const Ref<TOrbuHost> host = NewOrbuHost();
  if (argc == 2 && std::strcmp(argv[1], "hub") == 0) {
    if (!OrbuOpenPort(host, 0)) return 1;
    Say("port " + std::to_string(host->Port()));
    RunPeer(host, "hub");
  } else if (argc == 3) {
    if (!OrbuDial(host, "127.0.0.1", std::atoi(argv[2]), 20000)) return 1;
    RunPeer(host, argv[1]);
  } else {
    return 2;
  }
  ShutOrbuHost(host);
  return 0;
}
