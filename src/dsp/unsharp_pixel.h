// Per-sample sharpening rule in plain code, shared by every variant for the
// samples its vector loop does not cover (`static`: each kernel file, some
// built for AVX2, keeps its own copy).
#pragma once

#include <cstddef>
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

// Rows [begin, end) of a sharpening: each output row from the rows above, at
// and below it (repeated at the picture's edges), written packed into out by
// row_fn(a, b, c, w, out_row), the variant's own row kernel.
template <typename RowFn>
static inline void unsharp_rows_with(RowFn row_fn, const std::uint8_t *plane, int w, int h, int stride,
                                     std::uint8_t *out, int begin, int end) {
  for (int y = begin; y < end; ++y) {
    const std::uint8_t *a = plane + static_cast<std::ptrdiff_t>(y > 0 ? y - 1 : 0) * stride;
    const std::uint8_t *b = plane + static_cast<std::ptrdiff_t>(y) * stride;
    const std::uint8_t *c = plane + static_cast<std::ptrdiff_t>(y + 1 < h ? y + 1 : h - 1) * stride;
    row_fn(a, b, c, w, out + static_cast<std::size_t>(y) * static_cast<std::size_t>(w));
  }
}
