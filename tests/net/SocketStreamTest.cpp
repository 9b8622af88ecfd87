#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/SocketStream.h"
#include "stream/RamStream.h"
#include "stream/Url.h"
#include "tests/net/NetTestSupport.h"
#include "tests/stream/StreamTestSupport.h"

namespace corvex {
namespace {

using namespace testing_support;

class SocketStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitSocketStreamModule(); }
};

// A server that sends the bytes and closes the connection.
ConnectionHandler Sends(std::string bytes) {
  return [bytes](TSocket& connection, const std::atomic<bool>&) { SendAll(connection, bytes); };
}

TEST_F(SocketStreamTest, TheTcpProtocolOpensAConnectionThatCarriesTypedValuesAndLines) {
  LocalServer server(Echo);
  const Ref<TStream> stream = OpenStream("TCP::" + server.HostAndPort(), true, false);  // flags unused
  ASSERT_TRUE(IsA<TSocketStream>(stream));
  const Ref<TSocket> socket = Cast<TSocketStream>(stream)->SocketOf();
  ASSERT_TRUE(socket);
  EXPECT_EQ(socket->RemotePortNumber(), server.Port());
  EXPECT_EQ(stream->Pos(), -1);
  EXPECT_EQ(stream->Size(), 0);
  EXPECT_EQ(stream->Seek(0), -1);

  stream->WriteInt(-123456);
  stream->WriteDouble(2.5);
  EXPECT_TRUE(stream->WriteLine("a line"));
  EXPECT_EQ(stream->ReadInt(), -123456);
  EXPECT_EQ(stream->ReadDouble(), 2.5);
  EXPECT_EQ(stream->ReadLine(), String("a line"));
  EXPECT_FALSE(stream->Eof());

  stream->Close();
  EXPECT_EQ(socket->Handle(), -1);  // the stream owned its socket
  EXPECT_FALSE(Cast<TSocketStream>(stream)->SocketOf());
  EXPECT_TRUE(stream->Eof());
  EXPECT_EQ(stream->Read(nullptr, 1), 0);
  stream->Close();
}

TEST_F(SocketStreamTest, AHostWithoutAPortConnectsToPort80) {
  // Port 80 needs privileges and must be free: without them the case cannot be run here.
  const Ref<TSocket> listener = TSocket::NewTcp();
  ASSERT_TRUE(listener);
  if (listener->BindPort(80) == 0 || listener->StartListening(1) == 0) {
    listener->Close();
    GTEST_SKIP() << "port 80 cannot be taken here";
  }
  const Ref<TStream> stream = OpenStream("tcp::127.0.0.1", false, true);
  ASSERT_TRUE(stream);
  const Ref<TSocket> accepted = listener->AcceptWithin(5000);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->RemotePortNumber(), Cast<TSocketStream>(stream)->SocketOf()->LocalPortNumber());
  accepted->Close();
  stream->Close();
  listener->Close();
}

TEST_F(SocketStreamTest, TheStreamEndsAndClosesItselfOnceThePeerHasClosedAndAllIsRead) {
  const std::string payload = CountingBytes(300000);
  LocalServer server(Sends(payload));
  const int before = CountOpenDescriptors();
  const Ref<TStream> stream = OpenReadStream("tcp::" + server.HostAndPort());
  ASSERT_TRUE(stream);
  const ByteArray bytes = LoadAllBytes(stream);  // reads through a non-owning wrapper to the end
  ASSERT_EQ(bytes.Length(), static_cast<int32_t>(payload.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), payload.size()), payload);
  EXPECT_TRUE(stream->Eof());
  EXPECT_FALSE(Cast<TSocketStream>(stream)->SocketOf());
  EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(SocketStreamTest, WritingToAGonePeerFailsAsAStreamError) {
  LocalServer server([](TSocket&, const std::atomic<bool>&) {});
  const Ref<TStream> stream = OpenWriteStream("tcp::" + server.HostAndPort());
  ASSERT_TRUE(stream);
  const std::vector<char> block(1 << 20, 'x');
  bool failed = false;
  for (int attempt = 0; attempt < 200 && !failed; ++attempt) {
    try {
      stream->WriteBytes(block.data(), static_cast<int32_t>(block.size()));
    } catch (const TStreamWriteException&) {
      failed = true;
    }
  }
  EXPECT_TRUE(failed);
  stream->Close();
}

TEST_F(SocketStreamTest, ConnectionsThatCannotBeMadeGiveNullAndLeaveNothingOpen) {
  const Ref<TSocket> probe = TSocket::NewTcp();
  ASSERT_EQ(probe->BindPort(0), 1);
  const String freePort = PortText(probe->LocalPortNumber());
  probe->Close();

  const int before = CountOpenDescriptors();
  EXPECT_FALSE(OpenReadStream("tcp::127.0.0.1:" + freePort));
  EXPECT_FALSE(OpenReadStream("tcp::127.0.0.1:99999"));
  EXPECT_FALSE(OpenReadStream("tcp::"));
  EXPECT_FALSE(OpenReadStream("tcp:::80"));
  EXPECT_FALSE(TSocketStream::ConnectClient("", 80));
  EXPECT_FALSE(TSocketStream::ConnectClient("0.0.0.0", 80));  // address 0 counts as no address
  EXPECT_EQ(CountOpenDescriptors(), before);
  EXPECT_FALSE(TSocketStream::Wrap(Null, 1));
}

TEST_F(SocketStreamTest, AWrappingStreamThatDoesNotOwnItsSocketLeavesItOpen) {
  LocalServer server(Echo);
  const Ref<TSocket> socket = TSocket::NewTcp();
  ASSERT_EQ(socket->ConnectTo(kLoopback, server.Port()), 1);
  const Ref<TSocketStream> stream = TSocketStream::Wrap(socket, 0);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->SocketOf(), socket);
  stream->WriteByte(42);
  EXPECT_EQ(stream->ReadByte(), 42);
  stream->Close();
  EXPECT_GE(socket->Handle(), 0);
  EXPECT_EQ(socket->SendBytes("z", 1, 0), 1);
  socket->Close();
}

// Lines are taken a block at a time and only the line's bytes leave the socket: each line and
// the bytes after it are what reading one byte at a time gives.
TEST_F(SocketStreamTest, LinesLeaveTheRestOfTheDataOnTheSocket) {
  const std::string data = std::string("a\r\nb\0c\n", 7) + std::string(10000, 'x') + "\r\ntail";
  LocalServer server(Sends(data));
  const Ref<TStream> stream = OpenStream("tcp::" + server.HostAndPort(), true, false);
  ASSERT_TRUE(stream);
  std::string copy = data;
  const Ref<TStream> plain = NewMemoryStream(copy.data(), static_cast<int32_t>(copy.size()), true, false);
  EXPECT_EQ(stream->ReadLine(), plain->TStream::ReadLine());
  EXPECT_EQ(stream->ReadByte(), plain->ReadByte());
  for (int line = 0; line < 4; ++line) EXPECT_EQ(stream->ReadLine(), plain->TStream::ReadLine()) << line;
  EXPECT_EQ(stream->ReadLine(), String());  // the server has closed
  stream->Close();
}

}  // namespace
}  // namespace corvex
