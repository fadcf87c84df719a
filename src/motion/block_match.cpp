// Search of one block of the motion estimator.
#include "motion/block_match.h"

#include <algorithm>
#include <cstddef>

int search_radius(int w, int h) { return std::min((std::min(w, h) >> 4) + 2, 16); }

SearchWindow block_search_window(int bx, int by, int w, int h, int radius) {
  // A block of the first row or column would leave the image with any
  // negative component, and one window serves both directions.
  const int lo = (bx < radius || by < radius) ? 0 : -radius;
  int hi = std::min({radius, w - 32 - bx, h - 32 - by});
  if (hi < lo) hi = lo;
  return {lo, hi};
}

BlockMatch match_block(const std::uint8_t *prev, const std::uint8_t *cur, int w, int bx, int by,
                       SearchWindow window, Sad32Fn sad) {
  const std::ptrdiff_t stride = w;
  const std::uint8_t *block = cur + by * stride + bx;
  const std::uint8_t *origin = prev + by * stride + bx;
  auto sad_at = [&](int dx, int dy) { return sad(origin + dy * stride + dx, block, w); };

  const int lo = window.lo;
  const int hi = window.hi;

  // Coarse lattice from lo in steps of 4; the first of equal SADs wins.
  int best_x = lo;
  int best_y = lo;
  std::uint64_t best = sad_at(lo, lo);
  for (int dy = lo; dy <= hi; dy += 4) {
    for (int dx = lo; dx <= hi; dx += 4) {
      if (dx == lo && dy == lo) continue;
      const std::uint64_t s = sad_at(dx, dy);
      if (s < best) {
        best = s;
        best_x = dx;
        best_y = dy;
      }
    }
  }

  // Every integer candidate within +-2 of the coarse best; the coarse best
  // itself cannot beat its own SAD, so it is not measured again.
  const int cbx = best_x;
  const int cby = best_y;
  const int y_end = std::min(cby + 2, hi);
  const int x_end = std::min(cbx + 2, hi);
  for (int dy = std::max(cby - 2, lo); dy <= y_end; ++dy) {
    for (int dx = std::max(cbx - 2, lo); dx <= x_end; ++dx) {
      if (dx == cbx && dy == cby) continue;
      const std::uint64_t s = sad_at(dx, dy);
      if (s < best) {
        best = s;
        best_x = dx;
        best_y = dy;
      }
    }
  }

  // On a flat or featureless block every candidate ties and the scan order
  // would report its first candidate, (lo, lo), a large false motion. Zero is
  // always inside the window but not always on the lattice (lo = -6 gives
  // -6, -2, 2, 6), so its SAD is measured here.
  if (best_x != 0 || best_y != 0) {
    if (sad_at(0, 0) <= best) return {0, 0};
  }
  return {best_x, best_y};
}
