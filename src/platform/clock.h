// A monotonic high-resolution clock read as a frequency and a count.
#pragma once

#include <cstdint>

// Counts per second of perf_counter().
std::int64_t perf_frequency();

// Current value of the monotonic counter.
std::int64_t perf_counter();

// A start time read from the counter, with the frequency it was read at.
struct PerfStamp {
  std::int64_t frequency;
  std::int64_t count;
};

inline PerfStamp perf_now() { return {perf_frequency(), perf_counter()}; }

// Milliseconds from `start` to now: each reading converted to milliseconds in
// double precision, the difference truncated toward zero.
std::int64_t perf_elapsed_ms(PerfStamp start);
