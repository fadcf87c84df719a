// Median of a small array of doubles, as the motion estimator combines its
// block measurements.
#include <cstdlib>

#include "motion/motion_estimator.h"

double med_d(const double *values, int n) {
  if (n <= 0 || values == nullptr) return 0.0;
  double *v = static_cast<double *>(std::malloc(sizeof(double) * static_cast<std::size_t>(n)));
  if (v == nullptr) return 0.0;
  for (int i = 0; i < n; ++i) v[i] = values[i];
  if (n == 1) {
    const double only = v[0];
    std::free(v);
    return only;
  }
  // Insertion sort: n is the block count (about a hundred), and a stable
  // ordering of equal values keeps the result independent of the library.
  for (int i = 1; i < n; ++i) {
    const double x = v[i];
    int j = i;
    while (j > 0 && v[j - 1] > x) {
      v[j] = v[j - 1];
      --j;
    }
    v[j] = x;
  }
  const double m = (n & 1) ? v[n >> 1] : (v[n / 2 - 1] + v[n / 2]) * 0.5;
  std::free(v);
  return m;
}
