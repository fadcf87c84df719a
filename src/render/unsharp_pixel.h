// Per-sample sharpening rule in plain code, shared by every variant for the
// samples its vector loop does not cover (`static`: each kernel file, some
// built for AVX2, keeps its own copy).
#pragma once

#include <cstdint>

// One output sample at column x from the rows above (a), at (b) and below (c)
// of it, edges already resolved for the rows: L = 8p - the eight neighbours,
// d = trunc(L * 0.6 + 0.5), result p + d clamped to 0 .. 255.
static inline std::uint8_t unsharp_pixel(const std::uint8_t *a, const std::uint8_t *b,
                                         const std::uint8_t *c, int x, int w) {
  const int xl = x > 0 ? x - 1 : 0;
  const int xr = x + 1 < w ? x + 1 : w - 1;
  const int p = b[x];
  const int sum = a[xl] + a[x] + a[xr] + b[xl] + b[xr] + c[xl] + c[x] + c[xr];
  const int lap = 8 * p - sum;
  const int d = static_cast<int>(lap * 0.6 + 0.5);
  int v = p + d;
  if (v < 0) v = 0;
  if (v > 255) v = 255;
  return static_cast<std::uint8_t>(v);
}
