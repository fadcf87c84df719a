// Global motion between two consecutive analysis images, by block matching.
//
// An analysis image is an 8-bit luma image of w x h bytes with a row stride of
// exactly w. A block displacement (bdx, bdy) means the 32x32 block of the
// current image at (x, y) matches the previous image at (x + bdx, y + bdy):
// the content moved by (-bdx, -bdy). A positive angle means the content turned
// counter-clockwise on the screen (x right, y down).
#pragma once

#include <cstdint>

#include "dsp/sad.h"

struct FrameMotion {
  double dx;         // analysis pixels
  double dy;         // analysis pixels
  double angle;      // radians
  double max_shift;  // longest block displacement, analysis pixels
};

// Estimates the motion from `prev` to `cur` (both w x h, w >= 32, h >= 32).
FrameMotion detect_frame_motion(const std::uint8_t *prev, const std::uint8_t *cur, int w, int h);

// The same estimate with a chosen SAD kernel (for tests and benchmarks).
FrameMotion detect_frame_motion_with(const std::uint8_t *prev, const std::uint8_t *cur, int w, int h,
                                     Sad32Fn sad);

// Median of n values (0.0 for none); the input is not modified.
double med_d(const double *values, int n);
