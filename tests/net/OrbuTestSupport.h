// What the shared-object tests share: the text a call throws, and hosts on loopback ENet that
// are pumped in turn until something has arrived.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "net/OrbuHost.h"
#include "runtime/Exceptions.h"

namespace corvex::orbutest {

// The text of the plain string `body` throws; "" when it throws nothing.
template <class Body>
std::string ThrownText(Body&& body) {
  try {
    body();
  } catch (const TThrownString& thrown) {
    return thrown.Text().ToBytes();
  }
  return {};
}

inline std::vector<uint8_t> Bytes(const ByteArray& array) {
  return {array.begin(), array.end()};
}

inline ByteArray ToArray(std::initializer_list<uint8_t> bytes) {
  return ByteArray::FromVector(std::vector<uint8_t>(bytes));
}

// A host listening on a free loopback port.
inline Ref<TOrbuHost> NewHub() {
  InitOrbuModule();
  Ref<TOrbuHost> hub = NewOrbuHost();
  EXPECT_EQ(OrbuOpenPort(hub, 0), 1);
  return hub;
}

// Pumps `pumped` in turn until `done` holds, at most a generous time for a loaded machine.
template <class Done>
bool PumpUntil(std::initializer_list<Ref<TOrbuHost>> pumped, Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    for (const Ref<TOrbuHost>& host : pumped) PumpOrbuHost(host);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Pumps every host a few rounds, so that whatever is on its way arrives.
inline void Settle(std::initializer_list<Ref<TOrbuHost>> pumped, int rounds = 30) {
  for (int round = 0; round < rounds; ++round) {
    for (const Ref<TOrbuHost>& host : pumped) PumpOrbuHost(host);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Dials the hub from `client` while another thread pumps the hub, which has to answer the
// connection; both run in this one process.
inline bool DialWhilePumping(const Ref<TOrbuHost>& client, const Ref<TOrbuHost>& hub) {
  std::atomic<bool> dialled{false};
  std::thread pumper([&] {
    while (!dialled) {
      PumpOrbuHost(hub);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const int32_t result = OrbuDial(client, "127.0.0.1", hub->Port(), 20000);
  dialled = true;
  pumper.join();
  return result == 1;
}

// The objects of a list, as objects.
inline std::vector<Ref<TOrbuObject>> ObjectsOf(const Ref<TList>& list) {
  std::vector<Ref<TOrbuObject>> result;
  for (const Ref<Object>& item : *list) result.push_back(Cast<TOrbuObject>(item));
  return result;
}

}  // namespace corvex::orbutest
