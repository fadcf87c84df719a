// Path smoothing, correction forming and the crop zoom of a stabilization.
#include "motion/smoothing.h"

#include <algorithm>
#include <cmath>
#include <new>

int smoothing_radius(int strength) {
  // In 64 bits: no overflow for any int strength.
  long long r = (3LL * strength) / 2 + 1;
  if (r <= 0) r = 1;
  if (r > 0x3fffffff) r = 0x3fffffff;
  return static_cast<int>(r);
}

bool smooth_path(const PathPoint *path, int n, int strength, std::vector<PathPoint> &smoothed) {
  try {
    smoothed.assign(n > 0 ? static_cast<std::size_t>(n) : 0, PathPoint{0.0, 0.0, 0.0});
  } catch (const std::bad_alloc &) {
    return false;
  }
  const long long r = smoothing_radius(strength);
  for (int i = 0; i < n; ++i) {
    const int lo = static_cast<int>(std::max(0LL, i - r));
    const int hi = static_cast<int>(std::min(i + r, static_cast<long long>(n) - 1));
    double sx = 0.0, sy = 0.0, sa = 0.0;
    for (int k = lo; k <= hi; ++k) {
      sx += path[k].x;
      sy += path[k].y;
      sa += path[k].angle;
    }
    const double m = static_cast<double>(hi - lo + 1);
    smoothed[static_cast<std::size_t>(i)] = PathPoint{sx / m, sy / m, sa / m};
  }
  return true;
}

// The camera model behind the corrections. Frame k shows a scene point p of
// the reference view (coordinates from the frame centre, x right, y down) at
//   f_k(p) = R(a_k) (p - P_k),  R(a) = [[cos a, sin a], [-sin a, cos a]]:
// the content is moved by -P_k (a positive x moves it left), then turned by
// a_k about the frame centre (a positive angle turns it counter-clockwise on
// the screen): the convention of the estimator whose steps P sums. The
// stabilized frame should show it at g_k(p) = R(s_k) (p - S_k), with the
// smoothed path S. The warp shows the source content at s at the output
// position q = R(-angle) s + t (zoom 1). Solving g_k(f_k^-1(s)) = R(-angle) s + t:
//   angle = a_k - s_k,  t = R(s_k) (P_k - S_k).
// The rotation acts about the frame centre after the translation, as the
// estimator measures it: each frame's turn is taken about its own centre, so
// a long pan does not turn a small wobble of the angle into a large shift.
bool form_corrections(const PathPoint *path, const PathPoint *smoothed, int n,
                      std::vector<Correction> &corrections) {
  try {
    corrections.assign(n > 0 ? static_cast<std::size_t>(n) : 0, Correction{0.0, 0.0, 0.0});
  } catch (const std::bad_alloc &) {
    return false;
  }
  for (int k = 0; k < n; ++k) {
    const PathPoint &p = path[k];
    const PathPoint &s = smoothed[k];
    double sn = 0.0, cs = 1.0;
    ::sincos(s.angle, &sn, &cs);
    const double ex = p.x - s.x;
    const double ey = p.y - s.y;
    corrections[static_cast<std::size_t>(k)] =
        Correction{cs * ex + sn * ey, -sn * ex + cs * ey, p.angle - s.angle};
  }
  return true;
}

double choose_zoom(const Correction *corrections, int n, int width, int height, int crop_max,
                   double *crop_percent) {
  if (crop_max != 0) {
    if (crop_percent != nullptr) *crop_percent = 0.0;
    return 1.0;
  }
  const double hw = static_cast<double>(width) * 0.5;
  const double hh = static_cast<double>(height) * 0.5;
  const double corners[4][2] = {{0.0, 0.0},
                                {static_cast<double>(width), 0.0},
                                {0.0, static_cast<double>(height)},
                                {static_cast<double>(width), static_cast<double>(height)}};
  double zmin = 1.0;
  for (int k = 0; k < n; ++k) {
    const Correction &c = corrections[k];
    double sn = 0.0, cs = 1.0;
    ::sincos(c.angle, &sn, &cs);
    double ex = 1e-9, ey = 1e-9;
    for (const auto &corner : corners) {
      const double dx = corner[0] - hw - c.tx;
      const double dy = corner[1] - hh - c.ty;
      const double u = dx * cs + dy * sn;
      const double v = -dx * sn + dy * cs;
      // The turned corner taken back to the centre, as the warp rounds it.
      ex = std::max(ex, std::fabs((u + hw) - hw));
      ey = std::max(ey, std::fabs((v + hh) - hh));
    }
    const double zk = std::min({1.0, hw / ex, hh / ey});
    zmin = std::min(zmin, zk);
  }
  const double zoom = std::max(0.6, zmin);
  if (crop_percent != nullptr) *crop_percent = std::max(0.0, (1.0 - zoom) * 100.0);
  return zoom;
}

double fit_zoom(std::vector<Correction> &corrections, int width, int height, int crop_max,
                double *crop_percent) {
  const int n = static_cast<int>(corrections.size());
  double zoom = choose_zoom(corrections.data(), n, width, height, crop_max, crop_percent);
  if (zoom >= 1.0) return zoom;
  // Each round's zoom is at most the previous one (larger shifts never need
  // less crop), so the rounds converge; four are plenty in practice.
  const std::vector<Correction> measured = corrections;
  for (int round = 0; round < 4; ++round) {
    for (int k = 0; k < n; ++k) {
      corrections[k].tx = measured[k].tx / zoom;
      corrections[k].ty = measured[k].ty / zoom;
    }
    const double next = choose_zoom(corrections.data(), n, width, height, crop_max, crop_percent);
    const bool settled = std::fabs(next - zoom) < 1e-6;
    zoom = next;
    if (settled) break;
  }
  return zoom;
}
