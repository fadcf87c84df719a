// Path smoothing, the correction table and the crop zoom.
#include "motion/smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/warp.h"
#include "support/yuv_picture.h"

namespace {

TEST(Smoothing, RadiusFollowsStrength) {
  const int radius[11] = {1, 2, 4, 5, 7, 8, 10, 11, 13, 14, 16};
  for (int s = 0; s <= 10; ++s) EXPECT_EQ(smoothing_radius(s), radius[s]) << "strength " << s;
  EXPECT_EQ(smoothing_radius(-1), 1);
  EXPECT_EQ(smoothing_radius(-7), 1);
}

TEST(Smoothing, WindowWiderThanThePathAveragesAll) {
  const PathPoint p[2] = {{1.0, -4.0, 0.02}, {3.0, 2.0, -0.04}};
  std::vector<PathPoint> s;
  ASSERT_TRUE(smooth_path(p, 2, 5, s));  // r = 8
  ASSERT_EQ(s.size(), 2u);
  for (const PathPoint &q : s) {
    EXPECT_DOUBLE_EQ(q.x, 2.0);
    EXPECT_DOUBLE_EQ(q.y, -1.0);
    EXPECT_DOUBLE_EQ(q.angle, -0.01);
  }
}

TEST(Smoothing, WindowIsClippedAtBothEnds) {
  // Strength 0, r = 1: the end rows average two rows, the others three.
  const PathPoint p[5] = {{0, 0, 0}, {3, 6, 0.3}, {0, 0, 0}, {3, 6, 0.3}, {0, 0, 0}};
  std::vector<PathPoint> s;
  ASSERT_TRUE(smooth_path(p, 5, 0, s));
  const double want[5] = {1.5, 1.0, 2.0, 1.0, 1.5};
  for (int i = 0; i < 5; ++i) {
    EXPECT_DOUBLE_EQ(s[i].x, want[i]) << i;
    EXPECT_DOUBLE_EQ(s[i].y, 2 * want[i]) << i;
    EXPECT_NEAR(s[i].angle, 0.1 * want[i], 1e-15) << i;
  }
  // Strength 1, r = 2, x = k^2: row 1 spans rows 0..3, row 5 rows 3..5.
  PathPoint q[6];
  for (int k = 0; k < 6; ++k) q[k] = {static_cast<double>(k * k), 0.0, 0.0};
  ASSERT_TRUE(smooth_path(q, 6, 1, s));
  EXPECT_DOUBLE_EQ(s[0].x, (0 + 1 + 4) / 3.0);
  EXPECT_DOUBLE_EQ(s[1].x, (0 + 1 + 4 + 9) / 4.0);
  EXPECT_DOUBLE_EQ(s[2].x, (0 + 1 + 4 + 9 + 16) / 5.0);
  EXPECT_DOUBLE_EQ(s[5].x, (9 + 16 + 25) / 3.0);
}

// (corrections, crop_max, zoom, crop percent) on 640 x 480.
TEST(CropZoom, CoversEveryFrame) {
  struct Case {
    std::vector<Correction> c;
    int crop_max;
    double zoom, crop;
    const char *what;
  };
  const std::vector<Correction> zeros(5, Correction{0, 0, 0});
  std::vector<Correction> one_bad = zeros;
  one_bad[3] = {20.0, -10.0, 0.0};
  const Case cases[] = {
      {zeros, 0, 1.0, 0.0, "no correction"},
      {{{20.0, -10.0, 0.0}}, 0, 0.941176, 5.882353, "shift: min(320/340, 240/250)"},
      {{{0.0, 0.0, 0.01}}, 0, 0.986891, 1.310898, "turn"},
      {{{300.0, 0.0, 0.0}}, 0, 0.6, 40.0, "320/620 is below the floor"},
      {{{300.0, 0.0, 0.0}, {20.0, -10.0, 0.0}}, 1, 1.0, 0.0, "crop_max"},
      {one_bad, 0, 0.941176, 5.882353, "only the worst row counts"},
  };
  for (const Case &k : cases) {
    double crop = -1.0;
    const double zoom =
        choose_zoom(k.c.data(), static_cast<int>(k.c.size()), 640, 480, k.crop_max, &crop);
    EXPECT_NEAR(zoom, k.zoom, 5e-7) << k.what;
    EXPECT_NEAR(crop, k.crop, 5e-7) << k.what;
  }
}

TEST(CropZoom, FittedShiftsMoveTheMagnifiedContentByTheFullCorrection) {
  // The warp magnifies after shifting, so content moves by zoom * t: the
  // fitted table divides the shifts by the zoom it is finally warped with.
  std::vector<Correction> measured;
  for (int k = 0; k < 40; ++k) measured.push_back({9.0 * std::sin(0.7 * k), -6.0 * std::cos(1.3 * k), 0.0});
  std::vector<Correction> fitted = measured;
  double crop = -1.0;
  const double zoom = fit_zoom(fitted, 640, 480, 0, &crop);
  ASSERT_LT(zoom, 1.0);
  double check_crop = -1.0;
  EXPECT_EQ(choose_zoom(fitted.data(), 40, 640, 480, 0, &check_crop), zoom);  // every frame covered
  EXPECT_EQ(check_crop, crop);
  for (int k = 0; k < 40; ++k) {
    EXPECT_NEAR(zoom * fitted[k].tx, measured[k].tx, 1e-3 * (1.0 + std::fabs(measured[k].tx))) << k;
    EXPECT_NEAR(zoom * fitted[k].ty, measured[k].ty, 1e-3 * (1.0 + std::fabs(measured[k].ty))) << k;
  }
  // No magnification, nothing to fit.
  std::vector<Correction> kept = measured;
  EXPECT_EQ(fit_zoom(kept, 640, 480, 1, &crop), 1.0);
  EXPECT_EQ(kept[5].tx, measured[5].tx);
}

TEST(Corrections, TakeTheFrameFromTheRawPathOntoTheSmoothedOne) {
  // With no smoothed turn the shift is the plain difference.
  const PathPoint p[1] = {{5.0, -2.0, 0.01}};
  const PathPoint s0[1] = {{2.0, 1.0, 0.0}};
  std::vector<Correction> c;
  ASSERT_TRUE(form_corrections(p, s0, 1, c));
  ASSERT_EQ(c.size(), 1u);
  EXPECT_DOUBLE_EQ(c[0].tx, 3.0);
  EXPECT_DOUBLE_EQ(c[0].ty, -3.0);
  EXPECT_DOUBLE_EQ(c[0].angle, 0.01);
  // With the smoothed view turned by a, the difference is turned with it.
  const double a = 0.3;
  const PathPoint s1[1] = {{2.0, 1.0, a}};
  ASSERT_TRUE(form_corrections(p, s1, 1, c));
  EXPECT_NEAR(c[0].tx, std::cos(a) * 3.0 + std::sin(a) * -3.0, 1e-12);
  EXPECT_NEAR(c[0].ty, -std::sin(a) * 3.0 + std::cos(a) * -3.0, 1e-12);
  EXPECT_DOUBLE_EQ(c[0].angle, 0.01 - a);
}

// The proof of the sign conventions, end to end. A textured scene is filmed
// along a known camera path: frame k shows the scene point p (from the frame
// centre) at R(a_k) (p - P_k), R(a) = [[cos a, sin a], [-sin a, cos a]], i.e.
// the content moved by -P_k (a positive x moves it left, as the estimator
// reports it) and then turned counter-clockwise by a_k about the frame centre.
// Warping each frame by its correction must give the scene as seen along the
// smoothed path S, R(s_k) (p - S_k), up to interpolation error.
TEST(Corrections, WarpedFramesFollowTheSmoothedPath) {
  const int w = 160, h = 120, n = 9;
  const double cx = w * 0.5, cy = h * 0.5;
  const auto scene = [](double x, double y) {
    return 128.0 + 45.0 * std::sin(0.21 * x + 0.13 * y) +
           35.0 * std::cos(0.17 * x - 0.23 * y + 0.5);
  };
  std::vector<PathPoint> path(n);
  for (int k = 0; k < n; ++k)
    path[k] = {3.0 * k + 4.0 * std::sin(1.7 * k), -2.0 * k + 3.0 * std::cos(1.1 * k) - 3.0,
               0.12 + 0.05 * std::sin(2.3 * k)};  // a steady tilt, so order matters
  std::vector<PathPoint> smooth;
  std::vector<Correction> corr;
  ASSERT_TRUE(smooth_path(path.data(), n, 2, smooth));
  ASSERT_TRUE(form_corrections(path.data(), smooth.data(), n, corr));

  for (int k = 0; k < n; ++k) {
    const double ca = std::cos(path[k].angle), sa = std::sin(path[k].angle);
    const double cs = std::cos(smooth[k].angle), ss = std::sin(smooth[k].angle);
    // Frame k: pixel s shows the scene at R(-a)s + P.
    YuvPicture frame(w, h);
    frame.fill(0, 128, 128);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double sx = x - cx, sy = y - cy;
        const double v = scene(ca * sx - sa * sy + path[k].x, sa * sx + ca * sy + path[k].y);
        frame.at(0, x, y) = static_cast<std::uint8_t>(std::lround(v));
      }
    YuvPicture out(w, h);
    warp_yuv420(frame.data(0), w, h, frame.stride[0], frame.data(1), frame.stride[1], frame.data(2),
                frame.stride[2], corr[k].tx, corr[k].ty, corr[k].angle, 1.0, out.data(0),
                out.data(1), out.data(2), w, h, out.stride[0], out.stride[1], out.stride[2]);
    int interior = 0, worst = 0, worst_raw = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        // The scene point the smoothed view shows at q, and where the raw
        // frame has it: only positions well inside the raw frame count.
        const double qx = x - cx, qy = y - cy;
        const double px = cs * qx - ss * qy + smooth[k].x, py = ss * qx + cs * qy + smooth[k].y;
        const double rx = ca * (px - path[k].x) + sa * (py - path[k].y) + cx;
        const double ry = -sa * (px - path[k].x) + ca * (py - path[k].y) + cy;
        if (rx < 2 || rx > w - 3 || ry < 2 || ry > h - 3) continue;
        ++interior;
        const int want = static_cast<int>(std::lround(scene(px, py)));
        worst = std::max(worst, std::abs(out.at(0, x, y) - want));
        worst_raw = std::max(worst_raw, std::abs(frame.at(0, x, y) - want));
      }
    EXPECT_GT(interior, w * h / 2) << "frame " << k;
    EXPECT_LE(worst, 3) << "frame " << k << ": warped frame differs from the smoothed view";
    // The frames really move: unwarped, they are far from the smoothed view.
    if (k != 0 && k != n - 1) {
      EXPECT_GT(worst_raw, 20) << "frame " << k;
    }
  }
}

}  // namespace
