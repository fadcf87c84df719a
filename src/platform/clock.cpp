#include "platform/clock.h"

#include <time.h>

std::int64_t perf_frequency() { return 1000000000LL; }

std::int64_t perf_counter() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::int64_t perf_elapsed_ms(PerfStamp start) {
  PerfStamp now = perf_now();
  return static_cast<std::int64_t>(static_cast<double>(now.count) * 1000.0 / static_cast<double>(now.frequency) -
                                   static_cast<double>(start.count) * 1000.0 /
                                       static_cast<double>(start.frequency));
}
