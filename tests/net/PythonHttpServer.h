// Python's http.server (tests/net/http_test_server.py under Debian's python3) serving a
// directory on 127.0.0.1 at a port the system picks, for the HTTP tests and benchmarks. The
// program that uses it defines CORVEX_TEST_PYTHON and CORVEX_HTTP_TEST_SERVER.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "process/Process.h"
#include "runtime/String.h"

namespace corvex::testing_support {

// Starts the server and waits until it listens; the destructor kills it.
class PythonHttpServer {
 public:
  explicit PythonHttpServer(const std::string& directory) {
    InitProcessModule();
    process_ = TProcess::Launch(String(CORVEX_TEST_PYTHON " -u " CORVEX_HTTP_TEST_SERVER " \"") +
                                String(directory.c_str()) + "\"");
    if (!process_) {
      error_ = "cannot start " CORVEX_TEST_PYTHON;
      return;
    }
    // The server prints "port N" once it listens; a loaded machine may take a while to start it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline && process_->Running() != 0) {
      const std::string line = process_->Pipe()->ReadLine().ToBytes();
      if (line.rfind("port ", 0) == 0) {
        port_ = std::stoi(line.substr(5));
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const ByteArray error = process_->ErrorPipe()->ReadAvailable();
    error_ = "the Python HTTP server did not start: " +
             (error.IsEmpty() ? std::string()
                              : std::string(reinterpret_cast<const char*>(error.Data()),
                                            static_cast<std::size_t>(error.Length())));
  }
  ~PythonHttpServer() {
    if (!process_) return;
    process_->Kill();
    process_->ClosePipes();
  }
  PythonHttpServer(const PythonHttpServer&) = delete;
  PythonHttpServer& operator=(const PythonHttpServer&) = delete;

  // Whether the server listens; Error() says why not.
  bool Ready() const { return port_ > 0; }
  const std::string& Error() const { return error_; }
  int32_t Port() const { return port_; }
  // "http::127.0.0.1:port" followed by the path.
  String Url(const String& path) const { return "http::127.0.0.1:" + String::FromInt(port_) + path; }

 private:
  Ref<TProcess> process_;
  int32_t port_ = 0;
  std::string error_;
};

}  // namespace corvex::testing_support
