// The transforms file: the absolute camera path of an analysis, one line per
// analysed frame ("F <n> <x> <y> <angle>").
#pragma once

#include <vector>

#include "base/job_error.h"
#include "motion/path_point.h"
#include "platform/files.h"

// Writes `rows` points with the header lines (width, height, frame rate).
// Returns false when the file cannot be created or written, and then leaves
// no partial file behind.
bool write_transforms_file(const char *path, const PathPoint *points, int rows, int width, int height,
                           double fps, CreateMode mode);

// Loads the point lines of a transforms file, which must be a regular file
// (it is never opened in a way that could wait on it). On failure returns
// false with the reason in error's process-wide text only ("cannot read
// transforms %s (run analyze first)", "transforms file %s is not a regular
// file", "oom", "transforms file %s is too large" beyond the 1200001 points
// an analysis can write, "transforms file %s has < 2 frames (run analyze
// first)"): the job reports its own message. A line whose numbers are not
// finite, or whose point number does not fit an int, is no point line. The
// file is read one bounded line at a time.
bool load_transforms(const char *path, std::vector<PathPoint> &points, JobError *error);
