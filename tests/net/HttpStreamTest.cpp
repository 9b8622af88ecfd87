#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>

#include "net/HttpStream.h"
#include "net/SocketStream.h"
#include "pixmap/Pixmap.h"
#include "pixmap/PixmapLoader.h"
#include "pixmap/PngCodec.h"
#include "stream/TextStream.h"
#include "stream/Url.h"
#include "tests/net/NetTestSupport.h"
#include "tests/net/PythonHttpServer.h"
#include "tests/stream/StreamTestSupport.h"
#include "util/FileSystem.h"

namespace corvex {
namespace {

using namespace testing_support;

std::string Text(const ByteArray& bytes) {
  return bytes.IsEmpty() ? std::string()
                         : std::string(reinterpret_cast<const char*>(bytes.Data()),
                                       static_cast<std::size_t>(bytes.Length()));
}

// The files the Python server serves, and the server itself, for the whole suite.
class HttpStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitHttpStreamModule();
    InitTextStreamModule();
    InitFileSystemModule();
    InitProcessModule();
    InitPngLoaderModule();
    directory_ = new std::string(std::filesystem::temp_directory_path() /
                                 ("corvex-http-" + std::to_string(std::random_device()())));
    std::filesystem::create_directories(*directory_);
    WriteFile(*directory_ + "/notes.txt", "first line\nsecond line\n");
    WriteFile(*directory_ + "/index.html", "<p>index page</p>\nmore\n");
    server_ = new PythonHttpServer(*directory_);
    if (!server_->Ready()) ADD_FAILURE() << server_->Error();
  }
  static void TearDownTestSuite() {
    delete server_;
    std::filesystem::remove_all(*directory_);
    delete directory_;
  }
  void SetUp() override {
    if (!server_->Ready()) GTEST_SKIP() << "no HTTP server";
  }

  static std::string* directory_;
  static PythonHttpServer* server_;
};

std::string* HttpStreamTest::directory_ = nullptr;
PythonHttpServer* HttpStreamTest::server_ = nullptr;

TEST_F(HttpStreamTest, AFileLoadsAsText) {
  EXPECT_EQ(LoadTextFile(server_->Url("/notes.txt")), String("first line\nsecond line\n"));
  const Ref<TStream> text = OpenReadStream("utf8::" + server_->Url("/notes.txt"));  // protocols nest
  ASSERT_TRUE(text);
  EXPECT_EQ(text->ReadLine(), String("first line"));
  EXPECT_EQ(text->ReadLine(), String("second line"));
  text->Close();
}

TEST_F(HttpStreamTest, AHostAloneAsksForTheRootAndTheStreamStartsAtTheBody) {
  const Ref<TStream> stream = OpenReadStream("HTTP::127.0.0.1:" + PortText(server_->Port()));
  ASSERT_TRUE(IsA<TSocketStream>(stream));
  EXPECT_EQ(stream->ReadLine(), String("<p>index page</p>"));
  stream->Close();
}

TEST_F(HttpStreamTest, APngLoadsThroughACopyBecauseNetworkStreamsCannotSeek) {
  const Ref<TPixmap> picture = NewPixmap(37, 21, PIXEL_RGBA8888, 4);
  for (int32_t y = 0; y < 21; ++y) {
    for (int32_t x = 0; x < 37; ++x) {
      picture->SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(x * 7 << 16 | y * 11 << 8 | (x ^ y)));
    }
  }
  ASSERT_EQ(EncodePNG(picture, String((*directory_ + "/picture.png").c_str()), 6), 1);

  EXPECT_FALSE(ReadPixmap(server_->Url("/picture.png")));  // the loaders need to go back
  const Ref<TStream> copy = OpenFileStream(server_->Url("/picture.png"), true, false);
  ASSERT_TRUE(copy);
  const Ref<TPixmap> loaded = ReadPixmap(copy);
  copy->Close();
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->Width(), 37);
  ASSERT_EQ(loaded->Height(), 21);
  for (int32_t y = 0; y < 21; ++y) {
    for (int32_t x = 0; x < 37; ++x)
      ASSERT_EQ(loaded->GetPixel(x, y), picture->GetPixel(x, y)) << x << "," << y;
  }
}

TEST_F(HttpStreamTest, LongHeadersAreConsumedUpToTheLimits) {
  EXPECT_EQ(Text(LoadAllBytes(server_->Url("/long-headers"))), "long headers\n");
  EXPECT_EQ(Text(LoadAllBytes(server_->Url("/header-line/" + PortText(kHttpHeadLineLimit)))), "ok");

  const int before = CountOpenDescriptors();
  EXPECT_FALSE(OpenReadStream(server_->Url("/header-line/" + PortText(kHttpHeadLineLimit + 1))));
  EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(HttpStreamTest, TheStatusIsNotExamined) {
  const std::string page = Text(LoadAllBytes(server_->Url("/no-such-file")));
  EXPECT_NE(page.find("404"), std::string::npos);
}

// ---- servers written for the test ----

class HostileHttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitHttpStreamModule(); }
  void SetUp() override {
    timeout_ = HttpResponseTimeout();
    SetHttpResponseTimeout(400);
    descriptors_ = CountOpenDescriptors();
  }
  void TearDown() override {
    SetHttpResponseTimeout(timeout_);
    EXPECT_EQ(CountOpenDescriptors(), descriptors_) << "a descriptor was left open";
  }

  // Opens the URL and answers the stream, checking that the attempt took less than `limit`.
  static Ref<TStream> OpenWithin(const String& url, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto start = std::chrono::steady_clock::now();
    Ref<TStream> stream = OpenReadStream(url);
    EXPECT_LT(std::chrono::steady_clock::now() - start, limit);
    return stream;
  }

 private:
  int32_t timeout_ = 0;
  int descriptors_ = 0;
};

// A server that answers every request with the bytes and then, unless told to hold the
// connection open, closes it.
ConnectionHandler Answers(std::string reply, bool holdOpen) {
  return [reply, holdOpen](TSocket& connection, const std::atomic<bool>& stopping) {
    SendAll(connection, reply);
    if (holdOpen) HoldOpen(connection, stopping);
  };
}

TEST_F(HostileHttpTest, TheRequestIsThreeLinesAndTheBodyStartsRightAfterTheEmptyLine) {
  std::mutex lock;
  std::string request;
  LocalServer server([&](TSocket& connection, const std::atomic<bool>& stopping) {
    std::string received;
    char buffer[1024];
    while (received.find("\r\n\r\n") == std::string::npos && WaitForPeer(connection, stopping)) {
      const int32_t n = connection.ReceiveBytes(buffer, sizeof buffer, 0);
      if (n <= 0) break;
      received.append(buffer, static_cast<std::size_t>(n));
    }
    {
      const std::lock_guard<std::mutex> guard(lock);
      request = received;
    }
    // Head and body in one write, with bare LFs, CRs inside lines and a NUL line end.
    static constexpr char kReply[] = "HTTP/1.0 200 OK\nServer: t\rest\r\nX: y\0\r\r\nbody\nmore";
    SendAll(connection, std::string(kReply, sizeof kReply - 1));
  });
  const Ref<TStream> stream = OpenWithin("http::" + server.HostAndPort() + "/dir/page.html?q=1");
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->ReadLine(), String("body"));
  EXPECT_EQ(Text(LoadAllBytes(stream)), "more");
  stream->Close();
  const std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(request,
            "GET /dir/page.html?q=1 HTTP/1.0\r\nHost: " + server.HostAndPort().ToBytes() + "\r\n\r\n");
}

TEST_F(HostileHttpTest, AHeadThatNeverEndsIsRefusedInTime) {
  // A status line without its end, then silence on an open connection.
  LocalServer unfinished(Answers("HTTP/1.0 200 OK", true));
  EXPECT_FALSE(OpenWithin("http::" + unfinished.HostAndPort() + "/"));
  // Nothing at all on an open connection.
  LocalServer silent(Answers("", true));
  EXPECT_FALSE(OpenWithin("http::" + silent.HostAndPort()));
  // Header lines without end: refused at the head limit, long before the time-out would.
  SetHttpResponseTimeout(60000);
  LocalServer endless([](TSocket& connection, const std::atomic<bool>& stopping) {
    std::string block;
    for (int i = 0; i < 1000; ++i) block += "X-More: header\r\n";
    while (!stopping && SendAll(connection, block)) {
    }
  });
  EXPECT_FALSE(OpenWithin("http::" + endless.HostAndPort() + "/", std::chrono::seconds(30)));
}

TEST_F(HostileHttpTest, BinaryGarbageIsRefusedOrHandedOnButNeverTrusted) {
  std::mt19937 random(12345);
  std::string garbage(100000, '\0');
  for (char& byte : garbage) byte = static_cast<char>(1 + random() % 255);
  std::string noLineEnds = garbage;
  for (char& byte : noLineEnds) {
    if (byte == 10) byte = 11;
  }
  // One line longer than the line limit.
  LocalServer endlessLine(Answers(noLineEnds, true));
  EXPECT_FALSE(OpenWithin("http::" + endlessLine.HostAndPort()));

  // Garbage whose NULs end a line and make an empty one: what follows is the body.
  const std::string withNul = noLineEnds.substr(0, 100) + std::string(2, '\0') + garbage.substr(0, 5000);
  LocalServer nulLine(Answers(withNul, false));
  const Ref<TStream> stream = OpenWithin("http::" + nulLine.HostAndPort());
  ASSERT_TRUE(stream);
  EXPECT_EQ(Text(LoadAllBytes(stream)), garbage.substr(0, 5000));
  stream->Close();
}

TEST_F(HostileHttpTest, AConnectionThatEndsInsideTheHeadGivesAStreamAtItsEnd) {
  LocalServer cut(Answers("HTTP/1.0 200 OK\r\nContent-Le", false));
  const Ref<TStream> stream = OpenWithin("http::" + cut.HostAndPort() + "/x");
  ASSERT_TRUE(stream);
  EXPECT_TRUE(stream->Eof());
  EXPECT_TRUE(LoadAllBytes(stream).IsEmpty());
  stream->Close();

  LocalServer closes(Answers("", false));
  EXPECT_TRUE(Text(LoadAllBytes("http::" + closes.HostAndPort())).empty());
}

TEST_F(HostileHttpTest, RequestsThatWouldCarryOtherLinesAreNeverSent) {
  LocalServer server(Answers("HTTP/1.0 200 OK\r\n\r\n", false));
  const String base = "http::" + server.HostAndPort();
  EXPECT_FALSE(OpenWithin(base + "/a\r\nX-Injected: 1"));
  EXPECT_FALSE(OpenWithin(base + "/a\nb"));
  EXPECT_FALSE(OpenWithin(base + String(std::u16string(u"/\u010A"))));  // would lose its high byte as LF
  EXPECT_EQ(server.Accepted(), 0);
  EXPECT_FALSE(OpenWithin("http::/index.html"));  // no host
  const Ref<TStream> accepted =
      OpenWithin(base + String(std::u16string(u"/caf\u00E9")));  // Latin-1 goes out as is
  ASSERT_TRUE(accepted);
  accepted->Close();
}

}  // namespace
}  // namespace corvex
