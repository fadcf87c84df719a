// Per-sample warp rules in plain code, shared by every variant for the
// samples its vector loop does not cover. Everything here is `static` so that
// each kernel file (some built for AVX2) keeps its own copy.
#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/warp_kernels.h"

// The mapping of output (x, y) to its luma-space source position, in the
// order that fixes the rounding: d = (x - cx) - tx; u = cs*dx + sn*dy;
// v = (-sn)*dx + cs*dy; s = ((u + cx) - cx) * zoom + cx.
static inline void warp_map(const WarpJob &j, int x, int y, double *sx, double *sy) {
  const double dx = static_cast<double>(x) - j.cx - j.tx;
  const double dy = static_cast<double>(y) - j.cy - j.ty;
  const double u = j.cs * dx + j.sn * dy;
  const double v = -j.sn * dx + j.cs * dy;
  const double rx = u + j.cx;
  const double ry = v + j.cy;
  *sx = (rx - j.cx) * j.zoom + j.cx;
  *sy = (ry - j.cy) * j.zoom + j.cy;
}

static inline int warp_clamp(int i, int hi) { return i < 0 ? 0 : (i > hi ? hi : i); }

// Bilinear sample of plane p at (sx, sy), or its fill when outside. The
// comparisons are written so that NaN counts as outside, and the position is
// only converted to int once it is known to be in range.
static inline std::uint8_t warp_sample(const WarpPlane &p, double sx, double sy) {
  if (!(sx >= p.lo && sx <= p.hi_x && sy >= p.lo && sy <= p.hi_y)) return p.fill;
  const double flx = std::floor(sx);
  const double fly = std::floor(sy);
  const double fx = sx - flx;
  const double fy = sy - fly;
  const int x0 = static_cast<int>(flx);
  const int y0 = static_cast<int>(fly);
  const int i0 = warp_clamp(x0, p.w - 1);
  const int i1 = warp_clamp(x0 + 1, p.w - 1);
  const std::uint8_t *r0 = p.src + warp_clamp(y0, p.h - 1) * p.src_stride;
  const std::uint8_t *r1 = p.src + warp_clamp(y0 + 1, p.h - 1) * p.src_stride;
  const double w00 = (1.0 - fx) * (1.0 - fy);
  const double w10 = (1.0 - fy) * fx;
  const double w01 = (1.0 - fx) * fy;
  const double w11 = fx * fy;
  const double value = r0[i0] * w00 + r0[i1] * w10 + r1[i0] * w01 + r1[i1] * w11 + 0.5;
  return static_cast<std::uint8_t>(static_cast<int>(value));
}

// Chroma-plane position of a 2 x 2 block from the luma-space source position
// (sx, sy) of its top-left luma sample: half of it. A block's centre lies half
// a luma sample right of and below its top-left sample, and a chroma sample of
// 4:2:0 sits at its block's centre, so the chroma plane coordinate of a luma
// position L is ((L + 0.5) - 0.5) / 2: the half-sample shift of -0.5 cancels
// the +0.5 to the centre, leaving sx / 2 (the block centre is approximated by
// the top-left position plus half a sample, exact at zoom 1 without turn).
// With this choice an identity warp reproduces chroma exactly, and a block is
// inside its plane exactly when its top-left luma sample is inside the picture
// (0 .. W maps onto 0 .. W/2).
static inline void warp_chroma_pos(double sx, double sy, double *sxc, double *syc) {
  *sxc = sx * 0.5;
  *syc = sy * 0.5;
}

static inline void warp_luma_pixel(const WarpJob &j, int x, int y, std::uint8_t *row) {
  double sx, sy;
  warp_map(j, x, y, &sx, &sy);
  row[x] = warp_sample(j.y, sx, sy);
}

// Chroma block (i, jr) of the output: top-left luma sample (2i, 2jr).
static inline void warp_chroma_pixel(const WarpJob &j, int i, int jr, std::uint8_t *urow,
                                     std::uint8_t *vrow) {
  double sx, sy, sxc, syc;
  warp_map(j, 2 * i, 2 * jr, &sx, &sy);
  warp_chroma_pos(sx, sy, &sxc, &syc);
  urow[i] = warp_sample(j.u, sxc, syc);
  vrow[i] = warp_sample(j.v, sxc, syc);
}
