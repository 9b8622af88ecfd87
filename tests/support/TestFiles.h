// Whole files as bytes, and read-only streams over bytes in memory, for every test suite.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "stream/RamStream.h"

namespace corvex::test_files {

// Reads the whole file into `bytes`; false (and `bytes` empty) when it does not open.
inline bool ReadFileBytes(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.good() || in.eof();
}

// A read-only memory stream over the bytes, which must outlive it.
inline Ref<TStream> MemoryStream(std::string& bytes) {
  return TRamStream::Create(bytes.data(), static_cast<int32_t>(bytes.size()), true, false);
}

}  // namespace corvex::test_files
