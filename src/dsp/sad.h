// 32x32 sum-of-absolute-differences kernels of the motion estimator: the
// plain C version (the reference) and the SSE2 one the estimator uses.
#pragma once

#include <cstdint>

// Sum of absolute differences of one 32x32 block: `prev` and `cur` point at
// the block's top-left samples, both images have row stride `stride`.
using Sad32Fn = std::uint64_t (*)(const std::uint8_t *prev, const std::uint8_t *cur, int stride);

std::uint64_t sad32_scalar(const std::uint8_t *prev, const std::uint8_t *cur, int stride);
std::uint64_t sad32_sse2(const std::uint8_t *prev, const std::uint8_t *cur, int stride);
