// Fuzzes what a host does with the packets its peers send, on the path the pump takes: each
// packet is checked, applied and relayed by TOrbuHost::HandleReceive, then the host pumps so
// that created, modified and closed objects move on as they do between frames. The peers have no
// ENet connection, so nothing is sent and no socket is opened.
//
// The input is a run of packets, each a selector byte (its low bit picks one of two peers), a
// big-endian 16-bit length and that many bytes (fewer where the input ends).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/FuzzInput.h"
#include "net/OrbuHost.h"
#include "runtime/Log.h"

using namespace corvex;

namespace {

// Reads every slot of every object the host holds, and packs each whole, as a newcomer's
// welcome does.
void ReadBack(const Ref<TOrbuHost>& host) {
  for (const Ref<Object>& item : *host->AllObjects()) {
    auto* object = static_cast<TOrbuObject*>(item.Get());
    for (int32_t index = 0; index < kOrbuSlotCount; ++index) {
      (void)object->SlotInt(index);
      (void)object->SlotFloat(index);
      (void)object->SlotString(index).Length();
    }
    fuzz::IgnoringErrors([&] { (void)object->FullCreateMsg(); });
  }
  for (const Ref<Object>& item : *host->messages)
    (void)OrbuMessageTarget(Ref<TOrbuObject>(static_cast<TOrbuObject*>(item.Get())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started =
      (InitOrbuModule(), SetLogHandler(nullptr, LogLevel::Error), true);  // no warning per dropped packet
  (void)started;
  const Ref<TOrbuHost> host = NewOrbuHost();
  // A local object with a slot set, for messages addressed to it and ids to collide with.
  PutOrbuInt(NewOrbuObject(host), 0, 1);
  const Ref<TOrbuPeer> peers[2] = {host->AttachPeer(nullptr), host->AttachPeer(nullptr)};
  std::span<const uint8_t> input(data, size);
  while (input.size() >= 3) {
    const Ref<TOrbuPeer>& peer = peers[input[0] & 1];
    const std::size_t length = std::min<std::size_t>(input[1] * 256u + input[2], input.size() - 3);
    const std::span<const uint8_t> packet = input.subspan(3, length);
    input = input.subspan(3 + length);
    fuzz::IgnoringErrors([&] {
      host->HandleReceive(peer, packet);
      ReadBack(host);
      host->Pump();
    });
  }
  host->Shutdown();
  return 0;
}
