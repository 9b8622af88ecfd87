#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/OrbuHost.h"
#include "net/Socket.h"
#include "runtime/Exceptions.h"
#include "tests/net/NetTestSupport.h"
#include "tests/net/OrbuTestSupport.h"

namespace corvex {
namespace {

using namespace testing_support;

// A stream socket connected to the server; Null when that failed.
Ref<TSocket> ConnectTo(const LocalServer& server) {
  const Ref<TSocket> socket = TSocket::NewTcp();
  if (!socket || socket->ConnectTo(kLoopback, server.Port()) == 0) return Null;
  return socket;
}

// Waits until `count` bytes are waiting on the socket or a generous time has passed.
void WaitForBytes(TSocket& socket, int32_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (socket.BytesWaiting() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST(HostFunctionsTest, DottedFormsTakeTheHighestByteFirst) {
  EXPECT_EQ(FormatDottedIp(2130706433), String("127.0.0.1"));
  EXPECT_EQ(FormatDottedIp(-1), String("255.255.255.255"));
  EXPECT_EQ(FormatDottedIp(0), String("0.0.0.0"));
  EXPECT_EQ(FormatDottedIp(static_cast<int32_t>(0xC0A80A01u)), String("192.168.10.1"));
}

TEST(HostFunctionsTest, LookupsAnswerAddressesInOrderAndZeroOutsideThem) {
  const Array<int32_t> numeric = LookupHostAddresses("127.0.0.1");
  ASSERT_EQ(numeric.Length(), 1);
  EXPECT_EQ(numeric[0], kLoopback);
  EXPECT_EQ(LookupHostAddress("127.0.0.1", 0), kLoopback);
  EXPECT_EQ(LookupHostAddress("127.0.0.1", 5), 0);
  EXPECT_EQ(LookupHostAddress("127.0.0.1", -1), 0);

  // "localhost" comes from the hosts file, so no name server is asked.
  const Array<int32_t> local = LookupHostAddresses("localhost");
  ASSERT_GE(local.Length(), 1);
  EXPECT_EQ(LookupHostAddress("localhost", 0), local[0]);
  EXPECT_EQ(LookupHostAddress("localhost", local.Length()), 0);

  // Lookups that fail without asking the network: no name, and a name cut short by a NUL.
  EXPECT_TRUE(LookupHostAddresses("").IsEmpty());
  EXPECT_EQ(LookupHostAddress("", 0), 0);
  EXPECT_TRUE(LookupHostAddresses(String(std::u16string(u"localhost\0x", 11))).IsEmpty());
}

TEST(HostFunctionsTest, TheLoopbackAddressHasANameThatLeadsBackToIt) {
  const String name = LookupHostName(kLoopback);
  ASSERT_FALSE(name.IsEmpty());
  const Array<int32_t> addresses = LookupHostAddresses(name);
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), kLoopback), addresses.end()) << name.ToBytes();
}

TEST(SocketTest, ConnectedSocketsKnowBothEndsAndCarryBytesBothWays) {
  LocalServer server(Echo);
  const Ref<TSocket> client = ConnectTo(server);
  ASSERT_TRUE(client);
  EXPECT_GE(client->Handle(), 0);
  EXPECT_EQ(client->LocalAddress(), kLoopback);
  EXPECT_GT(client->LocalPortNumber(), 0);
  EXPECT_EQ(client->RemoteAddress(), kLoopback);
  EXPECT_EQ(client->RemotePortNumber(), server.Port());
  client->SetNoDelay(1);

  const std::string message = "hello over loopback";
  EXPECT_EQ(client->SendBytes(message.data(), static_cast<int32_t>(message.size()), 0),
            static_cast<int32_t>(message.size()));
  WaitForBytes(*client, static_cast<int32_t>(message.size()));
  EXPECT_EQ(client->BytesWaiting(), static_cast<int32_t>(message.size()));
  EXPECT_EQ(client->IsConnected(), 1);  // readable, with bytes waiting

  // A peek leaves the bytes where they are.
  char peeked[5] = {};
  EXPECT_EQ(client->ReceiveBytes(peeked, 5, kSocketFlagPeek), 5);
  std::string received(message.size(), '\0');
  EXPECT_EQ(client->ReceiveBytes(received.data(), static_cast<int32_t>(received.size()), kSocketFlagWaitAll),
            static_cast<int32_t>(message.size()));
  EXPECT_EQ(std::string(peeked, 5), "hello");
  EXPECT_EQ(received, message);
  EXPECT_EQ(client->IsConnected(), 1);  // not readable: nothing has happened

  client->Close();
  EXPECT_EQ(client->Handle(), -1);
  EXPECT_EQ(client->LocalAddress(), -1);
  EXPECT_EQ(client->LocalPortNumber(), -1);
  EXPECT_EQ(client->RemoteAddress(), -1);
  EXPECT_EQ(client->RemotePortNumber(), -1);
  EXPECT_EQ(client->IsConnected(), 0);
  EXPECT_EQ(client->SendBytes("x", 1, 0), 0);
  EXPECT_EQ(client->ReceiveBytes(received.data(), 1, 0), 0);
  client->Close();  // a second Close does nothing
}

TEST(SocketTest, AcceptWithinWaitsForAConnectionAndAnswersNullWithout) {
  const Ref<TSocket> listener = TSocket::NewTcp();
  ASSERT_TRUE(listener);
  ASSERT_EQ(listener->BindPort(0), 1);
  EXPECT_GT(listener->LocalPortNumber(), 0);
  EXPECT_EQ(listener->LocalAddress(), 0);  // any local address
  ASSERT_EQ(listener->StartListening(4), 1);

  EXPECT_FALSE(listener->AcceptWithin(0));
  EXPECT_FALSE(listener->AcceptWithin(30));

  const Ref<TSocket> client = TSocket::NewTcp();
  ASSERT_EQ(client->ConnectTo(kLoopback, listener->LocalPortNumber()), 1);
  const Ref<TSocket> accepted = listener->AcceptWithin(-1);  // a connection is pending: no wait
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->RemotePortNumber(), client->LocalPortNumber());
  EXPECT_EQ(accepted->LocalPortNumber(), listener->LocalPortNumber());
  EXPECT_EQ(accepted->RemoteAddress(), kLoopback);

  accepted->Close();
  client->Close();
  listener->Close();
  EXPECT_FALSE(listener->AcceptWithin(0));
}

TEST(SocketTest, APeerThatClosesIsNoticedOnlyOnceItsBytesAreRead) {
  const Ref<TSocket> listener = TSocket::NewTcp();
  ASSERT_EQ(listener->BindPort(0), 1);
  ASSERT_EQ(listener->StartListening(1), 1);
  const Ref<TSocket> client = TSocket::NewTcp();
  ASSERT_EQ(client->ConnectTo(kLoopback, listener->LocalPortNumber()), 1);
  const Ref<TSocket> peer = listener->AcceptWithin(5000);
  ASSERT_TRUE(peer);

  EXPECT_EQ(client->WaitReadable(0), 0);
  EXPECT_EQ(peer->SendBytes("bye", 3, 0), 3);
  EXPECT_EQ(client->WaitReadable(5000), 1);
  peer->Close();
  EXPECT_EQ(peer->WaitReadable(0), -1);
  WaitForBytes(*client, 3);
  EXPECT_EQ(client->IsConnected(), 1);  // the last bytes are still waiting
  char bytes[3];
  EXPECT_EQ(client->ReceiveBytes(bytes, 3, 0), 3);
  EXPECT_EQ(client->IsConnected(), 0);
  EXPECT_EQ(client->Handle(), -1);
  EXPECT_EQ(client->RemotePortNumber(), -1);
  listener->Close();
}

TEST(SocketTest, WritingToAGonePeerAnswersZeroWithoutEndingTheProcess) {
  // The server takes each connection and closes it at once. SIGPIPE keeps its default action
  // here, so a send that raised it would end the test program.
  LocalServer server([](TSocket&, const std::atomic<bool>&) {});
  const Ref<TSocket> client = ConnectTo(server);
  ASSERT_TRUE(client);
  const std::vector<char> block(64 * 1024, 'x');
  int32_t last = 1;
  for (int attempt = 0; attempt < 2000 && last > 0; ++attempt) {
    last = client->SendBytes(block.data(), static_cast<int32_t>(block.size()), 0);
    if (last > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(last, 0);
  client->Close();
}

TEST(SocketTest, FailedConnectionsAndRefusedPortsLeaveNoDescriptorOpen) {
  // A port that was just free: bound, read and closed again.
  const Ref<TSocket> probe = TSocket::NewTcp();
  ASSERT_EQ(probe->BindPort(0), 1);
  const int32_t freePort = probe->LocalPortNumber();
  probe->Close();

  const int before = CountOpenDescriptors();
  for (int i = 0; i < 3; ++i) {
    const Ref<TSocket> socket = TSocket::NewTcp();
    ASSERT_TRUE(socket);
    EXPECT_EQ(socket->ConnectTo(kLoopback, freePort), 0);
    EXPECT_EQ(socket->ConnectTo(kLoopback, 70000), 0);  // not a port: refused, not cut to 4464
    EXPECT_EQ(socket->ConnectTo(kLoopback, -1), 0);
    EXPECT_EQ(socket->BindPort(65536), 0);
    EXPECT_EQ(socket->LocalPortNumber(), 0);
    socket->Close();
  }
  EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST(SocketTest, WrapTakesAPlatformSocketAndClosesItOnlyWhenAskedTo) {
  EXPECT_FALSE(TSocket::Wrap(-1, 1));
  const Ref<TSocket> owner = TSocket::NewTcp();
  ASSERT_TRUE(owner);
  ASSERT_EQ(owner->BindPort(0), 1);

  const Ref<TSocket> borrowed = TSocket::Wrap(owner->Handle(), 0);
  ASSERT_TRUE(borrowed);
  EXPECT_EQ(borrowed->LocalPortNumber(), owner->LocalPortNumber());  // ends read on wrapping
  EXPECT_EQ(borrowed->RemotePortNumber(), 0);                        // not connected
  borrowed->Close();
  EXPECT_EQ(borrowed->Handle(), -1);
  EXPECT_EQ(owner->StartListening(1), 1);  // the platform socket is still open

  const int before = CountOpenDescriptors();
  owner->Close();
  EXPECT_EQ(CountOpenDescriptors(), before - 1);
}

TEST(SocketTest, ConnectedDatagramSocketsExchangeDatagrams) {
  const Ref<TSocket> receiver = TSocket::NewUdp();
  const Ref<TSocket> sender = TSocket::NewUdp();
  ASSERT_TRUE(receiver && sender);
  ASSERT_EQ(receiver->BindPort(0), 1);
  ASSERT_EQ(sender->ConnectTo(kLoopback, receiver->LocalPortNumber()), 1);
  EXPECT_EQ(sender->RemotePortNumber(), receiver->LocalPortNumber());
  EXPECT_EQ(sender->SendBytes("ping", 4, 0), 4);
  WaitForBytes(*receiver, 4);
  char datagram[16] = {};
  EXPECT_EQ(receiver->ReceiveBytes(datagram, sizeof datagram, 0), 4);
  EXPECT_STREQ(datagram, "ping");
  sender->Close();
  receiver->Close();
}

// Each module-level form against the operation it calls, on sockets and on shared objects.
TEST(ModuleLevelFormsTest, EachReachesItsOperationAndNullIsRefused) {
  InitOrbuModule();
  const Ref<TSocket> socket = CreateTcpSocket();
  ASSERT_TRUE(socket);
  const Ref<TOrbuHost> host = NewOrbuHost();
  const Ref<TOrbuObject> object = NewOrbuObject(host);
  const Ref<Object> target = New<TStringObject>("sprite");
  struct Case {
    const char* form;
    std::function<bool()> agrees;
  };
  const std::vector<Case> cases = {
      {"BindSocket", [&] { return BindSocket(socket, 0) == 1 && socket->LocalPortNumber() > 0; }},
      {"SocketLocalPort", [&] { return SocketLocalPort(socket) == socket->LocalPortNumber(); }},
      {"SocketListen", [&] { return SocketListen(socket, 1) == 1; }},
      {"SocketAccept", [&] { return !SocketAccept(socket, 0); }},
      {"SocketConnected", [&] { return SocketConnected(socket) == 1; }},  // nothing pending
      {"WrapSocket",
       [&] { return SocketLocalPort(WrapSocket(SocketHandle(socket), 0)) == socket->LocalPortNumber(); }},
      {"CloseSocket", [&] { return (CloseSocket(socket), SocketHandle(socket) == -1); }},
      {"CreateUdpSocket",
       [&] {
         const Ref<TSocket> udp = CreateUdpSocket();
         return udp && (CloseSocket(udp), true);
       }},
      {"PutOrbuFloat", [&] { return (PutOrbuFloat(object, 1, 0.5f), FetchOrbuFloat(object, 1) == 0.5f); }},
      {"PutOrbuString",
       [&] { return (PutOrbuString(object, 2, "text"), FetchOrbuString(object, 2) == String("text")); }},
      {"IsLocalOrbuObject", [&] { return IsLocalOrbuObject(object) && !IsRemoteOrbuObject(object); }},
      {"AttachOrbuTarget",
       [&] { return (AttachOrbuTarget(object, target), OrbuTargetOf(object) == target); }},
      {"OrbuObjectList all", [&] { return OrbuObjectList(host, kOrbuListAll)->Count() == 1; }},
      {"OrbuObjectList created", [&] { return OrbuObjectList(host, kOrbuListCreated) == host->created; }},
      {"OrbuObjectList modified", [&] { return OrbuObjectList(host, kOrbuListModified) == host->modified; }},
      {"OrbuObjectList closed", [&] { return OrbuObjectList(host, kOrbuListClosed) == host->closed; }},
      {"OrbuObjectList 4",
       [&] { return orbutest::ThrownText([&] { OrbuObjectList(host, 4); }) == "Unknown object state"; }},
      {"OrbuMessageList", [&] { return OrbuMessageList(host) == host->messages; }},
      {"NewOrbuMessage",
       [&] {
         const Ref<TOrbuObject> message = NewOrbuMessage(host);
         return message->state == kOrbuMessage && message->id == 0 && host->objects->Count() == 1;
       }},
      {"PostOrbuMessage to a local object",
       [&] { return (PostOrbuMessage(NewOrbuMessage(host), object), OrbuMessageList(host)->IsEmpty()); }},
      {"OrbuOpenPort 70000", [&] { return OrbuOpenPort(NewOrbuHost(), 70000) == 0; }},
      {"Null socket",
       [&] {
         const Ref<TSocket> none;
         bool refused = false;
         try {
           SocketConnected(none);
         } catch (const TNullObjectException&) {
           refused = true;
         }
         return refused;
       }},
      {"TSocketException", [&] { return TSocketException().ToString() == String("Internal socket error"); }},
  };
  for (const Case& test : cases) EXPECT_TRUE(test.agrees()) << test.form;
  ShutOrbuHost(host);
}

}  // namespace
}  // namespace corvex
