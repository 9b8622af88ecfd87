// Socket streams against plain send and recv of the same buffers over loopback, and the http
// protocol against reading the same file directly and against a plain client of the same
// server, in the same run.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/posix/PlainSockets.h"
#include "net/HttpStream.h"
#include "net/Socket.h"
#include "net/SocketStream.h"
#include "stream/TextStream.h"
#include "stream/Url.h"
#include "tests/net/PythonHttpServer.h"

namespace corvex {
namespace {

constexpr std::size_t kPushed = 256u << 20;  // bytes per iteration
constexpr std::size_t kBuffer = 64u << 10;   // bytes per send or receive call
constexpr int32_t kLoopback = 0x7F000001;

// The peer of the socket benchmarks, on a thread of its own: one connection, served with plain
// send and recv so that both variants meet the same peer. As a sink it takes kPushed bytes and
// acknowledges them with one byte; as a source it answers each one-byte request with kPushed
// bytes. It ends when the connection does.
class Peer {
 public:
  explicit Peer(bool sink) {
    listener_ = TSocket::NewTcp();
    listener_->BindPort(0);
    listener_->StartListening(1);
    thread_ = std::thread([this, sink] {
      const Ref<TSocket> connection = listener_->AcceptWithin(-1);
      if (!connection) return;
      std::vector<char> buffer(kBuffer, 's');
      char signal = 0;
      for (;;) {
        if (sink) {
          bool whole = true;
          for (std::size_t done = 0; done < kPushed && whole; done += kBuffer) {
            whole = bench::PlainReceiveAll(connection->Handle(), buffer.data(), kBuffer);
          }
          if (!whole || !bench::PlainSendAll(connection->Handle(), &signal, 1)) break;
        } else {
          if (!bench::PlainReceiveAll(connection->Handle(), &signal, 1)) break;
          bool whole = true;
          for (std::size_t done = 0; done < kPushed && whole; done += kBuffer) {
            whole = bench::PlainSendAll(connection->Handle(), buffer.data(), kBuffer);
          }
          if (!whole) break;
        }
      }
      connection->Close();
    });
  }
  ~Peer() {
    thread_.join();
    listener_->Close();
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  // A new connection to the peer.
  Ref<TSocket> Connect() const {
    const Ref<TSocket> socket = TSocket::NewTcp();
    socket->ConnectTo(kLoopback, listener_->LocalPortNumber());
    return socket;
  }

 private:
  Ref<TSocket> listener_;
  std::thread thread_;
};

void BM_PushPlainSendBaseline(benchmark::State& state) {
  Peer sink(true);
  const Ref<TSocket> socket = sink.Connect();
  std::vector<char> buffer(kBuffer, 'p');
  char ack = 0;
  for (auto _ : state) {
    for (std::size_t done = 0; done < kPushed; done += kBuffer) {
      bench::PlainSendAll(socket->Handle(), buffer.data(), kBuffer);
    }
    bench::PlainReceiveAll(socket->Handle(), &ack, 1);
  }
  socket->Close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPushed));
}
BENCHMARK(BM_PushPlainSendBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PushSocketStreamWriteBytes(benchmark::State& state) {
  Peer sink(true);
  const Ref<TSocketStream> stream = TSocketStream::Wrap(sink.Connect(), 1);
  std::vector<char> buffer(kBuffer, 'p');
  for (auto _ : state) {
    for (std::size_t done = 0; done < kPushed; done += kBuffer) {
      stream->WriteBytes(buffer.data(), static_cast<int32_t>(kBuffer));
    }
    benchmark::DoNotOptimize(stream->ReadByte());
  }
  stream->Close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPushed));
}
BENCHMARK(BM_PushSocketStreamWriteBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PullPlainRecvBaseline(benchmark::State& state) {
  Peer source(false);
  const Ref<TSocket> socket = source.Connect();
  std::vector<char> buffer(kBuffer);
  const char request = 1;
  for (auto _ : state) {
    bench::PlainSendAll(socket->Handle(), &request, 1);
    for (std::size_t done = 0; done < kPushed; done += kBuffer) {
      bench::PlainReceiveAll(socket->Handle(), buffer.data(), kBuffer);
    }
  }
  socket->Close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPushed));
}
BENCHMARK(BM_PullPlainRecvBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PullSocketStreamReadBytes(benchmark::State& state) {
  Peer source(false);
  const Ref<TSocketStream> stream = TSocketStream::Wrap(source.Connect(), 1);
  std::vector<char> buffer(kBuffer);
  for (auto _ : state) {
    stream->WriteByte(1);
    for (std::size_t done = 0; done < kPushed; done += kBuffer) {
      stream->ReadBytes(buffer.data(), static_cast<int32_t>(kBuffer));
    }
  }
  stream->Close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPushed));
}
BENCHMARK(BM_PullSocketStreamReadBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- lines over a socket ----

constexpr std::size_t kLineData = 4u << 20;

// A server that answers each connection with kLineData bytes of 24-byte lines and closes it.
class LineServer {
 public:
  LineServer() {
    for (std::size_t i = 0; i < kLineData; ++i)
      lines_ += (i % 24 == 23) ? '\n' : static_cast<char>('a' + i % 23);
    listener_ = TSocket::NewTcp();
    listener_->BindPort(0);
    listener_->StartListening(4);
    thread_ = std::thread([this] {
      while (!stopping_) {
        const Ref<TSocket> connection = listener_->AcceptWithin(50);
        if (!connection) continue;
        bench::PlainSendAll(connection->Handle(), lines_.data(), lines_.size());
        connection->Close();
      }
    });
  }
  ~LineServer() {
    stopping_ = true;
    thread_.join();
    listener_->Close();
  }
  LineServer(const LineServer&) = delete;
  LineServer& operator=(const LineServer&) = delete;

  Ref<TSocket> Connect() const {
    const Ref<TSocket> socket = TSocket::NewTcp();
    socket->ConnectTo(kLoopback, listener_->LocalPortNumber());
    return socket;
  }

 private:
  std::string lines_;
  Ref<TSocket> listener_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// fgets over the connection, through a stdio stream on a copy of its descriptor.
void BM_FgetsSocketBaseline(benchmark::State& state) {
  LineServer server;
  for (auto _ : state) {
    const Ref<TSocket> socket = server.Connect();
    std::FILE* file = fdopen(dup(socket->Handle()), "rb");
    char line[1024];
    int lines = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) ++lines;
    std::fclose(file);
    socket->Close();
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLineData));
}
BENCHMARK(BM_FgetsSocketBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadLineSocketStream(benchmark::State& state) {
  LineServer server;
  for (auto _ : state) {
    const Ref<TSocketStream> stream = TSocketStream::Wrap(server.Connect(), 1);
    int32_t lines = 0;
    while (!stream->Eof()) lines += stream->ReadLine().Length() > 0;
    stream->Close();
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLineData));
}
BENCHMARK(BM_ReadLineSocketStream)->Unit(benchmark::kMillisecond)->UseRealTime();

// A Latin-1 text stream over the connection: whole lines, and one character at a time.
template <bool kLines>
void TextReadsSocket(benchmark::State& state) {
  LineServer server;
  for (auto _ : state) {
    const Ref<TSocketStream> socket = TSocketStream::Wrap(server.Connect(), 1);
    const Ref<TTextStream> stream = TTextStream::Create(socket, ENCODING_LATIN1);
    int64_t seen = 0;
    while (!stream->Eof()) seen += kLines ? stream->ReadLine().Length() : stream->ReadChar();
    socket->Close();
    benchmark::DoNotOptimize(seen);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLineData));
}
void BM_TextReadLineSocket(benchmark::State& state) {
  TextReadsSocket<true>(state);
}
BENCHMARK(BM_TextReadLineSocket)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_TextReadCharSocket(benchmark::State& state) {
  TextReadsSocket<false>(state);
}
BENCHMARK(BM_TextReadCharSocket)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- http ----

constexpr std::size_t kServedFile = 16u << 20;

// A directory with the 16 MiB file, served by the Python server for the whole run.
struct ServedFile {
  ServedFile() {
    directory = std::filesystem::temp_directory_path() / "corvex-bench-http";
    std::filesystem::create_directories(directory);
    path = (directory / "big.bin").string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::vector<unsigned char> bytes(kServedFile);
    for (std::size_t i = 0; i < kServedFile; ++i) bytes[i] = static_cast<unsigned char>(i * 131);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    server = std::make_unique<testing_support::PythonHttpServer>(directory.string());
  }
  ~ServedFile() {
    server.reset();
    std::filesystem::remove_all(directory);
  }
  std::filesystem::path directory;
  std::string path;
  std::unique_ptr<testing_support::PythonHttpServer> server;
};

ServedFile& Served() {
  static ServedFile served;
  return served;
}

void BM_LoadAllBytesFileBaseline(benchmark::State& state) {
  const String path(Served().path.c_str());
  for (auto _ : state) benchmark::DoNotOptimize(LoadAllBytes(path));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kServedFile));
}
BENCHMARK(BM_LoadAllBytesFileBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same request from a plain client: one send, then recv into one buffer of the file's size
// (plus room for the head) until the server closes.
void BM_HttpPlainClientBaseline(benchmark::State& state) {
  const auto& server = *Served().server;
  if (!server.Ready()) {
    state.SkipWithError(server.Error().c_str());
    return;
  }
  const std::string request =
      "GET /big.bin HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n\r\n";
  std::vector<char> response(kServedFile + 4096);
  for (auto _ : state) {
    const Ref<TSocket> socket = TSocket::NewTcp();
    socket->ConnectTo(kLoopback, server.Port());
    bench::PlainSendAll(socket->Handle(), request.data(), request.size());
    std::size_t filled = 0;
    for (long n = 1; n > 0 && filled < response.size(); filled += static_cast<std::size_t>(n)) {
      n = bench::PlainReceive(socket->Handle(), response.data() + filled, response.size() - filled);
      if (n < 0) n = 0;
    }
    socket->Close();
    if (filled < kServedFile) state.SkipWithError("short response");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kServedFile));
}
BENCHMARK(BM_HttpPlainClientBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// The http protocol read into one buffer of the same size as the plain client's: what the
// protocol itself costs, apart from how LoadAllBytes grows its buffer for a stream of unknown size.
void BM_HttpStreamReadIntoOneBuffer(benchmark::State& state) {
  InitHttpStreamModule();
  const auto& server = *Served().server;
  if (!server.Ready()) {
    state.SkipWithError(server.Error().c_str());
    return;
  }
  const String url = server.Url("/big.bin");
  std::vector<char> body(kServedFile + 4096);
  for (auto _ : state) {
    const Ref<TStream> stream = OpenReadStream(url);
    std::size_t filled = 0;
    while (!stream->Eof() && filled < body.size()) {
      const int32_t n = stream->Read(body.data() + filled, static_cast<int32_t>(body.size() - filled));
      if (n <= 0) break;
      filled += static_cast<std::size_t>(n);
    }
    stream->Close();
    if (filled != kServedFile) state.SkipWithError("short body");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kServedFile));
}
BENCHMARK(BM_HttpStreamReadIntoOneBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

// libcurl fetching the same file into memory the usual way: its write callback appends each
// piece to a growing buffer.
void BM_LibcurlBaseline(benchmark::State& state) {
  const auto& server = *Served().server;
  if (!server.Ready()) {
    state.SkipWithError(server.Error().c_str());
    return;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/big.bin";
  curl_global_init(CURL_GLOBAL_DEFAULT);
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, std::size_t size, std::size_t count, void* out) {
          static_cast<std::string*>(out)->append(data, size * count);
          return size * count;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(curl) != CURLE_OK || body.size() != kServedFile)
      state.SkipWithError("libcurl failed");
    curl_easy_cleanup(curl);
    benchmark::DoNotOptimize(body.data());
  }
  curl_global_cleanup();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kServedFile));
}
BENCHMARK(BM_LibcurlBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadAllBytesHttp(benchmark::State& state) {
  InitHttpStreamModule();
  const auto& server = *Served().server;
  if (!server.Ready()) {
    state.SkipWithError(server.Error().c_str());
    return;
  }
  const String url = server.Url("/big.bin");
  for (auto _ : state) {
    const ByteArray bytes = LoadAllBytes(url);
    if (bytes.Length() != static_cast<int32_t>(kServedFile)) state.SkipWithError("short body");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kServedFile));
}
BENCHMARK(BM_LoadAllBytesHttp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvex
