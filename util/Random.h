// The process-wide pseudo-random number generator: a Park-Miller generator with a settable seed.
// The same seed always yields the same sequence.
#pragma once

#include <cstdint>

namespace corvex {

// A float in [0, 1): one generator step.
float RandomFloat();
// A double in [0, 1): two generator steps.
double RandomDouble();
// A double between a and b (from the smaller towards the larger).
double RandomBetween(double a, double b);
// An integer from the smaller to the larger of a and b, both included.
int32_t RandomInt(int32_t a, int32_t b);
// Sets the seed; values that would stall the generator become 4660.
void SetRandomSeed(int32_t seed);
// The current seed, 1 to 2147483646.
int32_t GetRandomSeed();

}  // namespace corvex
