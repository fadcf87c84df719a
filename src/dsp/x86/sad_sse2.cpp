// The SSE2 32x32 SAD kernel the motion estimator uses.
#include "dsp/sad.h"

#if defined(__SSE2__)

#include <emmintrin.h>

// PSADBW sums the absolute differences of eight unsigned bytes into each
// 64-bit half of the register, so the sum is exact; a block's total
// (at most 1024 * 255) fits a 64-bit lane many times over. A 32-pixel row is
// two 16-byte halves; two rows per step into two accumulators keep the adds
// independent.
std::uint64_t sad32_sse2(const std::uint8_t *prev, const std::uint8_t *cur, int stride) {
  __m128i acc0 = _mm_setzero_si128();
  __m128i acc1 = _mm_setzero_si128();
  const std::ptrdiff_t s = stride;
  for (int r = 0; r < 32; r += 2) {
    const std::uint8_t *p0 = prev + r * s;
    const std::uint8_t *c0 = cur + r * s;
    const std::uint8_t *p1 = p0 + s;
    const std::uint8_t *c1 = c0 + s;
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p0));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p0 + 16));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c0));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c0 + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p1));
    const __m128i a3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p1 + 16));
    const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c1));
    const __m128i b3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c1 + 16));
    acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(a0, b0));
    acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(a1, b1));
    acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(a2, b2));
    acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(a3, b3));
  }
  const __m128i acc = _mm_add_epi64(acc0, acc1);
  const __m128i high = _mm_unpackhi_epi64(acc, acc);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(acc)) +
         static_cast<std::uint64_t>(_mm_cvtsi128_si64(high));
}

#else

// Builds without SSE2 (not x86-64) fall back to the scalar kernel.
std::uint64_t sad32_sse2(const std::uint8_t *prev, const std::uint8_t *cur, int stride) {
  return sad32_scalar(prev, cur, stride);
}

#endif
