#include "net/SocketStream.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "runtime/Module.h"

namespace corvex {

bool TSocketStream::FillAhead() {
  if (!socket_) return false;
  if (!ahead_) ahead_ = std::make_unique_for_overwrite<uint8_t[]>(kAheadSize);
  aheadAt_ = 0;
  aheadEnd_ = std::max(socket_->ReceiveBytes(ahead_.get(), kAheadSize, 0), 0);
  return aheadEnd_ > 0;
}

int32_t TSocketStream::Read(void* buffer, int32_t count) {
  if (!socket_ || count <= 0) return 0;
  Settle();
  if (aheadAt_ == aheadEnd_) {
    // Large reads go straight into the caller's buffer.
    if (count >= kAheadSize) return socket_->ReceiveBytes(buffer, count, 0);
    const bool filled = FillAhead();
    Publish();
    if (!filled) return 0;
  }
  const int32_t n = std::min(count, aheadEnd_ - aheadAt_);
  std::memcpy(buffer, ahead_.get() + aheadAt_, static_cast<std::size_t>(n));
  aheadAt_ += n;
  Publish();
  return n;
}

std::span<const uint8_t> TSocketStream::BytesAhead() {
  Settle();
  if (aheadAt_ == aheadEnd_) FillAhead();
  Publish();
  return HeldAhead();
}

int32_t TSocketStream::Write(const void* buffer, int32_t count) {
  if (!socket_ || count <= 0) return 0;
  return socket_->SendBytes(buffer, count, 0);
}

int32_t TSocketStream::ReadBytes(void* buffer, int32_t count) {
  auto* at = static_cast<uint8_t*>(buffer);
  int32_t remaining = count;
  while (remaining > 0) {
    const int32_t n = Read(at, remaining);
    if (n <= 0) {
      if (Eof()) break;
      throw TStreamReadException();
    }
    remaining -= n;
    at += n;
  }
  return count;
}

String TSocketStream::ReadLine() {
  Settle();
  String whole;
  std::size_t taken = 0;
  if (aheadAt_ < aheadEnd_ &&
      TakeWholeLine(ahead_.get() + aheadAt_, static_cast<std::size_t>(aheadEnd_ - aheadAt_), whole, taken)) {
    aheadAt_ += static_cast<int32_t>(taken);
    Publish();
    return whole;
  }
  std::string line;
  bool ended = false;
  while (!ended && (aheadAt_ < aheadEnd_ || FillAhead())) {
    aheadAt_ += static_cast<int32_t>(
        TakeLineBytes(ahead_.get() + aheadAt_, static_cast<std::size_t>(aheadEnd_ - aheadAt_), line, ended));
  }
  Publish();
  return String::FromBytes(line.data(), line.size());
}

bool TSocketStream::Eof() {
  if (!HeldAhead().empty()) return false;
  Settle();
  if (socket_ && socket_->IsConnected() != 0) return false;
  Close();
  return true;
}

void TSocketStream::Close() {
  if (!socket_) return;
  if (autoClose_ != 0) socket_->Close();
  socket_ = Null;
  aheadAt_ = aheadEnd_ = 0;
  Publish();
}

void TSocketStream::TakeSocketFrom(TSocketStream& other) {
  other.Settle();
  socket_ = std::exchange(other.socket_, Null);
  autoClose_ = other.autoClose_;
  // Bytes the other stream has received ahead belong to this one now.
  ahead_ = std::move(other.ahead_);
  aheadAt_ = std::exchange(other.aheadAt_, 0);
  aheadEnd_ = std::exchange(other.aheadEnd_, 0);
  other.Publish();
  Publish();
}

Ref<TSocketStream> TSocketStream::Wrap(const Ref<TSocket>& socket, int32_t autoClose) {
  if (!socket) return Null;
  Ref<TSocketStream> stream = New<TSocketStream>();
  stream->socket_ = socket;
  stream->autoClose_ = autoClose;
  return stream;
}

Ref<TSocketStream> TSocketStream::ConnectClient(const String& host, int32_t port) {
  const int32_t address = LookupHostAddress(host, 0);
  if (address == 0) return Null;
  const Ref<TSocket> socket = TSocket::NewTcp();
  if (!socket) return Null;
  if (socket->ConnectTo(address, port) == 0) {
    socket->Close();
    return Null;
  }
  return Wrap(socket, 1);
}

Ref<TStream> TSocketStreamFactory::CreateStream(const Url&, const String& protocol, const String& path, bool,
                                                bool) {
  if (protocol != String("tcp")) return Null;
  const int32_t colon = path.Find(":");
  if (colon < 0) return TSocketStream::ConnectClient(path, 80);
  return TSocketStream::ConnectClient(path.Slice(0, colon), path.Slice(colon + 1).ToInt());
}

void InitSocketStreamModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  New<TSocketStreamFactory>();  // the chain keeps it for the rest of the process
}

}  // namespace corvex
