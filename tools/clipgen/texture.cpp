#include "clipgen/texture.h"

#include <algorithm>
#include <cmath>

#include "clipgen/rng.h"

namespace {

struct Octave {
  int cell;       // texels between lattice points
  double weight;
};

// Luma gets detail down to 4 texels so a block matcher finds structure at
// every scale; chroma stays smooth, as in natural pictures.
constexpr Octave kLumaOctaves[] = {{128, 1.0}, {64, 0.9}, {32, 0.9}, {16, 0.9}, {8, 0.8}, {4, 0.6}};
constexpr Octave kChromaOctaves[] = {{128, 1.0}, {64, 0.7}, {32, 0.4}};

double fade(double t) { return t * t * (3.0 - 2.0 * t); }

// Adds one periodic value-noise octave to `sum` (size x size).
void add_octave(std::vector<double> &sum, int size, const Octave &octave, std::uint64_t seed, int index) {
  int n = size / octave.cell;
  std::vector<double> lattice(static_cast<std::size_t>(n) * n);
  for (int i = 0; i < n * n; ++i) {
    lattice[i] = static_cast<double>(clip_hash(seed, static_cast<std::uint64_t>(index), static_cast<std::uint64_t>(i)) >> 11) *
                 (1.0 / 9007199254740992.0);
  }
  for (int y = 0; y < size; ++y) {
    int gy = y / octave.cell;
    double ty = fade(static_cast<double>(y % octave.cell) / octave.cell);
    const double *row0 = &lattice[static_cast<std::size_t>(gy) * n];
    const double *row1 = &lattice[static_cast<std::size_t>((gy + 1) % n) * n];
    for (int x = 0; x < size; ++x) {
      int gx = x / octave.cell;
      int gx1 = (gx + 1) % n;
      double tx = fade(static_cast<double>(x % octave.cell) / octave.cell);
      double top = row0[gx] + (row0[gx1] - row0[gx]) * tx;
      double bottom = row1[gx] + (row1[gx1] - row1[gx]) * tx;
      sum[static_cast<std::size_t>(y) * size + x] += (top + (bottom - top) * ty) * octave.weight;
    }
  }
}

// Sums the octaves and stretches the result so that the 1st to the 99th
// percentile spans [lo, hi] (a sum of octaves bunches around its mean; the
// stretch gives every scale a strong contrast), clamping the tails.
std::vector<std::uint8_t> noise_plane(int size, const Octave *octaves, int count, std::uint64_t seed, double lo,
                                      double hi) {
  std::vector<double> sum(static_cast<std::size_t>(size) * size, 0.0);
  for (int i = 0; i < count; ++i) add_octave(sum, size, octaves[i], seed, i);
  std::vector<double> sorted = sum;
  std::size_t low_rank = sorted.size() / 100, high_rank = sorted.size() - 1 - sorted.size() / 100;
  std::nth_element(sorted.begin(), sorted.begin() + low_rank, sorted.end());
  double min = sorted[low_rank];
  std::nth_element(sorted.begin(), sorted.begin() + high_rank, sorted.end());
  double range = sorted[high_rank] - min;
  if (range <= 0.0) range = 1.0;
  std::vector<std::uint8_t> plane(sum.size());
  for (std::size_t i = 0; i < sum.size(); ++i) {
    double value = std::clamp(lo + (sum[i] - min) / range * (hi - lo), lo, hi);
    plane[i] = static_cast<std::uint8_t>(std::lround(value));
  }
  return plane;
}

}  // namespace

Texture make_texture(int min_size, std::uint64_t seed) {
  Texture texture;
  texture.size = 256;
  while (texture.size < min_size) texture.size *= 2;
  int luma_count = static_cast<int>(sizeof kLumaOctaves / sizeof kLumaOctaves[0]);
  int chroma_count = static_cast<int>(sizeof kChromaOctaves / sizeof kChromaOctaves[0]);
  texture.planes[0] = noise_plane(texture.size, kLumaOctaves, luma_count, seed * 3 + 0, 20.0, 235.0);
  texture.planes[1] = noise_plane(texture.size, kChromaOctaves, chroma_count, seed * 3 + 1, 100.0, 156.0);
  texture.planes[2] = noise_plane(texture.size, kChromaOctaves, chroma_count, seed * 3 + 2, 100.0, 156.0);
  return texture;
}

void render_plane(const Texture &texture, int plane, const CameraPose &pose, double scale, int luma_w,
                  int luma_h, const PlaneTarget &target) {
  const std::uint8_t *tex = texture.planes[plane].data();
  const int size = texture.size;
  const int mask = size - 1;
  // The pose (0, 0) looks at an off-lattice point near the texture middle.
  const double origin_x = size * 0.5 + 0.37;
  const double origin_y = size * 0.5 + 0.61;
  const double c = std::cos(pose.angle) * scale;
  const double s = std::sin(pose.angle) * scale;
  const double sub_x = static_cast<double>(1 << target.log2_sub_x);
  const double sub_y = static_cast<double>(1 << target.log2_sub_y);
  const double centre_x = (luma_w - 1) * 0.5;
  const double centre_y = (luma_h - 1) * 0.5;
  for (int y = 0; y < target.plane_h; ++y) {
    // The sample's centre in luma pixels, relative to the frame centre.
    double py = (y + 0.5) * sub_y - 0.5 - centre_y;
    double row_u = origin_x + pose.x - s * py;
    double row_v = origin_y + pose.y + c * py;
    std::uint8_t *out = target.data + static_cast<std::ptrdiff_t>(y) * target.linesize;
    for (int x = 0; x < target.plane_w; ++x) {
      double px = (x + 0.5) * sub_x - 0.5 - centre_x;
      double u = row_u + c * px;
      double v = row_v + s * px;
      double fu = std::floor(u), fv = std::floor(v);
      double au = u - fu, av = v - fv;
      int iu = static_cast<int>(static_cast<long long>(fu) & mask);
      int iv = static_cast<int>(static_cast<long long>(fv) & mask);
      int iu1 = (iu + 1) & mask, iv1 = (iv + 1) & mask;
      const std::uint8_t *r0 = tex + static_cast<std::size_t>(iv) * size;
      const std::uint8_t *r1 = tex + static_cast<std::size_t>(iv1) * size;
      double top = r0[iu] + (r0[iu1] - r0[iu]) * au;
      double bottom = r1[iu] + (r1[iu1] - r1[iu]) * au;
      out[x] = static_cast<std::uint8_t>(top + (bottom - top) * av + 0.5);
    }
  }
}
