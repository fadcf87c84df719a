// The camera poses of a clip, frame by frame.
#pragma once

#include <vector>

#include "clipgen/clipgen.h"

struct CameraPose {
  double x;      // texture point seen at the frame centre
  double y;
  double angle;  // camera turn, radians
};

// Poses of every frame, relative to a start at (0, 0, 0) before the shake.
std::vector<CameraPose> camera_path(const ClipSpec &clip_spec);

// Motion from frame i-1 to frame i as the estimator would measure it
// (see clipgen.h): q = R(angle) p + (dx, dy).
ClipMotion motion_between(const CameraPose &previous, const CameraPose &current, int frame);

// Frame times in ticks of 1/kVfrTicksPerSecond for a vfr clip.
inline constexpr int kVfrTicksPerSecond = 60000;
std::vector<long long> vfr_ticks(const ClipSpec &clip_spec);
