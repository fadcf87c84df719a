// The transforms file: the absolute camera path of an analysis, one line per
// analysed frame ("F <n> <x> <y> <angle>").
#pragma once

#include <vector>

#include "motion/path_point.h"

// How a writer creates its file.
enum class CreateMode {
  // Create or truncate, as for a path the caller chose.
  Replace,
  // Create a new file only: fails when anything (a file, a symbolic link)
  // stands at the path; the file is readable and writable by the user only.
  Exclusive,
  // Fill a file this process created exclusively before (a reserved
  // temporary name): it must still be there, and a symbolic link put in its
  // place is not followed.
  Reserved,
};

// Writes `rows` points with the header lines (width, height, frame rate).
// Returns false when the file cannot be created.
bool write_transforms_file(const char *path, const PathPoint *points, int rows, int width, int height,
                           double fps, CreateMode mode);

// Loads the point lines of a transforms file. On failure returns false with
// the reason in g_err ("cannot read transforms %s (run analyze first)",
// "oom", "transforms file %s has < 2 frames (run analyze first)").
bool load_transforms(const char *path, std::vector<PathPoint> &points);
