// A small seeded generator (splitmix64) whose sequence is the same on every
// platform and standard library, unlike the std distributions.
#pragma once

#include <cstdint>

class ClipRng {
 public:
  explicit ClipRng(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

  // Uniform in [-1, 1).
  double symmetric() { return unit() * 2.0 - 1.0; }

 private:
  std::uint64_t state_;
};

// A hash of a few integers, for lattice values that need no stored state.
inline std::uint64_t clip_hash(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  ClipRng rng(a * 0x9E3779B97F4A7C15ULL ^ (b + 0x632BE59BD9B4E019ULL) * 0xC2B2AE3D27D4EB4FULL ^
              (c + 0x165667B19E3779F9ULL) * 0x27D4EB2F165667C5ULL);
  return rng.next();
}
