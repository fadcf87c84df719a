// The separable box blur gives exactly the bytes of the per-pixel one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "dsp/box_blur.h"

TEST(BoxBlur, SeparableEqualsPlainOnRandomImages) {
  std::mt19937 rng(11);
  const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {3, 5}, {16, 3}, {17, 4}, {18, 2}, {31, 9}, {33, 17}, {64, 64}, {454, 256}, {256, 454}};
  for (const auto &s : sizes) {
    for (int round = 0; round < 3; ++round) {
      std::vector<std::uint8_t> a(static_cast<std::size_t>(s[0]) * s[1]);
      for (auto &v : a) v = round == 2 ? 255 : static_cast<std::uint8_t>(rng());
      std::vector<std::uint8_t> b = a;
      boxblur3_scalar(a.data(), s[0], s[1]);
      boxblur3_separable(b.data(), s[0], s[1]);
      ASSERT_EQ(a, b) << s[0] << "x" << s[1] << " round " << round;
    }
  }
}

TEST(BoxBlur, DivisionByNineIsExactForEverySum) {
  // One column of two rows holds a sum of 6 * value / 9 ... and a 3x3 patch
  // of equal values reaches every multiple; check each reachable sum through
  // a single interior pixel whose neighbourhood sums to s.
  for (unsigned s = 0; s <= 9 * 255; ++s) {
    std::vector<std::uint8_t> img(9, 0);
    unsigned left = s;
    for (auto &v : img) {
      unsigned take = left > 255 ? 255 : left;
      v = static_cast<std::uint8_t>(take);
      left -= take;
    }
    // A 3x3 image: the centre pixel sums all nine samples.
    std::vector<std::uint8_t> a = img, b = img;
    boxblur3_scalar(a.data(), 3, 3);
    boxblur3_separable(b.data(), 3, 3);
    ASSERT_EQ(a[4], b[4]) << s;
    ASSERT_EQ(a[4], s / 9) << s;
  }
}
