// Helpers shared by the stream tests: a stream that records how it is used, and a fresh
// temporary directory per test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "stream/Stream.h"
#include "tests/support/TestFiles.h"

namespace corvex::testing_support {

// A stream over a byte string that records the counts asked of Read, what was written and how
// often it was closed. `chunk` limits what one Read delivers; an endless stream never reports
// its end, so Read answering 0 is all that stops a reader.
class RecordingStream : public TStream {
 public:
  explicit RecordingStream(std::string data = {}, int32_t chunk = INT32_MAX, bool endless = false)
      : data_(std::move(data)), chunk_(chunk), endless_(endless) {}

  bool Eof() override { return !endless_ && pos_ == Size(); }
  int32_t Pos() override { return pos_; }
  int32_t Size() override { return static_cast<int32_t>(data_.size()); }
  int32_t Read(void* buffer, int32_t count) override {
    requests.push_back(count);
    if (failReads) throw TRuntimeException("read failed");
    const int32_t n = std::min({count, chunk_, Size() - pos_});
    if (n <= 0) return 0;
    std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
  }
  int32_t Write(const void* buffer, int32_t count) override {
    const int32_t n = std::min(count, chunk_);
    written.append(static_cast<const char*>(buffer), static_cast<std::size_t>(n));
    return n;
  }
  void Close() override { ++closes; }

  std::vector<int32_t> requests;
  std::string written;
  int closes = 0;
  bool failReads = false;

 private:
  std::string data_;
  int32_t pos_ = 0;
  int32_t chunk_;
  bool endless_;
};

// A directory of its own for one test, removed with everything in it afterwards.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::path(::testing::TempDir()) /
            ("corvex-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" +
             std::to_string(std::random_device()()));
    std::filesystem::create_directories(path_);
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The directory, or a name inside it.
  std::string Path(const std::string& name = {}) const {
    return name.empty() ? path_.string() : (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::string bytes;
  test_files::ReadFileBytes(path, bytes);
  return bytes;
}

// `base` with a number no earlier call gave: registries keep their entries for the whole
// process, also when tests repeat.
inline std::string UniqueName(const std::string& base) {
  static int counter = 0;
  return base + "-" + std::to_string(++counter);
}

// Bytes 0, 1, ..., 255, 0, ... of the given length: every byte value, no two neighbours equal.
inline std::string CountingBytes(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  return bytes;
}

}  // namespace corvex::testing_support
