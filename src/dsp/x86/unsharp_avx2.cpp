// Luma sharpening with AVX2: sixteen samples per step, the Laplacian in
// 16-bit integers (exact), the scaling L * 0.6 + 0.5 and its truncation in
// doubles exactly as the plain version does it, four per vector.
#include <immintrin.h>


#include "dsp/unsharp_pixel.h"
#include "dsp/warp_kernels.h"

namespace {

inline __m256i load16(const std::uint8_t *p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}

// trunc(L * 0.6 + 0.5) of four 32-bit lanes.
inline __m128i scale4(__m128i lap) {
  const __m256d value = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(lap), _mm256_set1_pd(0.6)),
                                      _mm256_set1_pd(0.5));
  return _mm256_cvttpd_epi32(value);
}

// p + d, clamped to 0 .. 255, for eight 16-bit lanes of p and L.
inline __m128i sharpen8(__m128i p, __m128i lap) {
  const __m256i lap32 = _mm256_cvtepi16_epi32(lap);
  const __m128i d_lo = scale4(_mm256_castsi256_si128(lap32));
  const __m128i d_hi = scale4(_mm256_extracti128_si256(lap32, 1));
  // |d| <= 1224 and p <= 255: the 16-bit sum is exact; packus clamps.
  return _mm_add_epi16(p, _mm_packs_epi32(d_lo, d_hi));
}

void sharpen_row(const std::uint8_t *a, const std::uint8_t *b, const std::uint8_t *c, int w,
                 std::uint8_t *out) {
  if (w >= 1) out[0] = unsharp_pixel(a, b, c, 0, w);
  int x = 1;
  // Columns x - 1 .. x + 16 are read: all within the row while x + 17 <= w.
  for (; x + 17 <= w; x += 16) {
    const __m256i p = load16(b + x);
    __m256i sum =
        _mm256_add_epi16(_mm256_add_epi16(load16(a + x - 1), load16(a + x)), load16(a + x + 1));
    sum = _mm256_add_epi16(sum, _mm256_add_epi16(load16(b + x - 1), load16(b + x + 1)));
    sum = _mm256_add_epi16(sum, _mm256_add_epi16(_mm256_add_epi16(load16(c + x - 1), load16(c + x)),
                                                 load16(c + x + 1)));
    const __m256i lap = _mm256_sub_epi16(_mm256_slli_epi16(p, 3), sum);
    const __m128i lo = sharpen8(_mm256_castsi256_si128(p), _mm256_castsi256_si128(lap));
    const __m128i hi = sharpen8(_mm256_extracti128_si256(p, 1), _mm256_extracti128_si256(lap, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(lo, hi));
  }
  for (; x < w; ++x) out[x] = unsharp_pixel(a, b, c, x, w);
}

}  // namespace

void unsharp_rows_avx2(const std::uint8_t *plane, int w, int h, int stride, std::uint8_t *out,
                       int begin, int end) {
  unsharp_rows_with(sharpen_row, plane, w, h, stride, out, begin, end);
}

void unsharp_y_avx2(std::uint8_t *plane, int w, int h, int stride) {
  unsharp_whole(unsharp_rows_avx2, plane, w, h, stride);
}
