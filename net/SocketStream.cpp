#include "net/SocketStream.h"

#include "runtime/Module.h"

namespace corvex {

int32_t TSocketStream::Read(void* buffer, int32_t count) {
  if (!socket_ || count <= 0) return 0;
  return socket_->ReceiveBytes(buffer, count, 0);
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
  std::string line;
  uint8_t block[4096];
  bool ended = false;
  while (!ended && socket_) {
    const int32_t peeked = socket_->ReceiveBytes(block, sizeof block, kSocketFlagPeek);
    if (peeked <= 0) break;
    auto taken = static_cast<int32_t>(TakeLineBytes(block, static_cast<std::size_t>(peeked), line, ended));
    while (taken > 0) {
      const int32_t n = socket_->ReceiveBytes(block, taken, 0);
      if (n <= 0) return String::FromBytes(line.data(), line.size());
      taken -= n;
    }
  }
  return String::FromBytes(line.data(), line.size());
}

bool TSocketStream::Eof() {
  if (socket_ && socket_->IsConnected() != 0) return false;
  Close();
  return true;
}

void TSocketStream::Close() {
  if (!socket_) return;
  if (autoClose_ != 0) socket_->Close();
  socket_ = Null;
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
