#include "platform/clock.h"

#include <time.h>

std::int64_t perf_frequency() { return 1000000000LL; }

std::int64_t perf_counter() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
