// Shared objects: packing and unpacking a full object against a plain copy of its bytes, and a
// hub relaying 1,000 objects' changes between two clients against bare ENet doing the same
// relay of the same packets.
#include <benchmark/benchmark.h>
#include <enet/enet.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/OrbuHost.h"
#include "tests/net/posix/OrbuLoad.h"

namespace corvex {
namespace {

constexpr int32_t kRelayObjects = 1000;
constexpr int32_t kSlotsPerChange = 3;

// 32 slots: 8 integers, 8 floats, 8 shorts and 8 eight-letter strings.
Ref<TOrbuObject> FullObject() {
  const Ref<TOrbuObject> object = TOrbuObject::Create(1, kOrbuSynced, Null, Null);
  for (int32_t i = 0; i < 8; ++i) {
    object->SetSlotInt(i, -1000 * i - 1);
    object->SetSlotFloat(8 + i, 0.25f * static_cast<float>(i));
    object->SetSlotInt(16 + i, 300 + i);
    object->SetSlotString(24 + i, "slot-txt");
  }
  return object;
}

void BM_MemcpyPackedBytesBaseline(benchmark::State& state) {
  const ByteArray packed = FullObject()->PackSlots(-1);
  std::vector<uint8_t> copy(static_cast<std::size_t>(packed.Length()));
  for (auto _ : state) {
    std::memcpy(copy.data(), packed.Data(), copy.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["bytes"] = static_cast<double>(packed.Length());
}
BENCHMARK(BM_MemcpyPackedBytesBaseline);

void BM_PackSlots32(benchmark::State& state) {
  const Ref<TOrbuObject> object = FullObject();
  for (auto _ : state) benchmark::DoNotOptimize(object->PackSlots(-1).Data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PackSlots32);

void BM_UnpackSlots32(benchmark::State& state) {
  const ByteArray packed = FullObject()->PackSlots(-1);
  const Ref<TOrbuObject> object = TOrbuObject::Create(1, kOrbuSynced, Null, Null);
  for (auto _ : state) {
    object->UnpackSlots(packed);
    benchmark::DoNotOptimize(object->modifiedMask);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnpackSlots32);

// Datagrams the system dropped because a UDP socket's receive buffer was full (all sockets).
double ReceiveBufferDrops() {
  std::ifstream snmp("/proc/net/snmp");
  std::string names, values, line;
  while (std::getline(snmp, line)) {
    if (line.rfind("Udp:", 0) != 0) continue;
    if (names.empty()) {
      names = line;
    } else {
      values = line;
      break;
    }
  }
  std::istringstream nameWords(names), valueWords(values);
  std::string name, value;
  while (nameWords >> name && valueWords >> value) {
    if (name == "RcvbufErrors") return std::stod(value);
  }
  return 0;
}

// What both relays report: changes delivered per second, UDP datagrams the hub sent per change
// and the receive-buffer drops of the run.
void ReportRelay(benchmark::State& state, enet_uint32 datagramsBefore, enet_uint32 datagramsAfter,
                 double dropsBefore) {
  const double changes = static_cast<double>(state.iterations()) * kRelayObjects;
  state.counters["changes_per_s"] = benchmark::Counter(changes, benchmark::Counter::kIsRate);
  state.counters["datagrams_per_change"] = static_cast<double>(datagramsAfter - datagramsBefore) / changes;
  state.counters["rcvbuf_drops"] = ReceiveBufferDrops() - dropsBefore;
  state.SetItemsProcessed(state.iterations() * kRelayObjects * kSlotsPerChange);
}

// The hub has to answer while a client dials, so it is pumped on another thread meanwhile.
bool DialWhilePumping(const Ref<TOrbuHost>& client, const Ref<TOrbuHost>& hub) {
  std::atomic<bool> dialled{false};
  std::thread pumper([&] {
    while (!dialled) PumpOrbuHost(hub);
  });
  const int32_t result = OrbuDial(client, "127.0.0.1", hub->Port(), 10000);
  dialled = true;
  pumper.join();
  return result == 1;
}

// One iteration: client A changes three slots (two shorts and a float) of each of its 1,000
// objects; A, the hub and client B are pumped in turn until B has every change.
void BM_HubRelay1000x3(benchmark::State& state) {
  InitOrbuModule();
  const Ref<TOrbuHost> hub = NewOrbuHost();
  const Ref<TOrbuHost> a = NewOrbuHost();
  const Ref<TOrbuHost> b = NewOrbuHost();
  if (!OrbuOpenPort(hub, 0) || !DialWhilePumping(a, hub) || !DialWhilePumping(b, hub)) {
    state.SkipWithError("no loopback connection");
    return;
  }
  std::vector<Ref<TOrbuObject>> objects;
  for (int32_t i = 0; i < kRelayObjects; ++i) objects.push_back(NewOrbuObject(a));
  while (b->objects->Count() < kRelayObjects) {
    PumpOrbuHost(a);
    PumpOrbuHost(hub);
    PumpOrbuHost(b);
  }
  const enet_uint32 sentBefore = hub->enetHost->totalSentData;
  const enet_uint32 datagramsBefore = hub->enetHost->totalSentPackets;
  const double dropsBefore = ReceiveBufferDrops();
  int32_t round = 0;
  int64_t pumps = 0;
  for (auto _ : state) {
    ++round;
    for (const Ref<TOrbuObject>& object : objects) {
      object->SetSlotInt(0, 300 + round % 1000);
      object->SetSlotInt(1, 1300 + round % 1000);
      object->SetSlotFloat(2, static_cast<float>(round));
    }
    int32_t arrived = 0;
    while (arrived < kRelayObjects) {
      PumpOrbuHost(a);
      PumpOrbuHost(hub);
      PumpOrbuHost(b);
      arrived += b->modified->Count();
      ++pumps;
    }
  }
  const double slots = static_cast<double>(state.iterations()) * kRelayObjects * kSlotsPerChange;
  state.counters["wire_bytes_per_slot"] =
      static_cast<double>(hub->enetHost->totalSentData - sentBefore) / slots;
  state.counters["pump_rounds_per_relay"] =
      static_cast<double>(pumps) / static_cast<double>(state.iterations());
  ReportRelay(state, datagramsBefore, hub->enetHost->totalSentPackets, dropsBefore);
  for (const Ref<TOrbuHost>& host : {a, b, hub}) ShutOrbuHost(host);
}
BENCHMARK(BM_HubRelay1000x3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Bare ENet: a client sends the same 1,000 eleven-byte packets, a hub forwards each to the
// other client, which takes them; no objects, ids or slots.
void BM_BareEnetRelayBaseline(benchmark::State& state) {
  InitOrbuModule();
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = 0;
  ENetHost* hub = enet_host_create(&address, 32, 1, 0, 0);
  ENetHost* a = enet_host_create(nullptr, 1, 1, 0, 0);
  ENetHost* b = enet_host_create(nullptr, 1, 1, 0, 0);
  enet_address_set_host_ip(&address, "127.0.0.1");
  address.port = hub->address.port;
  ENetPeer* toHubA = enet_host_connect(a, &address, 1, 0);
  ENetPeer* toHubB = nullptr;
  ENetPeer* hubToB = nullptr;
  int connections = 0;
  ::ENetEvent event;
  int received = 0;
  // Services every host; the hub forwards what A sends, B counts what arrives.
  const auto serviceAll = [&] {
    while (enet_host_service(a, &event, 0) > 0) {
      if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
    }
    while (enet_host_service(hub, &event, 0) > 0) {
      // B dials only once A is in, so the second connection is B's.
      if (event.type == ENET_EVENT_TYPE_CONNECT && ++connections == 2) hubToB = event.peer;
      if (event.type == ENET_EVENT_TYPE_RECEIVE) {
        if (hubToB) {
          enet_peer_send(
              hubToB, 0,
              enet_packet_create(event.packet->data, event.packet->dataLength, ENET_PACKET_FLAG_RELIABLE));
        }
        enet_packet_destroy(event.packet);
      }
    }
    while (enet_host_service(b, &event, 0) > 0) {
      if (event.type == ENET_EVENT_TYPE_RECEIVE) {
        ++received;
        enet_packet_destroy(event.packet);
      }
    }
  };
  while (connections < 1 || toHubA->state != ENET_PEER_STATE_CONNECTED) serviceAll();
  toHubB = enet_host_connect(b, &address, 1, 0);
  while (!hubToB || toHubB->state != ENET_PEER_STATE_CONNECTED) serviceAll();
  const uint8_t packet[11] = {0x20, 0x01, 0xA0, 0x01, 0x2C, 0xA1, 0x05, 0x14, 0x42, 0x3C, 0x00};
  const enet_uint32 sentBefore = hub->totalSentData;
  const enet_uint32 datagramsBefore = hub->totalSentPackets;
  const double dropsBefore = ReceiveBufferDrops();
  for (auto _ : state) {
    received = 0;
    for (int32_t i = 0; i < kRelayObjects; ++i) {
      enet_peer_send(toHubA, 0, enet_packet_create(packet, sizeof packet, ENET_PACKET_FLAG_RELIABLE));
    }
    while (received < kRelayObjects) serviceAll();
  }
  const double slots = static_cast<double>(state.iterations()) * kRelayObjects * kSlotsPerChange;
  state.counters["wire_bytes_per_slot"] = static_cast<double>(hub->totalSentData - sentBefore) / slots;
  ReportRelay(state, datagramsBefore, hub->totalSentPackets, dropsBefore);
  enet_host_destroy(a);
  enet_host_destroy(b);
  enet_host_destroy(hub);
}
BENCHMARK(BM_BareEnetRelayBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// A game's load for 10 s, the hub in a process of its own: 32 clients on threads each owning 20
// objects changed at 30 Hz (argument 0), the same through a relay that loses 5 % of datagrams
// and delays them by 20-60 ms (1), and 15 clients while 5 more are killed with SIGKILL one
// second in (2). Latency runs from an owner's send to the last receiver's unpacking.
void BM_HubUnderLoad(benchmark::State& state) {
  orbuload::Plan plan;
  plan.seconds = 10;
  plan.lossy = state.range(0) == 1;
  if (state.range(0) == 2) {
    plan.clients = 15;
    plan.killed = 5;
  }
  orbuload::Report report;
  for (auto _ : state) report = orbuload::Run(plan);
  state.counters["converged"] = report.converged ? 1 : 0;
  state.counters["clients_dropped"] = report.droppedClients;
  state.counters["changes_in_per_s"] = static_cast<double>(report.changes) / report.trafficSeconds;
  state.counters["p50_ms"] = report.p50Ms;
  state.counters["p99_ms"] = report.p99Ms;
  state.counters["max_ms"] = report.maxMs;
  state.counters["hub_cpu_s_per_s"] =
      (report.hubLoaded.cpuSeconds - report.hubTraffic.cpuSeconds) / report.trafficSeconds;
  state.counters["hub_longest_pump_ms"] = report.hubLoaded.longestPumpMs;
  state.counters["hub_rss_start_kb"] = static_cast<double>(report.hubStart.rssKb);
  state.counters["hub_rss_loaded_kb"] = static_cast<double>(report.hubLoaded.rssKb);
  state.counters["hub_rss_end_kb"] = static_cast<double>(report.hubEnd.rssKb);
}
BENCHMARK(BM_HubUnderLoad)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace corvex
