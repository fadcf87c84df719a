// Luma sharpening: the Laplacian boost on known neighbourhoods, the edges,
// the row padding, and every variant against the plain version bit for bit.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "dsp/warp.h"
#include "dsp/warp_kernels.h"
#include "pipeline/threaded_kernels.h"

namespace {

struct UnsharpVariant {
  const char *name;
  UnsharpFn fn;
  bool needs_avx2;
};

const UnsharpVariant kVariants[] = {
    {"scalar", unsharp_y_scalar, false},  {"sse2", unsharp_y_sse2, false},
    {"avx2", unsharp_y_avx2, true},       {"sse2_mt", unsharp_y_sse2_mt, false},
    {"avx2_mt", unsharp_y_avx2_mt, true}, {"dispatch", unsharp_y, false},
};

constexpr std::uint8_t kGuard = 0x5A;

// A w x h plane with `pad` guard bytes after each row.
struct Plane {
  int w, h, stride;
  std::vector<std::uint8_t> bytes;
  Plane(int width, int height, int pad, std::uint8_t value)
      : w(width),
        h(height),
        stride(width + pad),
        bytes(static_cast<std::size_t>(stride) * height, kGuard) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) at(x, y) = value;
  }
  std::uint8_t &at(int x, int y) { return bytes[static_cast<std::size_t>(y) * stride + x]; }
  bool guards_intact() const {
    for (int y = 0; y < h; ++y)
      for (int x = w; x < stride; ++x)
        if (bytes[static_cast<std::size_t>(y) * stride + x] != kGuard) return false;
    return true;
  }
};

class UnsharpKernel : public ::testing::TestWithParam<UnsharpVariant> {
 protected:
  void SetUp() override {
    if (GetParam().needs_avx2 && !cpu_has_avx2()) GTEST_SKIP() << "no AVX2 on this CPU";
  }
  void run(Plane &p) const { GetParam().fn(p.bytes.data(), p.w, p.h, p.stride); }
};

// A centre value among eight neighbours, on a wide plane so that vector
// loops see it too: (centre, neighbour, odd neighbour count, expected).
TEST_P(UnsharpKernel, LaplacianBoost) {
  struct Case {
    int centre, around, odd, odd_value, expected;
    const char *what;
  };
  const Case cases[] = {
      {100, 100, 0, 0, 100, "flat: L 0, d trunc(0.5) = 0"},
      {200, 100, 0, 0, 255, "L 800: d 480, clamped"},
      {100, 100, 1, 200, 41, "L -100: d trunc(-59.5) = -59"},
      {100, 101, 0, 0, 96, "L -8: d trunc(-4.3) = -4"},
      {100, 99, 0, 0, 105, "L 8: d trunc(5.3) = 5"},
      {10, 250, 0, 0, 0, "L -1920: clamped at 0"},
  };
  for (const Case &c : cases) {
    for (const int cx : {1, 20, 37}) {  // scalar edge, inside a vector, another lane
      Plane p(40, 5, 3, static_cast<std::uint8_t>(c.around));
      p.at(cx, 2) = static_cast<std::uint8_t>(c.centre);
      if (c.odd) p.at(cx + 1, 1) = static_cast<std::uint8_t>(c.odd_value);
      run(p);
      EXPECT_EQ(p.at(cx, 2), c.expected) << c.what << " at column " << cx;
    }
  }
}

TEST_P(UnsharpKernel, CornerRepeatsEdgeSamples) {
  // At (0, 0) the neighbours are the corner three times, (1, 0) and (0, 1)
  // twice each and (1, 1) once: L = 8*100 - (3*100 + 2*90 + 2*80 + 70) = 90.
  Plane p(32, 4, 0, 50);
  p.at(0, 0) = 100;
  p.at(1, 0) = 90;
  p.at(0, 1) = 80;
  p.at(1, 1) = 70;
  run(p);
  EXPECT_EQ(p.at(0, 0), 100 + 54);
}

TEST_P(UnsharpKernel, ReadsThePlaneAsItWasAndKeepsPadding) {
  // A one-sample spike changes its neighbours as computed from the original
  // values: each neighbour of a 200 among 100s has L = -100 and becomes 41.
  Plane p(50, 6, 7, 100);
  p.at(25, 3) = 200;
  run(p);
  EXPECT_EQ(p.at(25, 3), 255);
  EXPECT_EQ(p.at(24, 3), 41);
  EXPECT_EQ(p.at(26, 4), 41);
  EXPECT_EQ(p.at(27, 3), 100);
  EXPECT_TRUE(p.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(AllVariants, UnsharpKernel, ::testing::ValuesIn(kVariants),
                         [](const auto &info) { return std::string(info.param.name); });

// Random planes, including widths that are not a multiple of any vector
// width, single rows and columns, and black-and-white noise that drives the
// clamps at both ends.
TEST(UnsharpVariants, MatchThePlainVersionBitForBit) {
  std::mt19937 rng(77);
  const int widths[] = {1, 2, 3, 7, 8, 9, 10, 15, 16, 17, 18, 19, 31, 33, 34, 63, 100, 1921};
  const int heights[] = {1, 2, 3, 9};
  int compared = 0;
  for (const int w : widths)
    for (const int h : heights)
      for (int kind = 0; kind < 3; ++kind) {
        const int pad = (w + h + kind) % 5;
        Plane src(w, h, pad, 0);
        std::uniform_int_distribution<int> any(0, 255), bit(0, 1), near(118, 138);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            src.at(x, y) = static_cast<std::uint8_t>(kind == 0   ? any(rng)
                                                     : kind == 1 ? 255 * bit(rng)
                                                                 : near(rng));
        Plane want = src;
        unsharp_y_scalar(want.bytes.data(), w, h, want.stride);
        for (const UnsharpVariant &v : kVariants) {
          if (v.needs_avx2 && !cpu_has_avx2()) continue;
          Plane got = src;
          v.fn(got.bytes.data(), w, h, got.stride);
          ASSERT_EQ(got.bytes, want.bytes) << v.name << " " << w << "x" << h << " kind " << kind;
          ++compared;
        }
      }
  EXPECT_GT(compared, 0);
}

// Pictures large enough for the threaded variants to split their rows.
TEST(UnsharpVariants, MatchThePlainVersionOnLargePlanes) {
  std::mt19937 rng(78);
  for (const auto &[w, h, pad] : {std::tuple{320, 240, 0}, std::tuple{333, 257, 9}}) {
    Plane src(w, h, pad, 0);
    std::uniform_int_distribution<int> any(0, 255);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) src.at(x, y) = static_cast<std::uint8_t>(any(rng));
    Plane want = src;
    unsharp_y_scalar(want.bytes.data(), w, h, want.stride);
    for (const UnsharpVariant &v : kVariants) {
      if (v.needs_avx2 && !cpu_has_avx2()) continue;
      Plane got = src;
      v.fn(got.bytes.data(), w, h, got.stride);
      ASSERT_EQ(got.bytes, want.bytes) << v.name << " " << w << "x" << h;
    }
  }
}

}  // namespace
