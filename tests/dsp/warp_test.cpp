// The frame warp: its mapping, bilinear weights, edges and fill, checked on
// every kernel variant, and the variants compared bit for bit.
#include "dsp/warp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dsp/warp_kernels.h"
#include "motion/smoothing.h"
#include "pipeline/threaded_kernels.h"
#include "support/yuv_picture.h"

namespace {

struct WarpVariant {
  const char *name;
  WarpFn fn;
  bool needs_avx2;
};

const WarpVariant kVariants[] = {
    {"scalar", warp_yuv420_scalar, false},  {"sse2", warp_yuv420_sse2, false},
    {"avx2", warp_yuv420_avx2, true},       {"sse2_mt", warp_yuv420_sse2_mt, false},
    {"avx2_mt", warp_yuv420_avx2_mt, true}, {"dispatch", warp_yuv420, false},
};

void run(WarpFn fn, const YuvPicture &src, double tx, double ty, double angle, double zoom,
         YuvPicture &dst) {
  fn(src.data(0), src.w, src.h, src.stride[0], src.data(1), src.stride[1], src.data(2),
     src.stride[2], tx, ty, angle, zoom, dst.data(0), dst.data(1), dst.data(2), dst.w, dst.h,
     dst.stride[0], dst.stride[1], dst.stride[2]);
}

YuvPicture random_picture(int w, int h, int pad_y, int pad_c, unsigned seed) {
  YuvPicture p(w, h, pad_y, pad_c);
  std::mt19937 rng(seed);
  p.randomize(rng);
  return p;
}

class WarpKernel : public ::testing::TestWithParam<WarpVariant> {
 protected:
  void SetUp() override {
    if (GetParam().needs_avx2 && !cpu_has_avx2()) GTEST_SKIP() << "no AVX2 on this CPU";
  }
  WarpFn fn() const { return GetParam().fn; }
};

// Zero correction at zoom 1 reproduces every sample of all three planes,
// including the last column and row, and leaves the row padding alone.
TEST_P(WarpKernel, IdentityReproducesThePicture) {
  for (const auto &[w, h] : {std::pair{2, 2}, std::pair{64, 64}, std::pair{70, 38}}) {
    const YuvPicture src = random_picture(w, h, 5, 3, 11u + static_cast<unsigned>(w));
    YuvPicture dst(w, h, 7, 1);
    run(fn(), src, 0.0, 0.0, 0.0, 1.0, dst);
    for (int p = 0; p < 3; ++p)
      for (int y = 0; y < src.ph(p); ++y)
        for (int x = 0; x < src.pw(p); ++x)
          ASSERT_EQ(dst.at(p, x, y), src.at(p, x, y))
              << w << "x" << h << " plane " << p << " at " << x << "," << y;
    EXPECT_TRUE(dst.guards_intact());
  }
}

TEST_P(WarpKernel, HalfPixelShiftBlendsNeighbours) {
  // Output (10, 10) samples source (8.5, 10): half of 100 and half of 201.
  YuvPicture src(64, 64);
  src.fill(0, 128, 128);
  src.at(0, 8, 10) = src.at(0, 8, 11) = 100;
  src.at(0, 9, 10) = src.at(0, 9, 11) = 201;
  YuvPicture dst(64, 64);
  run(fn(), src, 1.5, 0.0, 0.0, 1.0, dst);
  EXPECT_EQ(dst.at(0, 10, 10), 151);
}

TEST_P(WarpKernel, BilinearWeights) {
  // Source position (20.25, 30.75): weights 0.1875, 0.0625, 0.5625, 0.1875
  // over 10, 20 (upper row) and 30, 40 (lower row): 27.5 + 0.5 -> 28.
  YuvPicture src(64, 64);
  src.fill(0, 128, 128);
  src.at(0, 20, 30) = 10;
  src.at(0, 21, 30) = 20;
  src.at(0, 20, 31) = 30;
  src.at(0, 21, 31) = 40;
  YuvPicture dst(64, 64);
  run(fn(), src, -0.25, -0.75, 0.0, 1.0, dst);
  EXPECT_EQ(dst.at(0, 20, 30), 28);
}

TEST_P(WarpKernel, QuarterTurnIsClockwise) {
  // Output (42, 32) samples source (32, 22): what lies 10 pixels above the
  // centre shows up 10 pixels to the right of it.
  const YuvPicture src = random_picture(64, 64, 0, 0, 3);
  YuvPicture dst(64, 64);
  run(fn(), src, 0.0, 0.0, std::numbers::pi / 2, 1.0, dst);
  EXPECT_EQ(dst.at(0, 42, 32), src.at(0, 32, 22));
  EXPECT_EQ(dst.at(0, 32, 42), src.at(0, 42, 32));  // right of the centre goes down
}

TEST_P(WarpKernel, ZoomMagnifiesAboutTheCentre) {
  const YuvPicture src = random_picture(640, 480, 0, 0, 4);
  YuvPicture dst(640, 480);
  run(fn(), src, 0.0, 0.0, 0.0, 0.8, dst);
  EXPECT_EQ(dst.at(0, 0, 0), src.at(0, 64, 48));
  EXPECT_EQ(dst.at(0, 320, 240), src.at(0, 320, 240));
  EXPECT_EQ(dst.at(0, 5, 0), src.at(0, 68, 48));
}

// The inside test covers the picture's whole extent, 0 .. W, with a rounding
// margin: positions past the last sample read it; anything further out is
// fill. (x, shift tx, expected) on a 64 x 64 picture, row 5.
TEST_P(WarpKernel, PictureEdges) {
  YuvPicture src = random_picture(64, 64, 3, 2, 5);
  YuvPicture dst(64, 64, 1, 1);
  struct Case {
    double tx;
    int x;
    int expected;  // -1: the source sample at column 0; -2: the last column
    const char *what;
  };
  const Case cases[] = {
      {0.2, 0, 0, "source x -0.2: outside"},
      {0.2, 1, -3, "source x 0.8: inside"},
      {1e-9, 0, -1, "source x -1e-9: rounding, inside, reads column 0"},
      {-0.5, 63, -2, "source x 63.5: between the last sample and the edge"},
      {-1.0, 63, -2, "source x 64: on the far edge"},
      {-1.5, 63, 0, "source x 64.5: outside"},
      {-1.0 - 5e-7, 63, -2, "source x 64 + 5e-7: within the margin"},
      {-1.0 - 1e-5, 63, 0, "source x 64 + 1e-5: beyond the margin"},
  };
  for (const Case &c : cases) {
    run(fn(), src, c.tx, 0.0, 0.0, 1.0, dst);
    int want = c.expected;
    if (want == -1) want = src.at(0, 0, 5);
    if (want == -2) want = src.at(0, 63, 5);
    if (want == -3) {
      // 0.2 * p(0) + 0.8 * p(1) + 0.5, truncated.
      want = static_cast<int>(src.at(0, 0, 5) * 0.2 + src.at(0, 1, 5) * 0.8 + 0.5);
      const int got = dst.at(0, c.x, 5);
      EXPECT_LE(std::abs(got - want), 1) << c.what;
      continue;
    }
    EXPECT_EQ(dst.at(0, c.x, 5), want) << c.what;
  }
}

TEST_P(WarpKernel, OutsideIsBlackWithNeutralChroma) {
  const YuvPicture src = random_picture(66, 34, 2, 2, 6);
  YuvPicture dst(66, 34, 3, 5);
  run(fn(), src, 1000.0, -5.0, 0.1, 0.9, dst);  // moved wholly out of the frame
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < dst.ph(p); ++y)
      for (int x = 0; x < dst.pw(p); ++x)
        ASSERT_EQ(dst.at(p, x, y), p == 0 ? 0 : 128) << "plane " << p << " at " << x << "," << y;
  EXPECT_TRUE(dst.guards_intact());
  // A NaN angle maps nowhere: all fill as well.
  run(fn(), src, 0.0, 0.0, std::nan(""), 1.0, dst);
  EXPECT_EQ(dst.at(0, 33, 17), 0);
  EXPECT_EQ(dst.at(1, 16, 8), 128);
}

// The zoom chosen for a correction keeps the sampled corners within 0 .. W and
// 0 .. H: then no output sample, luma or chroma, may show the fill.
TEST_P(WarpKernel, CoveringZoomLeavesNoFill) {
  const int w = 640, h = 480;
  YuvPicture src(w, h, 4, 4);
  src.fill(200, 60, 190);
  YuvPicture dst(w, h, 4, 4);
  const Correction corrections[] = {{20.0, -10.0, 0.0},
                                    {0.0, 0.0, 0.01},
                                    {-13.7, 8.2, -0.03},
                                    {5.0, 5.0, 0.05},
                                    {-31.0, 0.0, 0.0}};
  for (const Correction &c : corrections) {
    double crop = 0.0;
    const double zoom = choose_zoom(&c, 1, w, h, 0, &crop);
    ASSERT_GT(zoom, 0.6);
    run(fn(), src, c.tx, c.ty, c.angle, zoom, dst);
    for (int p = 0; p < 3; ++p)
      for (int y = 0; y < dst.ph(p); ++y)
        for (int x = 0; x < dst.pw(p); ++x)
          ASSERT_EQ(dst.at(p, x, y), src.at(p, 0, 0))
              << "correction " << c.tx << "," << c.ty << "," << c.angle << " plane " << p << " at "
              << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(AllVariants, WarpKernel, ::testing::ValuesIn(kVariants),
                         [](const auto &info) { return std::string(info.param.name); });

// Every variant gives the plain version's bytes on random pictures, strides,
// corrections and zooms, including sizes smaller than a vector, sources and
// outputs of different sizes, positions far outside and non-finite input.
TEST(WarpVariants, MatchThePlainVersionBitForBit) {
  struct Size {
    int sw, sh, dw, dh, pad_y, pad_c;
  };
  const Size sizes[] = {
      {2, 2, 2, 2, 0, 0},
      {2, 2, 2, 2, 3, 1},
      {4, 2, 4, 2, 1, 0},
      {64, 64, 64, 64, 0, 0},
      {64, 64, 64, 64, 7, 3},
      {66, 34, 66, 34, 5, 9},
      {130, 72, 130, 72, 1, 1},
      {18, 10, 18, 10, 13, 5},
      {96, 54, 80, 60, 3, 3},
      {40, 40, 90, 22, 0, 1},
      {200, 120, 200, 120, 11, 7},
      {64, 64, 33, 15, 2, 1},  // odd output sizes: no chroma for the last column/row
      // large enough for the threaded variants to split rows
      {320, 240, 320, 240, 3, 5},
      {350, 202, 330, 210, 1, 0}};
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int compared = 0;
  for (const Size &s : sizes) {
    const YuvPicture src = random_picture(s.sw, s.sh, s.pad_y, s.pad_c, rng());
    for (int trial = 0; trial < 40; ++trial) {
      double tx = (unit(rng) - 0.5) * 0.3 * s.sw;
      double ty = (unit(rng) - 0.5) * 0.3 * s.sh;
      double angle = (unit(rng) - 0.5) * 0.4;
      double zoom = 0.6 + 0.4 * unit(rng);
      switch (trial % 10) {
        case 0:
          tx = ty = angle = 0.0;
          zoom = 1.0;
          break;                                             // identity
        case 1: tx = (unit(rng) - 0.5) * 3.0 * s.sw; break;  // large shifts
        case 2: ty = (unit(rng) - 0.5) * 3.0 * s.sh; break;
        case 3: angle = std::numbers::pi / 2; break;     // exact turns
        case 4: angle = (unit(rng) - 0.5) * 7.0; break;  // any angle
        case 5:
          tx = std::round(tx);
          ty = std::round(ty);
          angle = 0.0;
          zoom = 1.0;
          break;
        case 6:
          tx = -0.5;
          ty = -0.5;
          angle = 0.0;
          zoom = 1.0;
          break;  // last row/column
        case 7: zoom = 1.0; break;
        case 8:
          tx = ty = 1e-9;
          angle = 0.0;
          zoom = 1.0;
          break;  // -1e-9: inside
        default: break;
      }
      if (trial == 29) zoom = -0.8;  // mirrored
      if (trial == 39) {
        // Only the centre stays inside; its neighbours map far beyond int range.
        zoom = 1e11;
        tx = ty = angle = 0.0;
      }
      if (trial == 9 && s.sw == 64) angle = std::nan("");
      if (trial == 19 && s.sw == 64) tx = INFINITY;
      YuvPicture want(s.dw, s.dh, s.pad_y + 1, s.pad_c);
      run(warp_yuv420_scalar, src, tx, ty, angle, zoom, want);
      for (const WarpVariant &v : kVariants) {
        if (v.needs_avx2 && !cpu_has_avx2()) continue;
        YuvPicture got(s.dw, s.dh, s.pad_y + 1, s.pad_c);
        run(v.fn, src, tx, ty, angle, zoom, got);
        for (int p = 0; p < 3; ++p)
          ASSERT_EQ(got.plane[p], want.plane[p])
              << v.name << " plane " << p << " " << s.sw << "x" << s.sh << " -> " << s.dw << "x"
              << s.dh << " correction " << tx << "," << ty << "," << angle << " zoom " << zoom;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 0);
}

// Sums that land exactly on a rounding boundary in exact arithmetic (samples
// in steps of 5, positions in steps of 0.05) make the truncation depend on
// the last bit: these catch a variant that adds or multiplies in another order.
TEST(WarpVariants, MatchOnRoundingBoundaries) {
  std::mt19937 rng(99);
  YuvPicture src(96, 64, 3, 1);
  std::uniform_int_distribution<int> level(0, 51);
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < src.ph(p); ++y)
      for (int x = 0; x < src.pw(p); ++x)
        src.at(p, x, y) = static_cast<std::uint8_t>(5 * level(rng));
  const double zooms[] = {1.0, 0.9, 0.75, 0.8, 0.6};
  for (int step = 0; step < 40; ++step) {
    for (const double zoom : zooms) {
      const double tx = 0.05 * step - 1.0;
      const double ty = 0.1 * (step % 7) - 0.35;
      YuvPicture want(96, 64, 3, 1);
      run(warp_yuv420_scalar, src, tx, ty, 0.0, zoom, want);
      for (const WarpVariant &v : kVariants) {
        if (v.needs_avx2 && !cpu_has_avx2()) continue;
        YuvPicture got(96, 64, 3, 1);
        run(v.fn, src, tx, ty, 0.0, zoom, got);
        for (int p = 0; p < 3; ++p)
          ASSERT_EQ(got.plane[p], want.plane[p])
              << v.name << " plane " << p << " tx " << tx << " ty " << ty << " zoom " << zoom;
      }
    }
  }
}

TEST(WarpVariants, DispatchPicksTheFastestForThisCpu) {
  const RenderKernels &k = render_kernels();
  const std::string name = k.warp_name;
  if (cpu_has_avx2())
    EXPECT_TRUE(k.warp == &warp_yuv420_avx2 || k.warp == &warp_yuv420_avx2_mt) << name;
  else
    EXPECT_TRUE(k.warp == &warp_yuv420_sse2 || k.warp == &warp_yuv420_sse2_mt) << name;
  EXPECT_EQ(name, k.unsharp_name);
}

// Several jobs warping at once share one helper thread: whoever finds it busy
// works alone. Every frame must still come out right.
TEST(WarpVariants, ConcurrentCallersShareTheHelper) {
  const YuvPicture src = random_picture(384, 216, 2, 2, 8);
  YuvPicture want(384, 216);
  run(warp_yuv420_scalar, src, 3.3, -2.1, 0.03, 0.93, want);
  const WarpFn fn = cpu_has_avx2() ? warp_yuv420_avx2_mt : warp_yuv420_sse2_mt;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      YuvPicture got(384, 216);
      for (int frame = 0; frame < 15; ++frame) {
        run(fn, src, 3.3, -2.1, 0.03, 0.93, got);
        for (int p = 0; p < 3; ++p)
          if (got.plane[p] != want.plane[p]) mismatches.fetch_add(1);
      }
    });
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
