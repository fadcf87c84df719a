// A monotonic high-resolution clock read as a frequency and a count.
#pragma once

#include <cstdint>

// Counts per second of perf_counter().
std::int64_t perf_frequency();

// Current value of the monotonic counter.
std::int64_t perf_counter();
