// An 8-bit planar YUV 4:2:0 picture for kernel tests: each plane has its own
// stride, and the bytes past a row's samples hold a guard value so a test can
// check that a kernel neither writes them nor lets them reach its result.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

struct YuvPicture {
  int w = 0, h = 0;
  int stride[3] = {0, 0, 0};
  std::vector<std::uint8_t> plane[3];
  static constexpr std::uint8_t kGuard = 0xA5;

  YuvPicture() = default;
  // pad: extra bytes per row beyond each plane's width.
  YuvPicture(int width, int height, int pad_y = 0, int pad_c = 0) : w(width), h(height) {
    stride[0] = w + pad_y;
    stride[1] = stride[2] = w / 2 + pad_c;
    for (int p = 0; p < 3; ++p)
      plane[p].assign(static_cast<std::size_t>(stride[p]) * static_cast<std::size_t>(ph(p)),
                      kGuard);
  }
  int pw(int p) const { return p == 0 ? w : w / 2; }
  int ph(int p) const { return p == 0 ? h : h / 2; }
  std::uint8_t &at(int p, int x, int y) {
    return plane[p][static_cast<std::size_t>(y) * stride[p] + x];
  }
  std::uint8_t at(int p, int x, int y) const {
    return plane[p][static_cast<std::size_t>(y) * stride[p] + x];
  }
  std::uint8_t *data(int p) { return plane[p].data(); }
  const std::uint8_t *data(int p) const { return plane[p].data(); }

  void fill(std::uint8_t yv, std::uint8_t uv, std::uint8_t vv) {
    const std::uint8_t v[3] = {yv, uv, vv};
    for (int p = 0; p < 3; ++p)
      for (int y = 0; y < ph(p); ++y)
        for (int x = 0; x < pw(p); ++x) at(p, x, y) = v[p];
  }
  void randomize(std::mt19937 &rng) {
    std::uniform_int_distribution<int> d(0, 255);
    for (int p = 0; p < 3; ++p)
      for (int y = 0; y < ph(p); ++y)
        for (int x = 0; x < pw(p); ++x) at(p, x, y) = static_cast<std::uint8_t>(d(rng));
  }
  // True when every byte past the samples of every row still holds the guard.
  bool guards_intact() const {
    for (int p = 0; p < 3; ++p)
      for (int y = 0; y < ph(p); ++y)
        for (int x = pw(p); x < stride[p]; ++x)
          if (at(p, x, y) != kGuard) return false;
    return true;
  }
};
