#include "clipgen/camera_path.h"

#include <cmath>

#include "clipgen/rng.h"

namespace {

// One axis of the shake: a random walk pulled back towards 0 (so a long clip
// does not drift away) plus an independent jitter per frame.
struct ShakeAxis {
  double walk = 0.0;
  double advance(ClipRng &rng, double amplitude) {
    walk = 0.9 * walk + rng.symmetric() * amplitude * 0.5;
    double jitter = rng.symmetric() * amplitude * 0.5;
    return walk + jitter;
  }
};

}  // namespace

std::vector<CameraPose> camera_path(const ClipSpec &clip_spec) {
  std::vector<CameraPose> poses;
  int frames = clip_spec.frames > 0 ? clip_spec.frames : 0;
  poses.reserve(static_cast<std::size_t>(frames));
  ClipRng rng(clip_spec.seed);
  ShakeAxis sx, sy, sa;
  bool shaking = clip_spec.shake > 0.0;
  for (int i = 0; i < frames; ++i) {
    CameraPose pose{clip_spec.step_dx * i, clip_spec.step_dy * i, clip_spec.step_angle * i};
    if (shaking) {
      pose.x += sx.advance(rng, clip_spec.shake);
      pose.y += sy.advance(rng, clip_spec.shake);
      pose.angle += sa.advance(rng, clip_spec.shake_angle);
    }
    poses.push_back(pose);
  }
  return poses;
}

ClipMotion motion_between(const CameraPose &previous, const CameraPose &current, int frame) {
  // Frame i shows T(c_i + R(t_i) p); the same texture point in frame i-1 is
  // at q with c_{i-1} + R(t_{i-1}) q = c_i + R(t_i) p, so
  // q = R(t_i - t_{i-1}) p + R(-t_{i-1}) (c_i - c_{i-1}).
  double ex = current.x - previous.x;
  double ey = current.y - previous.y;
  double c = std::cos(previous.angle);
  double s = std::sin(previous.angle);
  return ClipMotion{frame, c * ex + s * ey, -s * ex + c * ey, current.angle - previous.angle};
}

std::vector<long long> vfr_ticks(const ClipSpec &clip_spec) {
  // Nominal slot i starts at i / fps. Each frame lands within a quarter of a
  // frame interval of its slot, and now and then a slot is skipped (a gap),
  // so the times stay strictly increasing but irregular.
  std::vector<long long> ticks;
  int frames = clip_spec.frames > 0 ? clip_spec.frames : 0;
  ticks.reserve(static_cast<std::size_t>(frames));
  ClipRng rng(clip_spec.seed ^ 0x5EEDF00DULL);
  double interval = static_cast<double>(kVfrTicksPerSecond) * clip_spec.fps_den / clip_spec.fps_num;
  long long slot = 0;
  long long last = -1;
  for (int i = 0; i < frames; ++i) {
    if (i > 0 && rng.unit() < 0.1) ++slot;
    double jitter = i > 0 ? rng.symmetric() * 0.25 * interval : 0.0;
    long long t = std::llround(static_cast<double>(slot) * interval + jitter);
    if (t <= last) t = last + 1;
    ticks.push_back(t);
    last = t;
    ++slot;
  }
  return ticks;
}

std::vector<ClipMotion> clip_motion(const ClipSpec &clip_spec) {
  std::vector<CameraPose> poses = camera_path(clip_spec);
  std::vector<ClipMotion> motion;
  motion.reserve(poses.size());
  for (std::size_t i = 0; i < poses.size(); ++i) {
    if (i == 0) {
      motion.push_back(ClipMotion{0, 0.0, 0.0, 0.0});
    } else {
      motion.push_back(motion_between(poses[i - 1], poses[i], static_cast<int>(i)));
    }
  }
  return motion;
}

std::vector<double> clip_frame_times(const ClipSpec &clip_spec) {
  std::vector<double> times;
  int frames = clip_spec.frames > 0 ? clip_spec.frames : 0;
  if (clip_spec.fps_num <= 0 || clip_spec.fps_den <= 0) return times;
  if (clip_spec.vfr) {
    for (long long t : vfr_ticks(clip_spec)) times.push_back(static_cast<double>(t) / kVfrTicksPerSecond);
  } else {
    for (int i = 0; i < frames; ++i) {
      times.push_back(static_cast<double>(i) * clip_spec.fps_den / clip_spec.fps_num);
    }
  }
  return times;
}
