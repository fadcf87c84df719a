// The separable 3x3 box blur, with SSE2 for 16 pixels at a time (plain C
// for the rest of a row, and everywhere on a build without SSE2).
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "dsp/box_blur.h"

namespace {

// floor(s / 9) for every s up to 9 * 255, as the tests check exhaustively.
// The sum fits 16 bits, and the product's high half is what vector units
// give directly.
inline std::uint8_t div9(std::uint16_t s) {
  return static_cast<std::uint8_t>((static_cast<std::uint32_t>(s) * 7282u) >> 16);
}

// One output row from the horizontal sums of the rows inside the image
// around it (up or down is null at the image's top and bottom edges).
void blur_row(const std::uint16_t *up, const std::uint16_t *mid, const std::uint16_t *down, int w,
              std::uint8_t *dst) {
  const std::uint16_t *a = up ? up : down;          // first other row, if any
  const std::uint16_t *b = up && down ? down : nullptr;  // second other row, if any
  int x = 0;
#if defined(__SSE2__)
  const __m128i nine = _mm_set1_epi16(7282);
  for (; x + 16 <= w; x += 16) {
    __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(mid + x));
    __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(mid + x + 8));
    if (a) {
      lo = _mm_add_epi16(lo, _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x)));
      hi = _mm_add_epi16(hi, _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x + 8)));
    }
    if (b) {
      lo = _mm_add_epi16(lo, _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x)));
      hi = _mm_add_epi16(hi, _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x + 8)));
    }
    // Sums stay below 2296, so the high half of the product is floor(s / 9)
    // and fits a byte.
    __m128i q = _mm_packus_epi16(_mm_mulhi_epu16(lo, nine), _mm_mulhi_epu16(hi, nine));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + x), q);
  }
#endif
  for (; x < w; ++x) {
    unsigned sum = mid[x];
    if (a) sum += a[x];
    if (b) sum += b[x];
    dst[x] = div9(static_cast<std::uint16_t>(sum));
  }
}

// Horizontal sums of three columns of one row, the edge column counted twice.
void sum_across(const std::uint8_t *row, int w, std::uint16_t *sum) {
  if (w == 1) {
    sum[0] = static_cast<std::uint16_t>(3 * row[0]);
    return;
  }
  sum[0] = static_cast<std::uint16_t>(2 * row[0] + row[1]);
  int x = 1;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; x + 17 <= w; x += 16) {  // reads row[x - 1 .. x + 16]
    __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x - 1));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x));
    __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x + 1));
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(c, zero)),
                               _mm_unpacklo_epi8(r, zero));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(c, zero)),
                               _mm_unpackhi_epi8(r, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(sum + x), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(sum + x + 8), hi);
  }
#endif
  for (; x < w - 1; ++x) sum[x] = static_cast<std::uint16_t>(row[x - 1] + row[x] + row[x + 1]);
  sum[w - 1] = static_cast<std::uint16_t>(row[w - 2] + 2 * row[w - 1]);
}

}  // namespace

void boxblur3_separable(std::uint8_t *image, int w, int h) {
  if (image == nullptr || w <= 0 || h <= 0) return;
  const std::size_t width = static_cast<std::size_t>(w);
  // Three rows of horizontal sums, used in turn: the sums of row y + 1 are
  // taken before row y is overwritten, so the blur can write in place.
  std::uint16_t *ring = static_cast<std::uint16_t *>(std::malloc(3 * width * sizeof(std::uint16_t)));
  if (ring == nullptr) return;
  auto sums = [&](int y) { return ring + static_cast<std::size_t>(y % 3) * width; };
  auto row = [&](int y) { return image + static_cast<std::size_t>(y) * width; };

  sum_across(row(0), w, sums(0));
  for (int y = 0; y < h; ++y) {
    if (y + 1 < h) sum_across(row(y + 1), w, sums(y + 1));
    blur_row(y > 0 ? sums(y - 1) : nullptr, sums(y), y + 1 < h ? sums(y + 1) : nullptr, w, row(y));
  }
  std::free(ring);
}
