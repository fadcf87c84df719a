// The 3x3 box blur of the analysis images: the plain per-pixel reference and
// the separable one boxblur3 uses. Both give the same bytes.
#pragma once

#include <cstdint>

// Sums the taken samples of each pixel directly and divides by 9.
void boxblur3_scalar(std::uint8_t *image, int w, int h);

// Sums each row's three columns once, then three (or two) rows of those
// sums, in place with three rows of scratch; the division by 9 is an exact
// multiply and shift. SSE2 does 16 pixels at a time.
void boxblur3_separable(std::uint8_t *image, int w, int h);

// 3x3 box blur in place: the taken samples summed and divided by 9.
void boxblur3(std::uint8_t *image, int w, int h);
