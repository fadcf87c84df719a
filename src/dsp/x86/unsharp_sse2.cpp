// Luma sharpening with SSE2: eight samples per step, the Laplacian in 16-bit
// integers (exact), the scaling L * 0.6 + 0.5 and its truncation in doubles
// exactly as the plain version does it, two per vector.
#include <emmintrin.h>


#include "dsp/unsharp_pixel.h"
#include "dsp/warp_kernels.h"

namespace {

inline __m128i load8(const std::uint8_t *p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)),
                           _mm_setzero_si128());
}

// trunc(L * 0.6 + 0.5) of the two low 32-bit lanes.
inline __m128i scale2(__m128i lap) {
  const __m128d value =
      _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(lap), _mm_set1_pd(0.6)), _mm_set1_pd(0.5));
  return _mm_cvttpd_epi32(value);
}

inline __m128i scale4(__m128i lap32) {
  return _mm_unpacklo_epi64(scale2(lap32), scale2(_mm_unpackhi_epi64(lap32, lap32)));
}

void sharpen_row(const std::uint8_t *a, const std::uint8_t *b, const std::uint8_t *c, int w,
                 std::uint8_t *out) {
  if (w >= 1) out[0] = unsharp_pixel(a, b, c, 0, w);
  int x = 1;
  // Columns x - 1 .. x + 8 are read: all within the row while x + 9 <= w.
  for (; x + 9 <= w; x += 8) {
    const __m128i p = load8(b + x);
    __m128i sum = _mm_add_epi16(_mm_add_epi16(load8(a + x - 1), load8(a + x)), load8(a + x + 1));
    sum = _mm_add_epi16(sum, _mm_add_epi16(load8(b + x - 1), load8(b + x + 1)));
    sum = _mm_add_epi16(
        sum, _mm_add_epi16(_mm_add_epi16(load8(c + x - 1), load8(c + x)), load8(c + x + 1)));
    const __m128i lap = _mm_sub_epi16(_mm_slli_epi16(p, 3), sum);
    // Sign-extend the 16-bit Laplacian to 32 bits.
    const __m128i lap_lo = _mm_srai_epi32(_mm_unpacklo_epi16(lap, lap), 16);
    const __m128i lap_hi = _mm_srai_epi32(_mm_unpackhi_epi16(lap, lap), 16);
    const __m128i d = _mm_packs_epi32(scale4(lap_lo), scale4(lap_hi));
    // |d| <= 1224 and p <= 255: the 16-bit sum is exact; packus clamps.
    const __m128i v = _mm_add_epi16(p, d);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(v, v));
  }
  for (; x < w; ++x) out[x] = unsharp_pixel(a, b, c, x, w);
}

}  // namespace

void unsharp_rows_sse2(const std::uint8_t *plane, int w, int h, int stride, std::uint8_t *out,
                       int begin, int end) {
  unsharp_rows_with(sharpen_row, plane, w, h, stride, out, begin, end);
}

void unsharp_y_sse2(std::uint8_t *plane, int w, int h, int stride) {
  unsharp_whole(unsharp_rows_sse2, plane, w, h, stride);
}
