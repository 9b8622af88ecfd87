#include "net/Socket.h"

#include <cerrno>
#include <string>
#include <vector>

#include "net/SocketPlatform.h"
#include "runtime/LastError.h"

namespace corvex {

String TSocketException::ToString() const {
  return "Internal socket error";
}

int32_t TSocket::SendBytes(const void* buffer, int32_t count, int32_t flags) {
  if (handle_ < 0) return 0;
  const int32_t n = platform::SendOnSocket(handle_, buffer, count, flags);
  return n < 0 ? 0 : n;
}

int32_t TSocket::ReceiveBytes(void* buffer, int32_t count, int32_t flags) {
  if (handle_ < 0) return 0;
  const int32_t n = platform::ReceiveOnSocket(handle_, buffer, count, flags);
  return n < 0 ? 0 : n;
}

void TSocket::Close() {
  if (handle_ < 0) return;
  if (autoClose_ != 0) platform::CloseSocketHandle(handle_);
  handle_ = -1;
  localAddress_ = localPort_ = remoteAddress_ = remotePort_ = -1;
}

int32_t TSocket::IsConnected() {
  if (handle_ < 0) return 0;
  // Bytes waiting make the socket readable, so asking for them first gives the same answer and
  // spares the readiness query while data streams in.
  if (BytesWaiting() > 0) return 1;
  if (platform::WaitUntilReadable(handle_, 0) != 1) return 1;
  if (BytesWaiting() > 0) return 1;  // arrived between the two queries
  Close();
  return 0;
}

int32_t TSocket::BindPort(int32_t port) {
  if (handle_ < 0) return FailZero("socket is closed");
  if (!platform::BindSocket(handle_, port)) return FailZero(ErrnoText(errno));
  RefreshLocalEnd();
  return 1;
}

int32_t TSocket::ConnectTo(int32_t address, int32_t port) {
  if (handle_ < 0) return FailZero("socket is closed");
  if (!platform::ConnectSocket(handle_, address, port)) return FailZero(ErrnoText(errno));
  RefreshLocalEnd();
  RefreshRemoteEnd();
  return 1;
}

int32_t TSocket::StartListening(int32_t backlog) {
  if (handle_ < 0) return FailZero("socket is closed");
  return platform::ListenOnSocket(handle_, backlog) ? 1 : FailZero(ErrnoText(errno));
}

Ref<TSocket> TSocket::AcceptWithin(int32_t milliseconds) {
  if (WaitReadable(milliseconds) != 1) return Null;
  // Every valid descriptor counts here, 0 included (it is free when standard input was closed);
  // refusing one would leave it open with nobody to close it.
  const platform::SocketHandle accepted = platform::AcceptOnSocket(handle_);
  return Wrap(accepted, 1);
}

int32_t TSocket::WaitReadable(int32_t milliseconds) {
  return handle_ < 0 ? -1 : platform::WaitUntilReadable(handle_, milliseconds);
}

int32_t TSocket::BytesWaiting() {
  if (handle_ < 0) return 0;
  const int32_t waiting = platform::BytesWaitingOnSocket(handle_);
  return waiting < 0 ? 0 : waiting;
}

void TSocket::SetNoDelay(int32_t enable) {
  if (handle_ >= 0) platform::SetSocketNoDelay(handle_, enable != 0);
}

int32_t TSocket::Handle() {
  return handle_;
}
int32_t TSocket::LocalAddress() {
  return localAddress_;
}
int32_t TSocket::LocalPortNumber() {
  return localPort_;
}
int32_t TSocket::RemoteAddress() {
  return remoteAddress_;
}
int32_t TSocket::RemotePortNumber() {
  return remotePort_;
}

void TSocket::RefreshLocalEnd() {
  platform::SocketEnd end;
  if (handle_ < 0 || !platform::LocalEndOf(handle_, end)) end = {};
  localAddress_ = end.address;
  localPort_ = end.port;
}

void TSocket::RefreshRemoteEnd() {
  platform::SocketEnd end;
  if (handle_ < 0 || !platform::RemoteEndOf(handle_, end)) end = {};
  remoteAddress_ = end.address;
  remotePort_ = end.port;
}

Ref<TSocket> TSocket::Wrap(int32_t handle, int32_t autoClose) {
  if (handle < 0) return Null;
  Ref<TSocket> socket = New<TSocket>();
  socket->handle_ = handle;
  socket->autoClose_ = autoClose;
  socket->RefreshLocalEnd();
  socket->RefreshRemoteEnd();
  return socket;
}

Ref<TSocket> TSocket::NewUdp() {
  Ref<TSocket> socket = Wrap(platform::OpenIPv4Socket(false), 1);
  if (!socket) SetLastError("no socket: " + ErrnoText(errno));
  return socket;
}

Ref<TSocket> TSocket::NewTcp() {
  Ref<TSocket> socket = Wrap(platform::OpenIPv4Socket(true), 1);
  if (!socket) SetLastError("no socket: " + ErrnoText(errno));
  return socket;
}

// ---- module-level forms ----

int32_t SocketSendBytes(const Ref<TSocket>& socket, const void* buffer, int32_t count, int32_t flags) {
  return socket->SendBytes(buffer, count, flags);
}
int32_t SocketReceiveBytes(const Ref<TSocket>& socket, void* buffer, int32_t count, int32_t flags) {
  return socket->ReceiveBytes(buffer, count, flags);
}
void CloseSocket(const Ref<TSocket>& socket) {
  socket->Close();
}
int32_t SocketConnected(const Ref<TSocket>& socket) {
  return socket->IsConnected();
}
int32_t BindSocket(const Ref<TSocket>& socket, int32_t port) {
  return socket->BindPort(port);
}
int32_t ConnectSocket(const Ref<TSocket>& socket, int32_t address, int32_t port) {
  return socket->ConnectTo(address, port);
}
int32_t SocketListen(const Ref<TSocket>& socket, int32_t backlog) {
  return socket->StartListening(backlog);
}
Ref<TSocket> SocketAccept(const Ref<TSocket>& socket, int32_t milliseconds) {
  return socket->AcceptWithin(milliseconds);
}
int32_t SocketBytesWaiting(const Ref<TSocket>& socket) {
  return socket->BytesWaiting();
}
void SetSocketNoDelay(const Ref<TSocket>& socket, int32_t enable) {
  socket->SetNoDelay(enable);
}
int32_t SocketHandle(const Ref<TSocket>& socket) {
  return socket->Handle();
}
int32_t SocketLocalAddress(const Ref<TSocket>& socket) {
  return socket->LocalAddress();
}
int32_t SocketLocalPort(const Ref<TSocket>& socket) {
  return socket->LocalPortNumber();
}
int32_t SocketRemoteAddress(const Ref<TSocket>& socket) {
  return socket->RemoteAddress();
}
int32_t SocketRemotePort(const Ref<TSocket>& socket) {
  return socket->RemotePortNumber();
}
void RefreshSocketLocalEnd(const Ref<TSocket>& socket) {
  socket->RefreshLocalEnd();
}
void RefreshSocketRemoteEnd(const Ref<TSocket>& socket) {
  socket->RefreshRemoteEnd();
}
Ref<TSocket> WrapSocket(int32_t handle, int32_t autoClose) {
  return TSocket::Wrap(handle, autoClose);
}
Ref<TSocket> CreateUdpSocket() {
  return TSocket::NewUdp();
}
Ref<TSocket> CreateTcpSocket() {
  return TSocket::NewTcp();
}

// ---- host functions ----

String FormatDottedIp(int32_t address) {
  const auto bits = static_cast<uint32_t>(address);
  return String::FromInt(bits >> 24) + "." + String::FromInt((bits >> 16) & 0xFF) + "." +
         String::FromInt((bits >> 8) & 0xFF) + "." + String::FromInt(bits & 0xFF);
}

Array<int32_t> LookupHostAddresses(const String& name) {
  return Array<int32_t>::FromVector(platform::LookupIPv4Addresses(name.ToBytes()));
}

int32_t LookupHostAddress(const String& name, int32_t index) {
  if (index < 0) return 0;
  const std::vector<int32_t> addresses = platform::LookupIPv4Addresses(name.ToBytes());
  if (addresses.empty()) SetLastError("unknown host " + name);
  return static_cast<std::size_t>(index) < addresses.size() ? addresses[static_cast<std::size_t>(index)] : 0;
}

String LookupHostName(int32_t address) {
  return String::FromBytes(platform::LookupIPv4Name(address));
}

}  // namespace corvex
