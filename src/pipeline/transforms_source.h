// Finding and loading the camera path a stabilization works from.
#pragma once

#include <vector>

#include "base/job_error.h"
#include "motion/path_point.h"

// Where a stabilization may find its transforms, in the order they are
// tried. Every text may be empty, none may be null.
struct TransformsSources {
  const char *option = "";      // the "transforms" option
  const char *registered = "";  // what the analysis registry holds for the input
  const char *settings = "";    // the "settings" option: a settings file naming the transforms
  const char *own = "";         // the job's own temporary transforms name
};

// Tries, in order: the "transforms" option; the registry's entry; the
// transforms path named in the "settings" option's file. The chosen path is
// copied into chosen (kPathSize bytes; left as it is when no source gave
// one). Returns true with at least two points loaded; false when no source
// gave a loadable path, the reason (if any) in error's process-wide text.
bool load_job_transforms(const TransformsSources &sources, std::vector<PathPoint> &path, char *chosen,
                         JobError *error);
