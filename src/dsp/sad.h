// 32x32 sum-of-absolute-differences kernels of the motion estimator.
#pragma once

#include <cstdint>

std::uint64_t sad32_scalar(const std::uint8_t *prev, const std::uint8_t *cur, int stride);
std::uint64_t sad32_sse2(const std::uint8_t *prev, const std::uint8_t *cur, int stride);
