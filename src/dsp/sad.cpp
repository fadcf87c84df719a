// The plain C 32x32 SAD kernel of the block matcher, the reference of the
// vector versions.
#include "dsp/sad.h"

std::uint64_t sad32_scalar(const std::uint8_t *prev, const std::uint8_t *cur, int stride) {
  std::uint64_t sum = 0;
  for (int r = 0; r < 32; ++r) {
    const std::uint8_t *p = prev + static_cast<std::ptrdiff_t>(r) * stride;
    const std::uint8_t *c = cur + static_cast<std::ptrdiff_t>(r) * stride;
    for (int x = 0; x < 32; ++x) {
      const int d = static_cast<int>(p[x]) - static_cast<int>(c[x]);
      sum += static_cast<std::uint64_t>(d < 0 ? -d : d);
    }
  }
  return sum;
}
