#include "util/Random.h"

namespace corvex {
namespace {

constexpr int32_t kInitialSeed = 4660;
constexpr int32_t kModulus = 2147483647;  // 2^31 - 1
constexpr int32_t kMultiplier = 48271;
// Schrage's decomposition of the modulus: kModulus = kMultiplier * kQuotient + kRemainder.
constexpr int32_t kQuotient = 44488;
constexpr int32_t kRemainder = 3399;
static_assert(kMultiplier * kQuotient + kRemainder == kModulus);

// The generator's state; constant-initialised, so the sequence starts the same in every process.
constinit int32_t g_randomSeed = kInitialSeed;

// One generator step, without overflowing 32 bits; answers the new seed.
int32_t Step() {
  int32_t seed = (g_randomSeed % kQuotient) * kMultiplier - (g_randomSeed / kQuotient) * kRemainder;
  if (seed < 0) seed += kModulus;
  g_randomSeed = seed;
  return seed;
}

}  // namespace

float RandomFloat() {
  return static_cast<float>(Step() & 0x0FFFFFF0) / 268435456.0f;
}

double RandomDouble() {
  const int32_t s1 = Step();
  const int32_t s2 = Step();
  return ((s1 & 0x1FFFFFFC) + (s2 & 0x1FFFFFF8) / 134217728.0) / 536870912.0;
}

double RandomBetween(double a, double b) {
  const double r = RandomDouble();
  return b > a ? a + r * (b - a) : b + r * (a - b);
}

int32_t RandomInt(int32_t a, int32_t b) {
  const double r = RandomDouble();
  // In 64 bits: the distance between the extremes of 32-bit values does not fit in 32.
  const int64_t d = static_cast<int64_t>(b) - a;
  if (d > 0) return static_cast<int32_t>(a + static_cast<int64_t>(r * static_cast<double>(d + 1)));
  return static_cast<int32_t>(b + static_cast<int64_t>(r * static_cast<double>(1 - d)));
}

void SetRandomSeed(int32_t seed) {
  const int32_t masked = seed & 0x7FFFFFFF;
  g_randomSeed = (masked == 0 || masked == kModulus) ? kInitialSeed : masked;
}

int32_t GetRandomSeed() {
  return g_randomSeed;
}

}  // namespace corvex
