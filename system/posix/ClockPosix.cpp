// The system layer's clock over POSIX: CLOCK_MONOTONIC and nanosleep.
#include <cerrno>
#include <ctime>

#include "system/SystemPlatform.h"

namespace corvex::platform {

uint32_t MonotonicMillis() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t millis =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(millis);
}

void SleepFor(int32_t milliseconds) {
  timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal cuts the sleep short; sleep on for what is left.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace corvex::platform
