// Global motion of a frame pair from the displacements of its 32x32 blocks:
// one translation, one rotation about the image centre, and the longest block
// displacement, each combined over all blocks with a median.
#include "motion/motion_estimator.h"

#include <cmath>
#include <cstdlib>

#include "dsp/sad.h"
#include "motion/block_match.h"

namespace {

double *alloc_doubles(int n) {
  return static_cast<double *>(std::malloc(sizeof(double) * static_cast<std::size_t>(n)));
}

}  // namespace

FrameMotion detect_frame_motion(const std::uint8_t *prev, const std::uint8_t *cur, int w, int h) {
  return detect_frame_motion_with(prev, cur, w, h, sad32_sse2);
}

FrameMotion detect_frame_motion_with(const std::uint8_t *prev, const std::uint8_t *cur, int w, int h,
                                     Sad32Fn sad) {
  FrameMotion result{0.0, 0.0, 0.0, 0.0};
  // Without a single block there is nothing to measure: no motion.
  if (prev == nullptr || cur == nullptr || sad == nullptr || w < 32 || h < 32) return result;

  const int bw = w >> 5;
  const int bh = h >> 5;
  const int n = bw * bh;
  const int radius = search_radius(w, h);
  const double cx = w * 0.5;
  const double cy = h * 0.5;

  // Working arrays for all blocks, allocated once per call.
  double *bdx = alloc_doubles(n);
  double *bdy = alloc_doubles(n);
  double *rot = alloc_doubles(n);
  double *px = alloc_doubles(n);
  double *py = alloc_doubles(n);
  if (bdx == nullptr || bdy == nullptr || rot == nullptr || px == nullptr || py == nullptr) {
    std::free(bdx);
    std::free(bdy);
    std::free(rot);
    std::free(px);
    std::free(py);
    return result;
  }

  int max_sq = 0;
  int k = 0;
  for (int j = 0; j < bh; ++j) {
    for (int i = 0; i < bw; ++i, ++k) {
      const int bx = 32 * i;
      const int by = 32 * j;
      const SearchWindow window = block_search_window(bx, by, w, h, radius);
      const BlockMatch m = match_block(prev, cur, w, bx, by, window, sad);

      bdx[k] = m.bdx;
      bdy[k] = m.bdy;
      px[k] = (bx + 16) - cx;
      py[k] = (by + 16) - cy;
      // Under a pure rotation by a, the block at (px, py) shows a * (-py, px);
      // project the displacement on that direction. A block at the centre
      // says nothing about rotation.
      const double r2 = px[k] * px[k] + py[k] * py[k];
      rot[k] = r2 > 1.0 ? (bdy[k] * px[k] - bdx[k] * py[k]) / r2 : 0.0;

      const int sq = m.bdx * m.bdx + m.bdy * m.bdy;
      if (sq > max_sq) max_sq = sq;
    }
  }

  result.angle = med_d(rot, n);

  // Remove each block's share of the rotation before taking the translation.
  double *tx = alloc_doubles(n);
  double *ty = alloc_doubles(n);
  if (tx != nullptr && ty != nullptr) {
    for (int b = 0; b < n; ++b) {
      tx[b] = bdx[b] + result.angle * py[b];
      ty[b] = bdy[b] - result.angle * px[b];
    }
    result.dx = med_d(tx, n);
    result.dy = med_d(ty, n);
  } else {
    result.dx = med_d(bdx, n);
    result.dy = med_d(bdy, n);
  }
  result.max_shift = std::sqrt(static_cast<double>(max_sq));

  std::free(tx);
  std::free(ty);
  std::free(bdx);
  std::free(bdy);
  std::free(rot);
  std::free(px);
  std::free(py);
  return result;
}
