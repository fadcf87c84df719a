// Luma sharpening in plain code: the reference every faster variant must match.
#include <cstdlib>
#include <cstring>

#include "dsp/unsharp_pixel.h"
#include "dsp/warp_kernels.h"

void unsharp_rows_scalar(const std::uint8_t *plane, int w, int h, int stride, std::uint8_t *out,
                         int begin, int end) {
  unsharp_rows_with(
      [](const std::uint8_t *a, const std::uint8_t *b, const std::uint8_t *c, int width, std::uint8_t *o) {
        for (int x = 0; x < width; ++x) o[x] = unsharp_pixel(a, b, c, x, width);
      },
      plane, w, h, stride, out, begin, end);
}

void unsharp_copy_back(std::uint8_t *plane, int w, int stride, const std::uint8_t *out, int begin,
                       int end) {
  for (int y = begin; y < end; ++y)
    std::memcpy(plane + static_cast<std::ptrdiff_t>(y) * stride,
                out + static_cast<std::size_t>(y) * static_cast<std::size_t>(w),
                static_cast<std::size_t>(w));
}

void unsharp_whole(UnsharpRowsFn rows, std::uint8_t *plane, int w, int h, int stride) {
  if (w < 1 || h < 1) return;
  auto *out = static_cast<std::uint8_t *>(
      std::malloc(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)));
  if (out == nullptr) return;
  rows(plane, w, h, stride, out, 0, h);
  unsharp_copy_back(plane, w, stride, out, 0, h);
  std::free(out);
}

void unsharp_y_scalar(std::uint8_t *plane, int w, int h, int stride) {
  unsharp_whole(unsharp_rows_scalar, plane, w, h, stride);
}
