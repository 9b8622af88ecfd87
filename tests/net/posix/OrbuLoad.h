// Shared objects under a game's load, for the load tests and the hub benchmark: a hub in a
// process of its own (so that its CPU time, memory and tables can be read), clients on threads
// of this process that each own objects changed at a fixed rate, optionally clients in child
// processes that are killed with SIGKILL mid-traffic, and optionally a lossy relay between the
// clients and the hub. A run measures each change from its owner's send to the unpacking by
// its last receiver and checks that every client ends with exactly the owners' final state.
#pragma once

#include <enet/enet.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "net/OrbuHost.h"
#include "tests/net/posix/LossyUdpRelay.h"

namespace corvex::orbuload {

using Clock = std::chrono::steady_clock;

// Owners of killed clients are numbered from here, so that receivers can tell their objects.
inline constexpr int32_t kKilledOwnerBase = 100;

struct Plan {
  int clients = 32;         // measured clients, on threads
  int killed = 0;           // clients in child processes, killed with SIGKILL after killAfter
  int objects = 20;         // objects each client owns
  int hz = 30;              // changes of each object per second
  double seconds = 2;       // traffic
  double killAfter = 1;     // seconds into the traffic
  bool lossy = false;       // 5 % loss, 20-60 ms delay with reordering between clients and hub
  double settleLimit = 40;  // seconds to wait for convergence after the traffic
};

struct HubStats {
  int32_t peers = 0;
  int32_t objects = 0;
  double cpuSeconds = 0;
  int64_t rssKb = 0;
  double longestPumpMs = 0;
};

struct Report {
  bool converged = false;
  int64_t changes = 0;   // changes sent by the measured clients
  int64_t measured = 0;  // changes with a latency: seen by every other measured client
  double p50Ms = 0, p99Ms = 0, maxMs = 0;
  double trafficSeconds = 0;
  double settleSeconds = 0;
  HubStats hubStart;    // before any client
  HubStats hubTraffic;  // every client joined, as the traffic starts
  HubStats hubLoaded;   // as the traffic ends
  HubStats hubEnd;      // every client gone
  uint64_t relayDropped = 0;
  int droppedClients = 0;  // clients the hub lost
};

inline int64_t RssKb() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE) / 1024;
}

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A listening host pumped by a child process until asked to stop; it answers queries of its
// tables, CPU time and memory through a pipe.
class HubProcess {
 public:
  HubProcess() {
    // Forked before the framework starts threads of its own: a thread inside the allocator at
    // the fork would leave its lock taken in the child for good (seen under AddressSanitizer).
    int command[2], reply[2];
    if (pipe(command) != 0 || pipe(reply) != 0) return;
    pid_ = fork();
    if (pid_ != 0) InitOrbuModule();
    if (pid_ == 0) {
      close(command[1]);
      close(reply[0]);
      Serve(command[0], reply[1]);
    }
    close(command[0]);
    close(reply[1]);
    command_ = command[1];
    reply_ = reply[0];
    if (read(reply_, &port_, sizeof port_) != sizeof port_) port_ = 0;
  }
  HubProcess(const HubProcess&) = delete;
  HubProcess& operator=(const HubProcess&) = delete;
  ~HubProcess() {
    if (pid_ <= 0) return;
    const char quit = 'Q';
    if (write(command_, &quit, 1) != 1) kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(command_);
    close(reply_);
  }

  int32_t Port() const { return port_; }
  HubStats Query() const {
    HubStats stats;
    const char query = 'S';
    if (write(command_, &query, 1) != 1 || read(reply_, &stats, sizeof stats) != sizeof stats) return {};
    return stats;
  }
  // Queries until `done` holds of the hub's stats or `seconds` have passed; the last stats.
  template <class Done>
  HubStats QueryUntil(Done done, double seconds) const {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    HubStats stats = Query();
    while (!done(stats) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      stats = Query();
    }
    return stats;
  }

 private:
  [[noreturn]] static void Serve(int command, int reply) {
    InitOrbuModule();
    const Ref<TOrbuHost> hub = NewOrbuHost();
    int32_t port = OrbuOpenPort(hub, 0) == 1 ? hub->Port() : 0;
    if (write(reply, &port, sizeof port) != sizeof port || port == 0) _exit(1);
    const pid_t parent = getppid();
    double longest = 0;
    for (;;) {
      // Wakes for a datagram, a query, or ENet's own timers.
      pollfd watched[2] = {{command, POLLIN, 0}, {static_cast<int>(hub->enetHost->socket), POLLIN, 0}};
      poll(watched, 2, 5);
      const auto start = Clock::now();
      PumpOrbuHost(hub);
      longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      if (getppid() != parent) _exit(1);
      if ((watched[0].revents & (POLLIN | POLLHUP)) == 0) continue;
      char byte = 'Q';
      if (read(command, &byte, 1) != 1 || byte == 'Q') _exit(0);
      // What the hub holds, not what the allocator kept from earlier peaks.
      malloc_trim(0);
      HubStats stats{hub->peers->Count(), hub->objects->Count(), CpuSeconds(), RssKb(), longest};
      longest = 0;
      if (write(reply, &stats, sizeof stats) != sizeof stats) _exit(1);
    }
  }

  pid_t pid_ = -1;
  int command_ = -1;
  int reply_ = -1;
  int32_t port_ = 0;
};

// The slots of a change: the sequence number, and two floats that are exact in half precision.
inline float XOf(int32_t seq, int32_t owner) {
  return static_cast<float>(seq % 256) + 0.25f * static_cast<float>(owner % 4);
}
inline float YOf(int32_t index) {
  return -0.5f * static_cast<float>(index);
}

// Makes the objects a client owns: slot 0 the sequence, 1 and 2 the floats, 3 the owner, 4 the
// object's index.
inline std::vector<Ref<TOrbuObject>> MakeOwnObjects(const Ref<TOrbuHost>& host, int32_t owner, int objects) {
  std::vector<Ref<TOrbuObject>> own;
  for (int i = 0; i < objects; ++i) {
    const Ref<TOrbuObject> object = NewOrbuObject(host);
    PutOrbuInt(object, 0, 0);
    PutOrbuFloat(object, 1, XOf(0, owner));
    PutOrbuFloat(object, 2, YOf(i));
    PutOrbuInt(object, 3, owner);
    PutOrbuInt(object, 4, i);
    own.push_back(object);
  }
  return own;
}

inline void Change(const std::vector<Ref<TOrbuObject>>& own, int32_t owner, int32_t seq) {
  for (std::size_t i = 0; i < own.size(); ++i) {
    PutOrbuInt(own[i], 0, seq);
    PutOrbuFloat(own[i], 1, XOf(seq, owner));
    PutOrbuFloat(own[i], 2, YOf(static_cast<int32_t>(i)));
  }
}

// A client in a child process that changes its objects until it is killed (or its parent has
// gone, or two minutes have passed).
inline pid_t StartKillableClient(int32_t port, int32_t owner, const Plan& plan) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const pid_t parent = getppid();
  const Ref<TOrbuHost> host = NewOrbuHost();
  if (OrbuDial(host, "127.0.0.1", port, 20000) != 1) _exit(1);
  const std::vector<Ref<TOrbuObject>> own = MakeOwnObjects(host, owner, plan.objects);
  const auto start = Clock::now();
  int32_t seq = 0;
  while (getppid() == parent && Clock::now() - start < std::chrono::minutes(2)) {
    const auto due = start + std::chrono::microseconds(1000000 * (seq + 1) / plan.hz);
    if (Clock::now() >= due) Change(own, owner, ++seq);
    PumpOrbuHost(host);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  _exit(0);
}

// What the run's threads share.
struct Shared {
  explicit Shared(const Plan& runPlan)
      : plan(runPlan),
        maxSeq(static_cast<int>(runPlan.seconds * runPlan.hz) + 2),
        finalSeq(runPlan.clients) {}
  const Plan& plan;
  const int maxSeq;
  const Clock::time_point epoch = Clock::now();
  std::atomic<int> phase{0};  // 0 joining, 1 traffic, 2 settling, 3 leaving
  std::atomic<int> dialled{0};
  std::atomic<int> failed{0};
  std::atomic<int> ready{0};                   // clients that see every other client's objects
  std::atomic<int> converged{0};               // clients that hold every owner's final state
  std::atomic<int> dropped{0};                 // clients that lost their connection to the hub
  std::vector<std::atomic<int32_t>> finalSeq;  // -1 until the owner has stopped
  int64_t Micros() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - epoch).count();
  }
};

// One measured client: owns objects, changes them at the plan's rate during the traffic, and
// notes when each change of the others' objects arrived.
class Client {
 public:
  Client(Shared& shared, int32_t owner) : shared_(shared), owner_(owner) {
    const Plan& plan = shared.plan;
    sent_.assign(static_cast<std::size_t>(plan.objects * shared.maxSeq), -1);
    arrived_.assign(static_cast<std::size_t>(plan.clients * plan.objects * shared.maxSeq), -1);
    lastSeen_.assign(static_cast<std::size_t>(plan.clients * plan.objects), -1);
    seen_.assign(static_cast<std::size_t>((plan.clients + plan.killed) * plan.objects), false);
  }

  void Run(int32_t port) {
    const Plan& plan = shared_.plan;
    const Ref<TOrbuHost> host = NewOrbuHost();
    if (OrbuDial(host, "127.0.0.1", port, 20000) != 1) {
      ++shared_.failed;
      return;
    }
    ++shared_.dialled;
    const std::vector<Ref<TOrbuObject>> own = MakeOwnObjects(host, owner_, plan.objects);
    const int expected = (plan.clients - 1 + plan.killed) * plan.objects;
    bool ready = false, converged = false;
    int32_t seq = 0;
    Clock::time_point trafficStart;
    while (shared_.phase < 3) {
      const int phase = shared_.phase;
      if (phase == 1 && trafficStart == Clock::time_point()) trafficStart = Clock::now();
      if (phase == 1 && seq + 1 < shared_.maxSeq &&
          Clock::now() >= trafficStart + std::chrono::microseconds(1000000LL * seq / plan.hz)) {
        Change(own, owner_, ++seq);
        for (int i = 0; i < plan.objects; ++i)
          sent_[static_cast<std::size_t>(i * shared_.maxSeq + seq)] = shared_.Micros();
      }
      if (phase >= 2 && shared_.finalSeq[owner_] < 0) shared_.finalSeq[owner_] = seq;
      PumpOrbuHost(host);
      Note(host->created);
      Note(host->modified);
      if (!ready && seenCount_ == expected) {
        ready = true;
        ++shared_.ready;
      }
      if (phase == 2 && !converged && Converged(host)) {
        converged = true;
        ++shared_.converged;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (host->peers->IsEmpty()) ++shared_.dropped;
    ShutOrbuHost(host);
  }

  // Latencies to this client of the changes of `owner`, into the per-change latest arrival.
  void MergeArrivals(std::vector<int64_t>& latest, int32_t owner) const {
    const Plan& plan = shared_.plan;
    for (int i = 0; i < plan.objects; ++i) {
      for (int s = 1; s < shared_.maxSeq; ++s) {
        const std::size_t at = static_cast<std::size_t>(i * shared_.maxSeq + s);
        const int64_t arrival =
            arrived_[static_cast<std::size_t>(owner * plan.objects * shared_.maxSeq) + at];
        latest[at] = latest[at] < 0 || arrival < 0 ? -1 : std::max(latest[at], arrival);
      }
    }
  }
  const std::vector<int64_t>& Sent() const { return sent_; }

 private:
  void Note(const Ref<TList>& list) {
    const Plan& plan = shared_.plan;
    const int64_t now = shared_.Micros();
    for (const Ref<Object>& item : *list) {
      const Ref<TOrbuObject> object = Cast<TOrbuObject>(item);
      const int32_t owner = FetchOrbuInt(object, 3);
      const int32_t index = FetchOrbuInt(object, 4);
      if (index < 0 || index >= plan.objects) continue;
      const bool measured = owner >= 0 && owner < plan.clients;
      const bool killed = owner >= kKilledOwnerBase && owner < kKilledOwnerBase + plan.killed;
      if (!measured && !killed) continue;
      const int32_t slot = measured ? owner : plan.clients + owner - kKilledOwnerBase;
      if (!seen_[static_cast<std::size_t>(slot * plan.objects + index)]) {
        seen_[static_cast<std::size_t>(slot * plan.objects + index)] = true;
        ++seenCount_;
      }
      if (!measured) continue;
      const int32_t seq = std::min(FetchOrbuInt(object, 0), shared_.maxSeq - 1);
      int32_t& last = lastSeen_[static_cast<std::size_t>(owner * plan.objects + index)];
      for (int32_t s = last + 1; s <= seq; ++s) {
        arrived_[static_cast<std::size_t>((owner * plan.objects + index) * shared_.maxSeq + s)] = now;
      }
      last = std::max(last, seq);
    }
  }

  // Every measured owner's objects hold its final state, and nothing of a killed client is left.
  bool Converged(const Ref<TOrbuHost>& host) const {
    const Plan& plan = shared_.plan;
    if (host->objects->Count() != plan.clients * plan.objects) return false;
    for (const Ref<Object>& item : *host->objects) {
      const Ref<TOrbuObject> object = Cast<TOrbuObject>(item);
      const int32_t owner = FetchOrbuInt(object, 3);
      if (owner == owner_) continue;
      if (owner < 0 || owner >= plan.clients || object->state == kOrbuClosed) return false;
      const int32_t final = shared_.finalSeq[owner];
      const int32_t index = FetchOrbuInt(object, 4);
      if (final < 0 || FetchOrbuInt(object, 0) != final || FetchOrbuFloat(object, 1) != XOf(final, owner) ||
          FetchOrbuFloat(object, 2) != YOf(index)) {
        return false;
      }
    }
    return true;
  }

  Shared& shared_;
  const int32_t owner_;
  std::vector<int64_t> sent_;      // [object][seq]: micros, -1 never
  std::vector<int64_t> arrived_;   // [owner][object][seq]: micros, -1 never
  std::vector<int32_t> lastSeen_;  // [owner][object]
  std::vector<bool> seen_;         // [owner, killed ones after the measured][object]
  int seenCount_ = 0;
};

inline double Percentile(std::vector<double>& values, double fraction) {
  if (values.empty()) return 0;
  const std::size_t at =
      std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(values.size())));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

// Runs the plan and measures it. Child processes are started before any thread.
inline Report Run(const Plan& plan) {
  Report report;
  HubProcess hub;
  if (hub.Port() == 0) return report;
  report.hubStart = hub.Query();
  std::vector<pid_t> killable;
  for (int k = 0; k < plan.killed; ++k)
    killable.push_back(StartKillableClient(hub.Port(), kKilledOwnerBase + k, plan));
  std::unique_ptr<LossyUdpRelay> relay;
  if (plan.lossy)
    relay = std::make_unique<LossyUdpRelay>(static_cast<uint16_t>(hub.Port()), 0.05, 20, 60, 23);
  const int32_t port = relay ? relay->Port() : hub.Port();

  Shared shared(plan);
  for (auto& seq : shared.finalSeq) seq = -1;
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<std::thread> threads;
  for (int c = 0; c < plan.clients; ++c) {
    clients.push_back(std::make_unique<Client>(shared, c));
    // The thread gets its client itself: `clients` grows (and moves) while earlier ones start.
    threads.emplace_back([client = clients.back().get(), port] { client->Run(port); });
  }
  const auto waitFor = [](auto done, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  };
  const bool joined =
      waitFor([&] { return shared.ready + shared.failed == plan.clients; }, 60) && shared.failed == 0;
  if (joined) {
    report.hubTraffic = hub.Query();
    const auto start = Clock::now();
    shared.phase = 1;
    if (!killable.empty()) {
      std::this_thread::sleep_for(std::chrono::duration<double>(plan.killAfter));
      for (const pid_t pid : killable) kill(pid, SIGKILL);
    }
    std::this_thread::sleep_until(start + std::chrono::duration<double>(plan.seconds));
    report.trafficSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    report.hubLoaded = hub.Query();
    const auto settling = Clock::now();
    shared.phase = 2;
    report.converged = waitFor([&] { return shared.converged == plan.clients; }, plan.settleLimit);
    report.settleSeconds = std::chrono::duration<double>(Clock::now() - settling).count();
  }
  shared.phase = 3;
  for (std::thread& thread : threads) thread.join();
  report.droppedClients = shared.dropped;
  for (const pid_t pid : killable) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  report.hubEnd =
      hub.QueryUntil([](const HubStats& stats) { return stats.peers == 0 && stats.objects == 0; }, 20);
  if (relay) report.relayDropped = relay->Dropped();

  // Each change's latency: from its owner's send to its last receiver's unpacking.
  std::vector<double> latencies;
  for (int owner = 0; owner < plan.clients; ++owner) {
    const std::vector<int64_t>& sent = clients[static_cast<std::size_t>(owner)]->Sent();
    std::vector<int64_t> latest(sent.size(), 0);
    for (int c = 0; c < plan.clients; ++c) {
      if (c != owner) clients[static_cast<std::size_t>(c)]->MergeArrivals(latest, owner);
    }
    for (std::size_t at = 0; at < sent.size(); ++at) {
      if (sent[at] < 0) continue;
      ++report.changes;
      if (latest[at] < 0) continue;
      ++report.measured;
      latencies.push_back(static_cast<double>(latest[at] - sent[at]) / 1000.0);
    }
  }
  report.p50Ms = Percentile(latencies, 0.5);
  report.p99Ms = Percentile(latencies, 0.99);
  report.maxMs = latencies.empty() ? 0 : *std::max_element(latencies.begin(), latencies.end());
  return report;
}

// Clients on `threads` threads connect, share objects for a moment and leave, again and again
// for `seconds`; answers the number of sessions. The hub's tables are read afterwards.
inline int Churn(int32_t port, int threads, double seconds) {
  std::atomic<int> sessions{0};
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      std::mt19937 random(static_cast<uint32_t>(t));
      while (Clock::now() < end) {
        const Ref<TOrbuHost> host = NewOrbuHost();
        if (OrbuDial(host, "127.0.0.1", port, 5000) == 1) {
          const std::vector<Ref<TOrbuObject>> own = MakeOwnObjects(host, t, 20);
          const int rounds = std::uniform_int_distribution<int>(5, 60)(random);
          for (int round = 1; round <= rounds; ++round) {
            Change(own, t, round);
            PumpOrbuHost(host);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
          ++sessions;
        }
        ShutOrbuHost(host);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  return sessions;
}

}  // namespace corvex::orbuload
