// Finding and loading the camera path a stabilization works from.
#pragma once

#include <vector>

#include "motion/path_point.h"

struct Session;

// Tries, in order: the "transforms" option; the registry entry of the input;
// the transforms path named in the "settings" option's file. The chosen path
// is stored in s->trf_path. Returns true with at least two points loaded;
// false when no source gave a loadable path (the reason, if any, in g_err).
bool load_job_transforms(Session *s, std::vector<PathPoint> &path);
