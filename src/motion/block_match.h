// The search of one 32x32 block of the motion estimator, exposed on its own so
// that the search window and the per-block result can be checked directly.
#pragma once

#include <cstdint>

#include "motion/motion_estimator.h"

// Displacements searched for one block: [lo, hi] in both directions.
struct SearchWindow {
  int lo;
  int hi;
};

// Displacement of one block: its 32x32 pixels of the current image at (x, y)
// match the previous image at (x + bdx, y + bdy).
struct BlockMatch {
  int bdx;
  int bdy;
};

// Search radius for a w x h pair: a sixteenth of the short side plus 2, at
// most 16.
int search_radius(int w, int h);

// Window of the block with top-left corner (bx, by): every displacement in it
// keeps the displaced block inside the previous image. Blocks of the first
// block row or column search no negative displacement.
SearchWindow block_search_window(int bx, int by, int w, int h, int radius);

// Best displacement of the block at (bx, by) within `window`: a coarse search
// on a lattice of step 4 starting at lo, then every integer candidate within
// +-2 of the coarse best. Ties keep the earlier candidate (rows from the top,
// then from the left); a tie with the zero displacement reports (0, 0), so a
// featureless block shows no motion. `w` is the row stride of both images.
BlockMatch match_block(const std::uint8_t *prev, const std::uint8_t *cur, int w, int bx, int by,
                       SearchWindow window, Sad32Fn sad);
