// 3x3 box blur applied to every analysis image before it is compared: the
// plain per-pixel version, and the entry the analysis calls.
#include "dsp/box_blur.h"

#include <cstdlib>
#include <cstring>

// Rows outside the image are left out (the first and last rows sum only six
// samples), columns outside are replaced by the edge column; the sum is always
// divided by 9. The darkening of the first and last rows is the same in both
// frames of a pair, so it does not bias the matching.
void boxblur3_scalar(std::uint8_t *image, int w, int h) {
  if (image == nullptr || w <= 0 || h <= 0) return;
  const std::size_t size = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::uint8_t *out = static_cast<std::uint8_t *>(std::malloc(size));
  if (out == nullptr) return;

  for (int y = 0; y < h; ++y) {
    const int y0 = y > 0 ? y - 1 : 0;
    const int y1 = y < h - 1 ? y + 1 : h - 1;
    std::uint8_t *dst = out + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      const int xl = x > 0 ? x - 1 : 0;
      const int xr = x < w - 1 ? x + 1 : w - 1;
      unsigned sum = 0;
      for (int yy = y0; yy <= y1; ++yy) {
        const std::uint8_t *row = image + static_cast<std::size_t>(yy) * w;
        sum += static_cast<unsigned>(row[xl]) + row[x] + row[xr];
      }
      dst[x] = static_cast<std::uint8_t>(sum / 9);
    }
  }
  std::memcpy(image, out, size);
  std::free(out);
}

void boxblur3(std::uint8_t *image, int w, int h) { boxblur3_separable(image, w, h); }
