// The warp with SSE2 (every x86-64 CPU): two doubles per vector, four samples
// per step; the 2 x 2 neighbourhoods are read with plain loads, SSE2 having no
// gather. Every lane evaluates exactly the operations of the plain version in
// the same order, so the bytes are the same.
#include <emmintrin.h>

#include "dsp/warp_kernels.h"
#include "dsp/warp_pixel.h"

namespace {

struct MapConsts {
  __m128d cx, cy, tx, cs, nsn, zoom;
};

struct PlaneConsts {
  __m128d lo, hi_x, hi_y, wm1, hm1, stride, fill;
  bool vector_ok;
};

struct Geometry {
  __m128d w00[2], w10[2], w01[2], w11[2];
  __m128d c0[2], dc[2], r0[2], r1[2];  // clamped columns, rows
  __m128d inside[2];
};

PlaneConsts plane_consts(const WarpPlane &p) {
  PlaneConsts k{};
  k.lo = _mm_set1_pd(p.lo);
  k.hi_x = _mm_set1_pd(p.hi_x);
  k.hi_y = _mm_set1_pd(p.hi_y);
  k.wm1 = _mm_set1_pd(static_cast<double>(p.w - 1));
  k.hm1 = _mm_set1_pd(static_cast<double>(p.h - 1));
  k.stride = _mm_set1_pd(static_cast<double>(p.src_stride));
  k.fill = _mm_set1_pd(static_cast<double>(p.fill));
  // Byte offsets are formed as 32-bit integers.
  const long long last =
      static_cast<long long>(p.h - 1) * static_cast<long long>(p.src_stride) + (p.w - 1);
  k.vector_ok =
      p.src != nullptr && p.w > 0 && p.h > 0 && p.src_stride >= p.w && last <= 0x7fffffffLL;
  return k;
}

inline void map2(const MapConsts &k, __m128d xd, __m128d sn_dy, __m128d cs_dy, __m128d *sx,
                 __m128d *sy) {
  const __m128d dx = _mm_sub_pd(_mm_sub_pd(xd, k.cx), k.tx);
  const __m128d u = _mm_add_pd(_mm_mul_pd(k.cs, dx), sn_dy);
  const __m128d v = _mm_add_pd(_mm_mul_pd(k.nsn, dx), cs_dy);
  const __m128d rx = _mm_add_pd(u, k.cx);
  const __m128d ry = _mm_add_pd(v, k.cy);
  *sx = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(rx, k.cx), k.zoom), k.cx);
  *sy = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(ry, k.cy), k.zoom), k.cy);
}

// floor() without SSE4.1: truncate, then step down where that went up. Exact
// for every position the inside test lets through (|s| far below 2^31);
// other lanes get some value that the clamps and the fill make harmless.
inline __m128d floor2(__m128d s) {
  const __m128d t = _mm_cvtepi32_pd(_mm_cvttpd_epi32(s));
  return _mm_sub_pd(t, _mm_and_pd(_mm_cmpgt_pd(t, s), _mm_set1_pd(1.0)));
}

inline void geometry_half(const PlaneConsts &k, __m128d sx, __m128d sy, Geometry *g, int h) {
  const __m128d zero = _mm_setzero_pd();
  const __m128d one = _mm_set1_pd(1.0);
  // Ordered comparisons: a NaN position is outside.
  g->inside[h] = _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(sx, k.lo), _mm_cmple_pd(sx, k.hi_x)),
                            _mm_and_pd(_mm_cmpge_pd(sy, k.lo), _mm_cmple_pd(sy, k.hi_y)));
  const __m128d flx = floor2(sx);
  const __m128d fly = floor2(sy);
  const __m128d fx = _mm_sub_pd(sx, flx);
  const __m128d fy = _mm_sub_pd(sy, fly);
  const __m128d omfx = _mm_sub_pd(one, fx);
  const __m128d omfy = _mm_sub_pd(one, fy);
  g->w00[h] = _mm_mul_pd(omfx, omfy);
  g->w10[h] = _mm_mul_pd(omfy, fx);
  g->w01[h] = _mm_mul_pd(omfx, fy);
  g->w11[h] = _mm_mul_pd(fx, fy);
  const __m128d c0 = _mm_min_pd(_mm_max_pd(flx, zero), k.wm1);
  const __m128d c1 = _mm_min_pd(_mm_max_pd(_mm_add_pd(flx, one), zero), k.wm1);
  g->c0[h] = c0;
  g->dc[h] = _mm_sub_pd(c1, c0);
  g->r0[h] = _mm_min_pd(_mm_max_pd(fly, zero), k.hm1);
  g->r1[h] = _mm_min_pd(_mm_max_pd(_mm_add_pd(fly, one), zero), k.hm1);
}

// Four interpolated samples of one plane, stored at out[0..3].
inline void fetch4(const std::uint8_t *src, const PlaneConsts &k, const Geometry &g,
                   std::uint8_t *out) {
  alignas(16) int a0[4], a1[4], d[4];
  for (int h = 0; h < 2; ++h) {
    // Whole numbers below 2^31: exact in doubles.
    const __m128i i0 = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(g.r0[h], k.stride), g.c0[h]));
    const __m128i i1 = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(g.r1[h], k.stride), g.c0[h]));
    const __m128i di = _mm_cvttpd_epi32(g.dc[h]);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(a0 + 2 * h), i0);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(a1 + 2 * h), i1);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d + 2 * h), di);
  }
  const __m128d half = _mm_set1_pd(0.5);
  __m128i res[2];
  for (int h = 0; h < 2; ++h) {
    const int l = 2 * h;
    const __m128d q00 = _mm_set_pd(src[a0[l + 1]], src[a0[l]]);
    const __m128d q10 = _mm_set_pd(src[a0[l + 1] + d[l + 1]], src[a0[l] + d[l]]);
    const __m128d q01 = _mm_set_pd(src[a1[l + 1]], src[a1[l]]);
    const __m128d q11 = _mm_set_pd(src[a1[l + 1] + d[l + 1]], src[a1[l] + d[l]]);
    __m128d value = _mm_mul_pd(q00, g.w00[h]);
    value = _mm_add_pd(value, _mm_mul_pd(q10, g.w10[h]));
    value = _mm_add_pd(value, _mm_mul_pd(q01, g.w01[h]));
    value = _mm_add_pd(value, _mm_mul_pd(q11, g.w11[h]));
    value = _mm_add_pd(value, half);
    value = _mm_or_pd(_mm_and_pd(g.inside[h], value), _mm_andnot_pd(g.inside[h], k.fill));
    res[h] = _mm_cvttpd_epi32(value);
  }
  const __m128i words = _mm_packs_epi32(_mm_unpacklo_epi64(res[0], res[1]), _mm_setzero_si128());
  const int packed = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
  __builtin_memcpy(out, &packed, 4);
}

void luma_row(const WarpJob &j, const MapConsts &m, const PlaneConsts &k, int y) {
  std::uint8_t *row = j.y.dst + y * j.y.dst_stride;
  int x = 0;
  if (k.vector_ok) {
    const double dy = static_cast<double>(y) - j.cy - j.ty;
    const __m128d sn_dy = _mm_set1_pd(j.sn * dy);
    const __m128d cs_dy = _mm_set1_pd(j.cs * dy);
    const __m128d lanes = _mm_set_pd(1.0, 0.0);
    const __m128d two = _mm_set1_pd(2.0);
    for (; x + 4 <= j.dst_w; x += 4) {
      const __m128d x0 = _mm_add_pd(_mm_set1_pd(static_cast<double>(x)), lanes);
      const __m128d x1 = _mm_add_pd(x0, two);
      __m128d sx0, sy0, sx1, sy1;
      map2(m, x0, sn_dy, cs_dy, &sx0, &sy0);
      map2(m, x1, sn_dy, cs_dy, &sx1, &sy1);
      Geometry g;
      geometry_half(k, sx0, sy0, &g, 0);
      geometry_half(k, sx1, sy1, &g, 1);
      fetch4(j.y.src, k, g, row + x);
    }
  }
  for (; x < j.dst_w; ++x) warp_luma_pixel(j, x, y, row);
}

void chroma_row(const WarpJob &j, const MapConsts &m, const PlaneConsts &ku, const PlaneConsts &kv,
                int jr) {
  std::uint8_t *urow = j.u.dst + jr * j.u.dst_stride;
  std::uint8_t *vrow = j.v.dst + jr * j.v.dst_stride;
  int i = 0;
  if (ku.vector_ok && kv.vector_ok) {
    const double dy = static_cast<double>(2 * jr) - j.cy - j.ty;
    const __m128d sn_dy = _mm_set1_pd(j.sn * dy);
    const __m128d cs_dy = _mm_set1_pd(j.cs * dy);
    const __m128d lanes = _mm_set_pd(2.0, 0.0);
    const __m128d four = _mm_set1_pd(4.0);
    const __m128d half = _mm_set1_pd(0.5);
    for (; i + 4 <= j.dst_cw; i += 4) {
      const __m128d x0 = _mm_add_pd(_mm_set1_pd(static_cast<double>(2 * i)), lanes);
      const __m128d x1 = _mm_add_pd(x0, four);
      __m128d sx0, sy0, sx1, sy1;
      map2(m, x0, sn_dy, cs_dy, &sx0, &sy0);
      map2(m, x1, sn_dy, cs_dy, &sx1, &sy1);
      // Chroma-plane position: half the luma-space one (see warp_chroma_pos).
      Geometry g;
      geometry_half(ku, _mm_mul_pd(sx0, half), _mm_mul_pd(sy0, half), &g, 0);
      geometry_half(ku, _mm_mul_pd(sx1, half), _mm_mul_pd(sy1, half), &g, 1);
      // U and V have the same size, so the same geometry; only the strides differ.
      fetch4(j.u.src, ku, g, urow + i);
      fetch4(j.v.src, kv, g, vrow + i);
    }
  }
  for (; i < j.dst_cw; ++i) warp_chroma_pixel(j, i, jr, urow, vrow);
}

}  // namespace

void warp_rows_sse2(const WarpJob &j, int y_begin, int y_end) {
  MapConsts m;
  m.cx = _mm_set1_pd(j.cx);
  m.cy = _mm_set1_pd(j.cy);
  m.tx = _mm_set1_pd(j.tx);
  m.cs = _mm_set1_pd(j.cs);
  m.nsn = _mm_set1_pd(-j.sn);
  m.zoom = _mm_set1_pd(j.zoom);
  const PlaneConsts ky = plane_consts(j.y);
  const PlaneConsts ku = plane_consts(j.u);
  const PlaneConsts kv = plane_consts(j.v);
  for (int y = y_begin; y < y_end; ++y) {
    luma_row(j, m, ky, y);
    if ((y & 1) == 0 && y / 2 < j.dst_ch) chroma_row(j, m, ku, kv, y / 2);
  }
}

void warp_yuv420_sse2(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                      const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                      int src_stride_v, double tx, double ty, double angle, double zoom,
                      std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                      int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  warp_whole(warp_rows_sse2, src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v, src_stride_v, tx,
             ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h, dst_stride_y, dst_stride_u, dst_stride_v);
}
