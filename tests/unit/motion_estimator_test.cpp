// Block-matching motion estimator: search windows and per-block matching,
// global estimates on synthetic frame pairs with known motion, featureless
// frames, and the median and box-blur helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "dsp/box_blur.h"
#include "dsp/sad.h"
#include "motion/block_match.h"
#include "motion/motion_estimator.h"

namespace {

using Image = std::vector<std::uint8_t>;

// A smooth random texture larger than the frames cut from it: white noise,
// three passes of a 5x5 box filter, stretched back to the full byte range.
// It has detail everywhere (no flat area) and is smooth enough that the
// coarse search lands next to the true displacement.
class Canvas {
 public:
  Canvas(int w, int h, unsigned seed) : w_(w), h_(h), v_(static_cast<std::size_t>(w) * h) {
    std::mt19937 rng(seed);
    for (auto &x : v_) x = static_cast<double>(rng() >> 24);
    std::vector<double> t(v_.size());
    for (int pass = 0; pass < 3; ++pass) {
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          double s = 0;
          int count = 0;
          for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
              if (x + dx < 0 || y + dy < 0 || x + dx >= w || y + dy >= h) continue;
              s += at(x + dx, y + dy);
              ++count;
            }
          }
          t[static_cast<std::size_t>(y) * w + x] = s / count;
        }
      }
      v_.swap(t);
    }
    double lo = 1e9, hi = -1e9;
    for (double x : v_) {
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    for (auto &x : v_) x = (x - lo) * 255.0 / (hi - lo);
  }

  // Every canvas row from `y` on becomes one flat grey.
  void flatten_from_row(int y, double value) {
    for (std::size_t i = static_cast<std::size_t>(y) * w_; i < v_.size(); ++i) v_[i] = value;
  }

  // Bilinear sample at canvas coordinates (pixel (x, y) has its centre at
  // integer x, y); exact at integer positions.
  double sample(double x, double y) const {
    x = std::clamp(x, 0.0, w_ - 1.0);
    y = std::clamp(y, 0.0, h_ - 1.0);
    const int x0 = std::min(static_cast<int>(x), w_ - 2);
    const int y0 = std::min(static_cast<int>(y), h_ - 2);
    const double fx = x - x0;
    const double fy = y - y0;
    const double top = at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx;
    const double bottom = at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx;
    return top * (1 - fy) + bottom * fy;
  }

 private:
  double at(int x, int y) const { return v_[static_cast<std::size_t>(y) * w_ + x]; }
  int w_, h_;
  std::vector<double> v_;
};

constexpr int kMargin = 48;

// A w x h frame cut from the canvas (frame pixel (0, 0) at canvas (kMargin,
// kMargin)), showing the content as the estimator should describe it: each
// frame point p matches the unmoved frame at c + rot(-angle)(p - c) + (bdx, bdy),
// c the image centre. Positive angle: content turned counter-clockwise on
// the screen; (bdx, bdy) > 0: content moved left / up.
Image render(const Canvas &canvas, int w, int h, double bdx = 0, double bdy = 0, double angle = 0) {
  Image img(static_cast<std::size_t>(w) * h);
  const double cx = w * 0.5, cy = h * 0.5;
  const double c = std::cos(angle), s = std::sin(angle);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double px = x + 0.5 - cx, py = y + 0.5 - cy;
      const double qx = cx + (px * c - py * s) + bdx - 0.5;
      const double qy = cy + (px * s + py * c) + bdy - 0.5;
      const double v = canvas.sample(qx + kMargin, qy + kMargin);
      img[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(std::lround(v));
    }
  }
  return img;
}

Canvas canvas_for(int w, int h, unsigned seed = 1u) { return Canvas(w + 2 * kMargin, h + 2 * kMargin, seed); }

// ------------------------------------------------------------ search window

TEST(SearchWindow, RadiusFollowsShortSideUpTo16) {
  EXPECT_EQ(search_radius(454, 256), 16);
  EXPECT_EQ(search_radius(256, 454), 16);
  EXPECT_EQ(search_radius(64, 64), 6);
  EXPECT_EQ(search_radius(96, 200), 8);
  EXPECT_EQ(search_radius(32, 32), 4);
  EXPECT_EQ(search_radius(1000, 1000), 16);
}

TEST(SearchWindow, BordersLimitTheRange) {
  struct Case {
    int w, h, bx, by, lo, hi;
  };
  const Case cases[] = {
      {454, 256, 0, 0, 0, 16},      // first row and column: no negative shift
      {454, 256, 32, 0, 0, 16},     // first row only, still no negative shift
      {454, 256, 0, 96, 0, 16},     // first column only
      {454, 256, 32, 32, -16, 16},  // interior
      {454, 256, 416, 32, -16, 6},  // last column: 6 pixels to the right edge
      {454, 256, 416, 0, 0, 6},
      {454, 256, 32, 224, -16, 0},  // last row: nothing below
      {454, 256, 416, 224, -16, 0},
      {454, 256, 0, 224, 0, 0},
      {64, 64, 0, 0, 0, 6},
      {64, 64, 32, 0, 0, 0},
      {64, 64, 0, 32, 0, 0},
      {64, 64, 32, 32, -6, 0},
  };
  for (const Case &c : cases) {
    const SearchWindow win = block_search_window(c.bx, c.by, c.w, c.h, search_radius(c.w, c.h));
    EXPECT_EQ(win.lo, c.lo) << c.w << "x" << c.h << " block " << c.bx << "," << c.by;
    EXPECT_EQ(win.hi, c.hi) << c.w << "x" << c.h << " block " << c.bx << "," << c.by;
  }
}

// ----------------------------------------------------------- block matching

BlockMatch match(const Image &prev, const Image &cur, int w, int h, int bx, int by) {
  const SearchWindow window = block_search_window(bx, by, w, h, search_radius(w, h));
  return match_block(prev.data(), cur.data(), w, bx, by, window, sad32_sse2);
}

TEST(BlockMatch, FindsReachableShiftsOnAndOffTheLattice) {
  struct Case {
    int w, h, bx, by, bdx, bdy;
  };
  const Case cases[] = {
      {454, 256, 416, 32, 4, 4},     // on the lattice -16, -12, ..., 4
      {454, 256, 416, 32, 6, -14},   // window edge, off the lattice
      {454, 256, 416, 32, -16, -16},
      {454, 256, 192, 96, -7, 13},
      {454, 256, 0, 0, 16, 3},
      {454, 256, 64, 64, 16, 16},    // the last lattice point, hi itself
      {64, 64, 32, 32, -4, -4},      // window [-6, 0], lattice -6, -2
      {64, 64, 32, 32, -1, 0},
      {64, 64, 0, 0, 5, 2},
  };
  for (const Case &c : cases) {
    const Canvas canvas = canvas_for(c.w, c.h);
    const Image prev = render(canvas, c.w, c.h);
    const Image cur = render(canvas, c.w, c.h, c.bdx, c.bdy);
    const BlockMatch m = match(prev, cur, c.w, c.h, c.bx, c.by);
    EXPECT_EQ(m.bdx, c.bdx) << c.w << "x" << c.h << " block " << c.bx << "," << c.by;
    EXPECT_EQ(m.bdy, c.bdy) << c.w << "x" << c.h << " block " << c.bx << "," << c.by;
  }
}

TEST(BlockMatch, ShiftsOutsideTheWindowAreNotReported) {
  const Canvas canvas = canvas_for(454, 256);
  const Image prev = render(canvas, 454, 256);
  // Content moved 8 left: the last block column reaches only +6.
  const Image left8 = render(canvas, 454, 256, 8, 0);
  const BlockMatch edge = match(prev, left8, 454, 256, 416, 32);
  EXPECT_LE(edge.bdx, 6);
  EXPECT_GE(edge.bdx, -16);
  const BlockMatch inner = match(prev, left8, 454, 256, 384, 32);
  EXPECT_EQ(inner.bdx, 8);
  EXPECT_EQ(inner.bdy, 0);

  // Content moved down: blocks of the first row search no negative shift.
  const Image down5 = render(canvas, 454, 256, 0, -5);
  const BlockMatch top = match(prev, down5, 454, 256, 160, 0);
  EXPECT_GE(top.bdy, 0);
  const BlockMatch below = match(prev, down5, 454, 256, 160, 32);
  EXPECT_EQ(below.bdx, 0);
  EXPECT_EQ(below.bdy, -5);
}

TEST(BlockMatch, EqualSadsKeepTheFirstCandidateInScanOrder) {
  // Rows of a sinusoid with period 8 in x, random phase and level per row
  // (rows differ much more than neighbouring phases): candidates 8 apart
  // horizontally tie exactly. With the content moved 3
  // left, -13, -5, 3 and 11 all match perfectly; the coarse lattice from -16
  // (R = 16 for 256x256) first meets the best coarse group at -12 (one pixel
  // off, like -4, 4 and 12), and the refinement around it finds -13.
  const int w = 256, h = 256;
  std::mt19937 rng(5u);
  Image prev(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const double phase = (rng() >> 8) / 16777216.0 * 8.0;
    const double level = 40.0 + (rng() >> 8) / 16777216.0 * 175.0;
    std::uint8_t period[8];
    for (int k = 0; k < 8; ++k) {
      const double v = level + 20.0 * std::sin(2 * std::numbers::pi * (k + phase) / 8.0);
      period[k] = static_cast<std::uint8_t>(std::lround(v));
    }
    for (int x = 0; x < w; ++x) prev[static_cast<std::size_t>(y) * w + x] = period[x & 7];
  }
  Image cur(prev.size());
  for (int y = 0; y < h; ++y) {
    const std::uint8_t *row = &prev[static_cast<std::size_t>(y) * w];
    for (int x = 0; x < w; ++x) cur[static_cast<std::size_t>(y) * w + x] = row[(x + 3) & 7];
  }
  const BlockMatch m = match(prev, cur, w, h, 32, 32);
  EXPECT_EQ(m.bdx, -13);
  EXPECT_EQ(m.bdy, 0);
}

TEST(BlockMatch, FeaturelessBlockReportsZeroEvenOffTheLattice) {
  // 64x64: block (32, 32) searches [-6, 0] and its lattice -6, -2 misses 0.
  const Image flat(64 * 64, 77);
  const BlockMatch m = match(flat, flat, 64, 64, 32, 32);
  EXPECT_EQ(m.bdx, 0);
  EXPECT_EQ(m.bdy, 0);
  const Image brighter(64 * 64, 90);  // a fade: every SAD equal, none zero
  const BlockMatch f = match(flat, brighter, 64, 64, 32, 32);
  EXPECT_EQ(f.bdx, 0);
  EXPECT_EQ(f.bdy, 0);
}

// ------------------------------------------------------------ whole frames

TEST(DetectFrameMotion, IdenticalTexturedImagesGiveNoMotion) {
  for (auto [w, h] : {std::pair{454, 256}, std::pair{64, 64}, std::pair{256, 454}}) {
    const Image img = render(canvas_for(w, h), w, h);
    const FrameMotion m = detect_frame_motion(img.data(), img.data(), w, h);
    EXPECT_EQ(m.dx, 0.0) << w << "x" << h;
    EXPECT_EQ(m.dy, 0.0) << w << "x" << h;
    EXPECT_EQ(m.angle, 0.0) << w << "x" << h;
    EXPECT_EQ(m.max_shift, 0.0) << w << "x" << h;
  }
}

TEST(DetectFrameMotion, TranslationsFollowTheSignConvention) {
  // Blocks at the borders cannot search every direction (the first block row
  // and column no negative shift, the last ones little or no positive shift);
  // they report stray matches whose rotations lean the median angle a little,
  // and the de-rotation then moves the translation by a fraction of a pixel.
  struct Case {
    int w, h;
    double bdx, bdy;
  };
  const Case cases[] = {
      {454, 256, 8, 0},    // content moved 8 left: dx = +8
      {454, 256, 0, -6},   // content moved 6 down: dy = -6
      {454, 256, -5, 3},   // off the coarse lattice
      {454, 256, -3, -5},
      {256, 454, 3, -11},  // portrait layout
      {340, 256, -13, 7},
  };
  for (const Case &c : cases) {
    const Canvas canvas = canvas_for(c.w, c.h, 3u);
    const Image prev = render(canvas, c.w, c.h);
    const Image cur = render(canvas, c.w, c.h, c.bdx, c.bdy);
    const FrameMotion m = detect_frame_motion(prev.data(), cur.data(), c.w, c.h);
    EXPECT_NEAR(m.dx, c.bdx, 0.6) << c.w << "x" << c.h << " shift " << c.bdx << "," << c.bdy;
    EXPECT_NEAR(m.dy, c.bdy, 0.6) << c.w << "x" << c.h << " shift " << c.bdx << "," << c.bdy;
    EXPECT_NEAR(m.angle, 0.0, 0.015) << c.w << "x" << c.h << " shift " << c.bdx << "," << c.bdy;
    EXPECT_GE(m.max_shift, std::hypot(c.bdx, c.bdy));
  }
}

TEST(DetectFrameMotion, RotationsAreCounterClockwisePositive) {
  struct Case {
    int w, h;
    double angle;
  };
  const Case cases[] = {
      {454, 256, 0.02}, {454, 256, -0.02}, {454, 256, 0.03}, {256, 454, 0.02}, {256, 454, -0.03},
  };
  for (const Case &c : cases) {
    const Canvas canvas = canvas_for(c.w, c.h, 9u);
    const Image prev = render(canvas, c.w, c.h);
    const Image cur = render(canvas, c.w, c.h, 0, 0, c.angle);
    const FrameMotion m = detect_frame_motion(prev.data(), cur.data(), c.w, c.h);
    // Block displacements are whole pixels, so the angle is measured to about
    // a tenth of its size.
    EXPECT_NEAR(m.angle, c.angle, 0.15 * std::abs(c.angle)) << c.w << "x" << c.h << " angle " << c.angle;
    EXPECT_NEAR(m.dx, 0.0, 0.15) << c.w << "x" << c.h << " angle " << c.angle;
    EXPECT_NEAR(m.dy, 0.0, 0.15) << c.w << "x" << c.h << " angle " << c.angle;
  }
}

TEST(DetectFrameMotion, DeRotationRecoversTheTranslation) {
  // 464x287: every block's window reaches the motion, and the block grid
  // (rows 0..255) lies above the image centre (143.5), so the median block
  // shows rotation as horizontal motion: the raw median of the horizontal
  // displacements is half a pixel off, the de-rotated one is not.
  struct Case {
    double bdx, bdy, angle;
  };
  const Case cases[] = {{3, 5, 0.02}, {4, 7, 0.03}, {3, 6, -0.02}, {4, 7, -0.03}};
  for (const Case &c : cases) {
    const Canvas canvas = canvas_for(464, 287, 9u);
    const Image prev = render(canvas, 464, 287);
    const Image cur = render(canvas, 464, 287, c.bdx, c.bdy, c.angle);
    const FrameMotion m = detect_frame_motion(prev.data(), cur.data(), 464, 287);
    EXPECT_NEAR(m.angle, c.angle, 0.15 * std::abs(c.angle)) << "angle " << c.angle;
    EXPECT_NEAR(m.dx, c.bdx, 0.1) << "angle " << c.angle;
    EXPECT_NEAR(m.dy, c.bdy, 0.3) << "angle " << c.angle;
  }
}

TEST(DetectFrameMotion, FlatPairsShowNoMotion) {
  struct Case {
    int w, h;
    std::uint8_t prev, cur;
  };
  const Case cases[] = {
      {454, 256, 0, 0},     // black frames
      {454, 256, 90, 90},
      {454, 256, 100, 120}, // a fade: every SAD equal but none zero
      {64, 64, 128, 128},   // zero is not on the lattice of block (32, 32)
  };
  for (const Case &c : cases) {
    const Image prev(static_cast<std::size_t>(c.w) * c.h, c.prev);
    const Image cur(prev.size(), c.cur);
    const FrameMotion m = detect_frame_motion(prev.data(), cur.data(), c.w, c.h);
    EXPECT_EQ(m.dx, 0.0) << c.w << "x" << c.h << " " << int(c.prev) << "->" << int(c.cur);
    EXPECT_EQ(m.dy, 0.0) << c.w << "x" << c.h << " " << int(c.prev) << "->" << int(c.cur);
    EXPECT_EQ(m.angle, 0.0) << c.w << "x" << c.h << " " << int(c.prev) << "->" << int(c.cur);
    EXPECT_EQ(m.max_shift, 0.0) << c.w << "x" << c.h << " " << int(c.prev) << "->" << int(c.cur);
  }
}

TEST(DetectFrameMotion, FlatPartOfAMovingPictureAddsNoFalseMotion) {
  // Textured above frame row 160, flat grey below (a sky or a title bar),
  // the content moved 4 left and 4 up. The textured blocks report (4, 4), the
  // flat ones (0, 0): the longest block displacement is that of the texture.
  const int w = 454, h = 256;
  Canvas canvas = canvas_for(w, h, 11u);
  canvas.flatten_from_row(kMargin + 160, 128.0);
  const Image prev = render(canvas, w, h);
  const Image cur = render(canvas, w, h, 4, 4);
  const FrameMotion m = detect_frame_motion(prev.data(), cur.data(), w, h);
  EXPECT_DOUBLE_EQ(m.max_shift, std::sqrt(32.0));
  EXPECT_NEAR(m.dx, 4.0, 0.5);
  EXPECT_NEAR(m.dy, 4.0, 0.5);
  EXPECT_NEAR(m.angle, 0.0, 0.01);
}

TEST(DetectFrameMotion, BlockAtTheImageCentreAddsNoRotation) {
  // 96x96: nine blocks, the middle one centred exactly on the image centre.
  // Only that block moves; its rotation has no defined value and must count
  // as 0, not poison the median.
  const int w = 96, h = 96;
  const Canvas canvas = canvas_for(w, h, 13u);
  const Image prev = render(canvas, w, h);
  Image cur = prev;
  for (int y = 32; y < 64; ++y) {
    for (int x = 32; x < 64; ++x) cur[y * w + x] = prev[y * w + x + 4];
  }
  const FrameMotion m = detect_frame_motion(prev.data(), cur.data(), w, h);
  EXPECT_EQ(m.angle, 0.0);
  EXPECT_EQ(m.dx, 0.0);
  EXPECT_EQ(m.dy, 0.0);
  EXPECT_EQ(m.max_shift, 4.0);
}

TEST(DetectFrameMotion, ImageWithoutAWholeBlockGivesNoMotion) {
  // Not something the analysis produces; it must still read nothing outside
  // the images.
  for (auto [w, h] : {std::pair{31, 64}, std::pair{64, 31}, std::pair{0, 0}}) {
    const Image prev(static_cast<std::size_t>(w) * h + 1, 10);
    const Image cur(prev.size(), 200);
    const FrameMotion m = detect_frame_motion(prev.data(), cur.data(), w, h);
    EXPECT_EQ(m.dx, 0.0);
    EXPECT_EQ(m.dy, 0.0);
    EXPECT_EQ(m.angle, 0.0);
    EXPECT_EQ(m.max_shift, 0.0);
  }
}

TEST(DetectFrameMotion, ScalarAndVectorKernelsGiveTheSameEstimate) {
  const Canvas canvas = canvas_for(454, 256, 17u);
  const Image prev = render(canvas, 454, 256);
  const Image cur = render(canvas, 454, 256, 3.4, -2.2, 0.01);
  const FrameMotion a = detect_frame_motion(prev.data(), cur.data(), 454, 256);
  const FrameMotion b = detect_frame_motion_with(prev.data(), cur.data(), 454, 256, sad32_scalar);
  EXPECT_EQ(a.dx, b.dx);
  EXPECT_EQ(a.dy, b.dy);
  EXPECT_EQ(a.angle, b.angle);
  EXPECT_EQ(a.max_shift, b.max_shift);
}

// ------------------------------------------------------------------ median

TEST(MedD, OddEvenEmptyAndSingle) {
  struct Case {
    std::vector<double> values;
    double median;
  };
  const Case cases[] = {
      {{3, 1, 2}, 2.0},
      {{4, 1, 3, 2}, 2.5},
      {{}, 0.0},
      {{-7.5}, -7.5},
      {{5, 5, 1, 5}, 5.0},
      {{-1, 10, -3, 2, 0}, 0.0},
      {{0.25, -0.25}, 0.0},
  };
  for (const Case &c : cases) {
    const std::vector<double> before = c.values;
    EXPECT_EQ(med_d(c.values.data(), static_cast<int>(c.values.size())), c.median);
    EXPECT_EQ(c.values, before) << "input modified";
  }
}

// ---------------------------------------------------------------- box blur

TEST(BoxBlur3, FlatFieldDarkensOnlyTheFirstAndLastRows) {
  const int w = 7, h = 5;
  Image img(w * h, 90);
  boxblur3(img.data(), w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      EXPECT_EQ(img[y * w + x], (y == 0 || y == h - 1) ? 60 : 90) << "at " << x << "," << y;
    }
  }
}

TEST(BoxBlur3, SingleRowSumsThreeSamplesOverNine) {
  Image img = {9, 18, 27, 90, 255};
  boxblur3(img.data(), 5, 1);
  // Edges count the edge pixel twice.
  const Image expected = {(9 + 9 + 18) / 9, (9 + 18 + 27) / 9, (18 + 27 + 90) / 9, (27 + 90 + 255) / 9,
                          (90 + 255 + 255) / 9};
  EXPECT_EQ(img, expected);
}

TEST(BoxBlur3, ReadsTheUnblurredImageAndRepeatsEdgeColumns) {
  // One bright corner pixel: its neighbours see it once, itself and the
  // pixel below twice (the edge column repeated), farther pixels not at all.
  const int w = 4, h = 4;
  Image img(w * h, 0);
  img[0] = 90;
  boxblur3(img.data(), w, h);
  const Image expected = {20, 10, 0, 0,
                          20, 10, 0, 0,
                          0,  0,  0, 0,
                          0,  0,  0, 0};
  EXPECT_EQ(img, expected);
}

}  // namespace
