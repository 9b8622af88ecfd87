// A hub under a game's load, over a lossy network, with clients killed mid-traffic and with
// clients coming and going. The runs here are short; CORVEX_ORBU_SOAK=1 makes them as long as
// the figures in the README (10 s of traffic, 30 s of churn).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/net/posix/OrbuLoad.h"

namespace corvex {
namespace {

using orbuload::HubProcess;
using orbuload::HubStats;
using orbuload::Plan;
using orbuload::Report;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

bool Soak() {
  return std::getenv("CORVEX_ORBU_SOAK") != nullptr;
}

// Prints the figures of a run for the log.
void Print(const char* name, const Plan& plan, const Report& report) {
  std::printf(
      "%s: %d clients x %d objects at %d Hz for %.1f s (+%d killed): %lld changes, %lld seen by all, "
      "p50 %.1f ms, p99 %.1f ms, max %.1f ms; hub CPU %.2f s, longest pump %.1f ms, RSS %lld -> %lld -> %lld "
      "kB; "
      "settled in %.1f s; relay dropped %llu; clients dropped %d\n",
      name, plan.clients, plan.objects, plan.hz, report.trafficSeconds, plan.killed,
      static_cast<long long>(report.changes), static_cast<long long>(report.measured), report.p50Ms,
      report.p99Ms, report.maxMs, report.hubLoaded.cpuSeconds - report.hubTraffic.cpuSeconds,
      report.hubLoaded.longestPumpMs, static_cast<long long>(report.hubStart.rssKb),
      static_cast<long long>(report.hubLoaded.rssKb), static_cast<long long>(report.hubEnd.rssKb),
      report.settleSeconds, static_cast<unsigned long long>(report.relayDropped), report.droppedClients);
}

// What every run must end with: each client held every owner's final state, every change
// reached every client, and the hub's tables emptied once the clients left.
void ExpectSound(const Report& report) {
  EXPECT_TRUE(report.converged);
  EXPECT_GT(report.changes, 0);
  EXPECT_EQ(report.measured, report.changes);
  EXPECT_EQ(report.hubEnd.peers, 0);
  EXPECT_EQ(report.hubEnd.objects, 0);
  EXPECT_EQ(report.droppedClients, 0);
}

// 32 clients with CORVEX_ORBU_SOAK; 16 otherwise, as 33 busy threads on a loaded two-core
// machine starve some clients long enough for ENet to time them out.
TEST(OrbuLoadTest, ManyClientsConvergeOnTheOwnersFinalState) {
  Plan plan;
  plan.clients = Soak() ? 32 : kSanitized ? 8 : 16;
  plan.seconds = Soak() ? 10 : 2;
  const Report report = orbuload::Run(plan);
  Print("scale", plan, report);
  ExpectSound(report);
}

TEST(OrbuLoadTest, ThroughALossyReorderingRelayEverythingConverges) {
  Plan plan;
  plan.clients = kSanitized ? 4 : 8;
  plan.seconds = Soak() ? 10 : 2;
  plan.lossy = true;
  const Report report = orbuload::Run(plan);
  Print("lossy", plan, report);
  ExpectSound(report);
  EXPECT_GT(report.relayDropped, 0u);
}

// The killed clients' objects must be closed on every other client before the run converges.
TEST(OrbuLoadTest, KilledClientsAreTimedOutAndTheirObjectsClosedEverywhere) {
  Plan plan;
  plan.clients = kSanitized ? 6 : 15;
  plan.killed = kSanitized ? 2 : 5;
  plan.seconds = Soak() ? 10 : 3;
  plan.killAfter = 1;
  const Report report = orbuload::Run(plan);
  Print("killed", plan, report);
  ExpectSound(report);
}

// A client behind a slow link (300-700 ms each way) that stops answering without a goodbye.
// Long round trips make ENet's first waits for acknowledgements long, and ENet looks at a silent
// peer only when a wait runs out, each twice the last: left alone, it kept the peer for about a
// minute. The hub must let it go, and close its objects, within seconds.
TEST(OrbuLoadTest, ASilentPeerOnASlowLinkIsTimedOutWithinSeconds) {
  HubProcess hub;  // first: it forks before the framework starts threads
  ASSERT_NE(hub.Port(), 0);
  orbuload::LossyUdpRelay slowLink(static_cast<uint16_t>(hub.Port()), 0.0, 300, 700, 5);
  const Ref<TOrbuHost> client = NewOrbuHost();
  ASSERT_EQ(OrbuDial(client, "127.0.0.1", slowLink.Port(), 10000), 1);
  const std::vector<Ref<TOrbuObject>> own = orbuload::MakeOwnObjects(client, 0, 20);
  // Three seconds of changes, so that ENet measures the link's round trips.
  for (int32_t round = 1; round <= 150; ++round) {
    orbuload::Change(own, 0, round);
    PumpOrbuHost(client);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(hub.QueryUntil([](const HubStats& stats) { return stats.objects == 20; }, 10).objects, 20);
  // The client is never pumped again: it acknowledges nothing from here on.
  const auto silent = std::chrono::steady_clock::now();
  const HubStats end =
      hub.QueryUntil([](const HubStats& stats) { return stats.peers == 0 && stats.objects == 0; }, 25);
  std::printf("silent peer: gone from the hub after %.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - silent).count());
  EXPECT_EQ(end.peers, 0);
  EXPECT_EQ(end.objects, 0);
  ShutOrbuHost(client);  // lets go of the objects, which refer to their host
}

TEST(OrbuLoadTest, ChurningClientsLeaveTheHubEmptyAndItsMemoryFlat) {
  HubProcess hub;  // first: it forks before the framework starts threads
  ASSERT_NE(hub.Port(), 0);
  const auto empty = [](const HubStats& stats) { return stats.peers == 0 && stats.objects == 0; };
  orbuload::Churn(hub.Port(), 8, 1);  // warms the hub's allocations up
  const HubStats start = hub.QueryUntil(empty, 20);
  const int threads = Soak() ? 24 : kSanitized ? 4 : 8;
  const int sessions = orbuload::Churn(hub.Port(), threads, Soak() ? 30 : 3);
  // A client whose goodbye was lost is timed out by ENet within its 30 s at most.
  const HubStats end = hub.QueryUntil(empty, 40);
  std::printf("churn: %d sessions on %d threads; hub RSS %lld -> %lld kB\n", sessions, threads,
              static_cast<long long>(start.rssKb), static_cast<long long>(end.rssKb));
  EXPECT_GT(sessions, threads);
  EXPECT_EQ(end.peers, 0);
  EXPECT_EQ(end.objects, 0);
  // AddressSanitizer keeps freed memory in quarantine, so the hub's size says nothing there.
  if (!kSanitized) {
    EXPECT_LE(end.rssKb, start.rssKb + 1024);
  }
}

}  // namespace
}  // namespace corvex
