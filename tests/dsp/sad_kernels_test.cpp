// The SSE2 SAD kernel must give exactly the scalar kernel's sum.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "dsp/sad.h"

namespace {

std::vector<std::uint8_t> random_bytes(std::mt19937 &rng, std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (auto &b : v) b = static_cast<std::uint8_t>(rng() >> 24);
  return v;
}

TEST(Sad32Kernels, SseMatchesScalarOnRandomBlocksOffsetsAndStrides) {
  std::mt19937 rng(20240611u);
  const int strides[] = {32, 33, 47, 64, 454, 1000};
  for (int stride : strides) {
    const std::size_t size = static_cast<std::size_t>(stride) * 40 + 64;
    for (int trial = 0; trial < 200; ++trial) {
      const auto prev = random_bytes(rng, size);
      const auto cur = random_bytes(rng, size);
      // Offsets of any alignment, the block staying inside the buffer.
      const std::size_t po = rng() % (size - static_cast<std::size_t>(stride) * 31 - 32);
      const std::size_t co = rng() % (size - static_cast<std::size_t>(stride) * 31 - 32);
      ASSERT_EQ(sad32_sse2(prev.data() + po, cur.data() + co, stride),
                sad32_scalar(prev.data() + po, cur.data() + co, stride))
          << "stride " << stride << " trial " << trial;
    }
  }
}

TEST(Sad32Kernels, ExtremeAndSmallDifferencesAreExact) {
  const int stride = 35;
  std::vector<std::uint8_t> a(static_cast<std::size_t>(stride) * 32, 0);
  std::vector<std::uint8_t> b(a.size(), 255);
  // The largest possible sum: no saturation, no lost carries.
  EXPECT_EQ(sad32_scalar(a.data(), b.data(), stride), 1024u * 255u);
  EXPECT_EQ(sad32_sse2(a.data(), b.data(), stride), 1024u * 255u);
  EXPECT_EQ(sad32_sse2(b.data(), a.data(), stride), 1024u * 255u);
  EXPECT_EQ(sad32_sse2(a.data(), a.data(), stride), 0u);

  // Bytes outside the 32 columns of each row never count.
  std::vector<std::uint8_t> c = a;
  for (int r = 0; r < 32; ++r) c[static_cast<std::size_t>(r) * stride + 32] = 200;
  EXPECT_EQ(sad32_sse2(a.data(), c.data(), stride), 0u);
  c[31 * stride + 31] = 7;  // last pixel of the block
  c[0] = 1;                 // first pixel
  EXPECT_EQ(sad32_scalar(a.data(), c.data(), stride), 8u);
  EXPECT_EQ(sad32_sse2(a.data(), c.data(), stride), 8u);
}

}  // namespace
