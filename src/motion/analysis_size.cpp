#include "motion/analysis_size.h"

#include <algorithm>
#include <climits>
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

int frame_estimate(double duration, double fps, double extra) {
  double e = duration * fps + extra;
  if (std::isnan(e)) return 0;
  if (e >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (e <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(e);
}
