// Damaged copies of good files, and decoding them, for the tests that check that decoders give
// Null or a whole result and never leave part of it unwritten.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "tests/support/TestFiles.h"

namespace corvex::damaged_copies {

// Sixty copies of `bytes` with one to three bits flipped, the same for the same `name`. Headers
// matter most: half the copies have their flips in the first 64 bytes.
inline std::vector<std::string> BitFlippedCopies(const std::string& bytes, const std::string& name) {
  std::vector<std::string> copies;
  std::mt19937 random(static_cast<uint32_t>(std::hash<std::string>()(name)));
  for (int trial = 0; trial < 60; ++trial) {
    std::string damaged = bytes;
    const std::size_t span = trial % 2 == 0 ? std::min<std::size_t>(64, damaged.size()) : damaged.size();
    const int flips = 1 + trial % 3;
    for (int i = 0; i < flips; ++i) {
      damaged[random() % span] ^= static_cast<char>(1 << (random() % 8));
    }
    copies.push_back(std::move(damaged));
  }
  return copies;
}

// Decodes two fresh copies of `bytes` from memory streams. A stream exception counts as Null: a
// decoder called on its own may report a stream that runs dry. Unwritten parts of a result would
// differ between the two.
template <class Result, class Decode>
std::array<Ref<Result>, 2> DecodeTwice(const std::string& bytes, Decode decode) {
  std::array<Ref<Result>, 2> results;
  for (Ref<Result>& result : results) {
    std::string copy = bytes;
    try {
      result = decode(test_files::MemoryStream(copy));
    } catch (const TStreamException&) {
      result = Null;
    }
  }
  return results;
}

// A test name from a file name ("a.png" gives "a_png").
inline std::string FileTestName(const testing::TestParamInfo<std::string>& file) {
  std::string name = file.param;
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

}  // namespace corvex::damaged_copies
