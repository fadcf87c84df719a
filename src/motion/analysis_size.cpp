#include "motion/analysis_size.h"

#include <algorithm>
#include <cmath>

namespace {

// Sides beyond this cannot be decoded anyway; the limit only keeps the
// conversion to int defined for a hostile header.
constexpr double kMaxSide = 1 << 20;

int analysis_side(int side, double k) {
  int s = static_cast<int>(std::min(side * k, kMaxSide));
  s = (s / 2) * 2;
  return std::max(s, 64);
}

}  // namespace

AnalysisSize analysis_size(int width, int height) {
  double m = static_cast<double>(std::min(width, height));
  double k = 256.0 / m;
  return {analysis_side(width, k), analysis_side(height, k)};
}
