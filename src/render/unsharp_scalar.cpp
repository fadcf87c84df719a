// Luma sharpening in plain code: the reference every faster variant must match.
#include <cstdlib>
#include <cstring>

#include "render/unsharp_pixel.h"
#include "render/warp_kernels.h"

void unsharp_rows_scalar(const std::uint8_t *plane, int w, int h, int stride, std::uint8_t *out,
                         int begin, int end) {
  for (int y = begin; y < end; ++y) {
    const std::uint8_t *a = plane + static_cast<std::ptrdiff_t>(y > 0 ? y - 1 : 0) * stride;
    const std::uint8_t *b = plane + static_cast<std::ptrdiff_t>(y) * stride;
    const std::uint8_t *c = plane + static_cast<std::ptrdiff_t>(y + 1 < h ? y + 1 : h - 1) * stride;
    std::uint8_t *o = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    for (int x = 0; x < w; ++x) o[x] = unsharp_pixel(a, b, c, x, w);
  }
}

void unsharp_copy_back(std::uint8_t *plane, int w, int stride, const std::uint8_t *out, int begin,
                       int end) {
  for (int y = begin; y < end; ++y)
    std::memcpy(plane + static_cast<std::ptrdiff_t>(y) * stride,
                out + static_cast<std::size_t>(y) * static_cast<std::size_t>(w),
                static_cast<std::size_t>(w));
}

void unsharp_y_scalar(std::uint8_t *plane, int w, int h, int stride) {
  if (w < 1 || h < 1) return;
  // The results go to a scratch picture first: every sample reads the plane
  // as it was at entry.
  auto *out = static_cast<std::uint8_t *>(
      std::malloc(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)));
  if (out == nullptr) return;
  unsharp_rows_scalar(plane, w, h, stride, out, 0, h);
  unsharp_copy_back(plane, w, stride, out, 0, h);
  std::free(out);
}
