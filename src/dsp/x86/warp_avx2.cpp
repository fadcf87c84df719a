// The warp with AVX2: four doubles per vector, eight samples per step. Every
// lane evaluates exactly the operations of the plain version in the same
// order (no FMA: the file is built with contraction off), so the bytes are the
// same. The 2 x 2 neighbourhoods of eight consecutive outputs usually lie in a
// 16-byte window of three source rows and are picked out with byte shuffles;
// elsewhere (steep turns, picture edges) they are gathered.
#include <immintrin.h>

#include <climits>

#include "dsp/warp_kernels.h"
#include "dsp/warp_pixel.h"

// Everything is inlined into the row loops: the per-step state is larger than
// the register file, and calls would spill it through memory twice.
#define VS_INLINE __attribute__((always_inline)) inline

namespace {

// Own helper rather than std::min: a template instantiated in a file built for
// AVX2 could be the copy the linker keeps for the other files too.
VS_INLINE int min_int(int a, int b) { return a < b ? a : b; }

struct MapConsts {
  __m256d cx, cy, tx, cs, nsn, zoom;
};

// Source plane constants for the vector fetch.
struct PlaneConsts {
  __m256d lo, hi_x, hi_y, fill;
  __m128i wm1, hm1, stride;
  __m256i last3;  // index of the last sample of the plane, minus 3
  int w, h;
  std::ptrdiff_t stride_i;
  bool vector_ok;
};

// The interpolation geometry of eight positions (two halves of four) on one
// source plane size, shared by U and V.
struct Geometry {
  __m256d w00[2], w10[2], w01[2], w11[2];
  __m256d sx[2], sy[2];
  // floor(sx), floor(sy) as ints (INT_MIN where out of int range or NaN)
  __m128i x0[2], y0[2];
};

// The four neighbours of eight lanes as 32-bit integers.
struct Neighbours {
  __m256i p00, p10, p01, p11;
};

PlaneConsts plane_consts(const WarpPlane &p) {
  PlaneConsts k{};
  k.lo = _mm256_set1_pd(p.lo);
  k.hi_x = _mm256_set1_pd(p.hi_x);
  k.hi_y = _mm256_set1_pd(p.hi_y);
  k.fill = _mm256_set1_pd(static_cast<double>(p.fill));
  k.wm1 = _mm_set1_epi32(p.w - 1);
  k.hm1 = _mm_set1_epi32(p.h - 1);
  k.w = p.w;
  k.h = p.h;
  k.stride_i = p.src_stride;
  // The gathers read four bytes from a start held at or below last - 3, and
  // the byte offsets are 32-bit: the plane must span 4 bytes .. 2 GiB.
  const long long last =
      static_cast<long long>(p.h - 1) * static_cast<long long>(p.src_stride) + (p.w - 1);
  k.vector_ok =
      p.src != nullptr && p.w > 0 && p.h > 0 && p.src_stride >= p.w && last >= 3 && last <= INT_MAX;
  k.stride = _mm_set1_epi32(k.vector_ok ? static_cast<int>(p.src_stride) : 0);
  k.last3 = _mm256_set1_epi32(k.vector_ok ? static_cast<int>(last - 3) : 0);
  return k;
}

// sx, sy of four lanes; xmc holds x - cx, exact (whole or half numbers).
VS_INLINE void map4(const MapConsts &k, __m256d xmc, __m256d sn_dy, __m256d cs_dy, __m256d *sx,
                    __m256d *sy) {
  const __m256d dx = _mm256_sub_pd(xmc, k.tx);
  const __m256d u = _mm256_add_pd(_mm256_mul_pd(k.cs, dx), sn_dy);
  const __m256d v = _mm256_add_pd(_mm256_mul_pd(k.nsn, dx), cs_dy);
  const __m256d rx = _mm256_add_pd(u, k.cx);
  const __m256d ry = _mm256_add_pd(v, k.cy);
  *sx = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(rx, k.cx), k.zoom), k.cx);
  *sy = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(ry, k.cy), k.zoom), k.cy);
}

// Ordered comparisons: a NaN position is outside.
VS_INLINE __m256d inside4(const PlaneConsts &k, __m256d sx, __m256d sy) {
  return _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(sx, k.lo, _CMP_GE_OQ), _mm256_cmp_pd(sx, k.hi_x, _CMP_LE_OQ)),
      _mm256_and_pd(_mm256_cmp_pd(sy, k.lo, _CMP_GE_OQ), _mm256_cmp_pd(sy, k.hi_y, _CMP_LE_OQ)));
}

VS_INLINE __m128i clamp4(__m128i v, __m128i hi) {
  return _mm_min_epi32(_mm_max_epi32(v, _mm_setzero_si128()), hi);
}

VS_INLINE void geometry_half(__m256d sx, __m256d sy, Geometry *g, int h) {
  const __m256d one = _mm256_set1_pd(1.0);
  g->sx[h] = sx;
  g->sy[h] = sy;
  const __m256d flx = _mm256_floor_pd(sx);
  const __m256d fly = _mm256_floor_pd(sy);
  const __m256d fx = _mm256_sub_pd(sx, flx);
  const __m256d fy = _mm256_sub_pd(sy, fly);
  const __m256d omfx = _mm256_sub_pd(one, fx);
  const __m256d omfy = _mm256_sub_pd(one, fy);
  g->w00[h] = _mm256_mul_pd(omfx, omfy);
  g->w10[h] = _mm256_mul_pd(omfy, fx);
  g->w01[h] = _mm256_mul_pd(omfx, fy);
  g->w11[h] = _mm256_mul_pd(fx, fy);
  g->x0[h] = _mm256_cvttpd_epi32(flx);
  g->y0[h] = _mm256_cvttpd_epi32(fly);
}

VS_INLINE __m256i join(__m128i lo, __m128i hi) { return _mm256_set_m128i(hi, lo); }

// The bytes at offsets a and a + d (d = 0 or 1) of src, for eight lanes. The
// gather reads four bytes from min(a, last - 3) so it never leaves the plane.
VS_INLINE void fetch_pair(const std::uint8_t *src, __m256i a, __m256i d8, __m256i last3,
                          __m256i *first, __m256i *second) {
  const __m256i ff = _mm256_set1_epi32(0xff);
  const __m256i base = _mm256_min_epi32(a, last3);
  const __m256i shift = _mm256_slli_epi32(_mm256_sub_epi32(a, base), 3);
  const __m256i word = _mm256_i32gather_epi32(reinterpret_cast<const int *>(src), base, 1);
  const __m256i t = _mm256_srlv_epi32(word, shift);
  *first = _mm256_and_si256(t, ff);
  *second = _mm256_and_si256(_mm256_srlv_epi32(t, d8), ff);
}

// Anywhere: the neighbours clamped to the plane, gathered. A position out of
// int range (or NaN) has INT_MIN and clamps to 0: an outside lane still
// addresses a real sample, whose value the fill replaces.
VS_INLINE void fetch_gather(const std::uint8_t *src, const PlaneConsts &k, const Geometry &g,
                            Neighbours *n) {
  __m128i a0[2], a1[2], d[2];
  const __m128i one = _mm_set1_epi32(1);
  for (int h = 0; h < 2; ++h) {
    const __m128i c0 = clamp4(g.x0[h], k.wm1);
    const __m128i c1 = clamp4(_mm_add_epi32(g.x0[h], one), k.wm1);
    const __m128i r0 = clamp4(g.y0[h], k.hm1);
    const __m128i r1 = clamp4(_mm_add_epi32(g.y0[h], one), k.hm1);
    a0[h] = _mm_add_epi32(_mm_mullo_epi32(r0, k.stride), c0);
    a1[h] = _mm_add_epi32(_mm_mullo_epi32(r1, k.stride), c0);
    d[h] = _mm_slli_epi32(_mm_sub_epi32(c1, c0), 3);
  }
  const __m256i d8 = join(d[0], d[1]);
  fetch_pair(src, join(a0[0], a0[1]), d8, k.last3, &n->p00, &n->p10);
  fetch_pair(src, join(a1[0], a1[1]), d8, k.last3, &n->p01, &n->p11);
}

VS_INLINE int lane0(__m128i v) { return _mm_cvtsi128_si32(v); }
VS_INLINE int lane3(__m128i v) { return _mm_cvtsi128_si32(_mm_shuffle_epi32(v, 3)); }
VS_INLINE int max_int(int a, int b) { return a > b ? a : b; }

// The usual case, eight consecutive outputs well inside the picture at a
// small turn: the 2 x 2 neighbourhoods lie within 16 columns and two
// consecutive row pairs, read with three 16-byte loads and byte shuffles
// instead of gathers. Returns false when the lanes do not fit.
//
// Only the first and the last lane are inspected. The lanes are consecutive
// outputs of one row, and every step of the mapping (adding a constant,
// multiplying by one, floor) is monotonic in IEEE arithmetic, so floor(sx)
// and floor(sy) run monotonically across the lanes and their extremes are at
// the ends. With both ends' neighbourhoods strictly inside the plane (no
// clamping needed), so is every lane's, and no conversion ran out of range.
VS_INLINE bool fetch_window(const std::uint8_t *src, const PlaneConsts &k, const Geometry &g,
                            Neighbours *n) {
  const int xa = lane0(g.x0[0]), xb = lane3(g.x0[1]);
  const int ya = lane0(g.y0[0]), yb = lane3(g.y0[1]);
  const int xlo = min_int(xa, xb), xhi = max_int(xa, xb);
  const int ylo = min_int(ya, yb), yhi = max_int(ya, yb);
  if (xlo < 0 || xhi > k.w - 2 || ylo < 0 || yhi > k.h - 2 || yhi - ylo > 1 || k.w < 16)
    return false;
  const int base = min_int(xlo, k.w - 16);
  if (xhi + 1 - base > 15) return false;
  // Column offsets from base as bytes: 0-7 the left neighbours, 8-15 the right.
  const __m128i basev = _mm_set1_epi32(base);
  const __m128i left =
      _mm_packs_epi32(_mm_sub_epi32(g.x0[0], basev), _mm_sub_epi32(g.x0[1], basev));
  const __m128i idx = _mm_packus_epi16(left, _mm_add_epi16(left, _mm_set1_epi16(1)));
  // Lanes whose upper row is ylo + 1 take their rows from the next load.
  const __m128i ylov = _mm_set1_epi32(ylo);
  const __m128i down16 = _mm_cmpgt_epi16(
      _mm_packs_epi32(_mm_sub_epi32(g.y0[0], ylov), _mm_sub_epi32(g.y0[1], ylov)),
      _mm_setzero_si128());
  const __m128i down = _mm_packs_epi16(down16, down16);
  const int last = k.h - 1;
  const std::uint8_t *p = src + base;
  const auto row = [&](int r) {
    return _mm_shuffle_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(
            p + static_cast<std::ptrdiff_t>(r < last ? r : last) * k.stride_i)),
        idx);
  };
  const __m128i w0 = row(ylo), w1 = row(ylo + 1), w2 = row(ylo + 2);
  const __m128i top = _mm_blendv_epi8(w0, w1, down);
  const __m128i bottom = _mm_blendv_epi8(w1, w2, down);
  n->p00 = _mm256_cvtepu8_epi32(top);
  n->p10 = _mm256_cvtepu8_epi32(_mm_srli_si128(top, 8));
  n->p01 = _mm256_cvtepu8_epi32(bottom);
  n->p11 = _mm256_cvtepu8_epi32(_mm_srli_si128(bottom, 8));
  return true;
}

VS_INLINE __m256d lo_pd(__m256i v) { return _mm256_cvtepi32_pd(_mm256_castsi256_si128(v)); }
VS_INLINE __m256d hi_pd(__m256i v) { return _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1)); }

// Eight interpolated samples of one plane as bytes in the low 64 bits.
VS_INLINE __m128i fetch8(const std::uint8_t *src, const PlaneConsts &k, const Geometry &g) {
  Neighbours n;
  // The window holds only positions inside the picture; elsewhere some lanes
  // may be outside and take the fill.
  const bool all_inside = fetch_window(src, k, g, &n);
  if (!all_inside) fetch_gather(src, k, g, &n);
  __m128i res[2];
  const __m256d half = _mm256_set1_pd(0.5);
  for (int h = 0; h < 2; ++h) {
    const __m256d q00 = h ? hi_pd(n.p00) : lo_pd(n.p00);
    const __m256d q10 = h ? hi_pd(n.p10) : lo_pd(n.p10);
    const __m256d q01 = h ? hi_pd(n.p01) : lo_pd(n.p01);
    const __m256d q11 = h ? hi_pd(n.p11) : lo_pd(n.p11);
    __m256d value = _mm256_mul_pd(q00, g.w00[h]);
    value = _mm256_add_pd(value, _mm256_mul_pd(q10, g.w10[h]));
    value = _mm256_add_pd(value, _mm256_mul_pd(q01, g.w01[h]));
    value = _mm256_add_pd(value, _mm256_mul_pd(q11, g.w11[h]));
    value = _mm256_add_pd(value, half);
    if (!all_inside) value = _mm256_blendv_pd(k.fill, value, inside4(k, g.sx[h], g.sy[h]));
    res[h] = _mm256_cvttpd_epi32(value);
  }
  const __m128i words = _mm_packs_epi32(res[0], res[1]);
  return _mm_packus_epi16(words, words);
}

void luma_row(const WarpJob &j, const MapConsts &m, const PlaneConsts &k, int y) {
  std::uint8_t *row = j.y.dst + y * j.y.dst_stride;
  int x = 0;
  if (k.vector_ok) {
    const double dy = static_cast<double>(y) - j.cy - j.ty;
    const __m256d sn_dy = _mm256_set1_pd(j.sn * dy);
    const __m256d cs_dy = _mm256_set1_pd(j.cs * dy);
    const __m256d four = _mm256_set1_pd(4.0);
    const __m256d eight = _mm256_set1_pd(8.0);
    // x - cx for lanes x .. x + 3, stepped by whole numbers: always exact.
    __m256d xmc = _mm256_set_pd(3.0 - j.cx, 2.0 - j.cx, 1.0 - j.cx, 0.0 - j.cx);
    for (; x + 8 <= j.dst_w; x += 8, xmc = _mm256_add_pd(xmc, eight)) {
      __m256d sx0, sy0, sx1, sy1;
      map4(m, xmc, sn_dy, cs_dy, &sx0, &sy0);
      map4(m, _mm256_add_pd(xmc, four), sn_dy, cs_dy, &sx1, &sy1);
      Geometry g;
      geometry_half(sx0, sy0, &g, 0);
      geometry_half(sx1, sy1, &g, 1);
      _mm_storel_epi64(reinterpret_cast<__m128i *>(row + x), fetch8(j.y.src, k, g));
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
    const __m256d sn_dy = _mm256_set1_pd(j.sn * dy);
    const __m256d cs_dy = _mm256_set1_pd(j.cs * dy);
    const __m256d eight = _mm256_set1_pd(8.0);
    const __m256d sixteen = _mm256_set1_pd(16.0);
    const __m256d half = _mm256_set1_pd(0.5);
    // x - cx for the blocks' top-left luma columns 2i .. 2i + 6.
    __m256d xmc = _mm256_set_pd(6.0 - j.cx, 4.0 - j.cx, 2.0 - j.cx, 0.0 - j.cx);
    for (; i + 8 <= j.dst_cw; i += 8, xmc = _mm256_add_pd(xmc, sixteen)) {
      __m256d sx0, sy0, sx1, sy1;
      map4(m, xmc, sn_dy, cs_dy, &sx0, &sy0);
      map4(m, _mm256_add_pd(xmc, eight), sn_dy, cs_dy, &sx1, &sy1);
      // Chroma-plane position: half the luma-space one (see warp_chroma_pos).
      Geometry g;
      geometry_half(_mm256_mul_pd(sx0, half), _mm256_mul_pd(sy0, half), &g, 0);
      geometry_half(_mm256_mul_pd(sx1, half), _mm256_mul_pd(sy1, half), &g, 1);
      // U and V have the same size, so the same geometry; only the strides differ.
      _mm_storel_epi64(reinterpret_cast<__m128i *>(urow + i), fetch8(j.u.src, ku, g));
      _mm_storel_epi64(reinterpret_cast<__m128i *>(vrow + i), fetch8(j.v.src, kv, g));
    }
  }
  for (; i < j.dst_cw; ++i) warp_chroma_pixel(j, i, jr, urow, vrow);
}

}  // namespace

void warp_rows_avx2(const WarpJob &j, int y_begin, int y_end) {
  MapConsts m;
  m.cx = _mm256_set1_pd(j.cx);
  m.cy = _mm256_set1_pd(j.cy);
  m.tx = _mm256_set1_pd(j.tx);
  m.cs = _mm256_set1_pd(j.cs);
  m.nsn = _mm256_set1_pd(-j.sn);
  m.zoom = _mm256_set1_pd(j.zoom);
  const PlaneConsts ky = plane_consts(j.y);
  const PlaneConsts ku = plane_consts(j.u);
  const PlaneConsts kv = plane_consts(j.v);
  for (int y = y_begin; y < y_end; ++y) {
    luma_row(j, m, ky, y);
    if ((y & 1) == 0 && y / 2 < j.dst_ch) chroma_row(j, m, ku, kv, y / 2);
  }
}

void warp_yuv420_avx2(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                      const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                      int src_stride_v, double tx, double ty, double angle, double zoom,
                      std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                      int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  warp_whole(warp_rows_avx2, src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v, src_stride_v, tx,
             ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h, dst_stride_y, dst_stride_u, dst_stride_v);
}
