// Path smoothing, correction forming and the crop zoom of a stabilization.
#pragma once

#include <vector>

#include "motion/path_point.h"

// A correction in the warp's convention: tx, ty output pixels, angle radians.
struct Correction {
  double tx;
  double ty;
  double angle;
};

// Radius of the averaging window for a strength: (3 * strength) / 2 + 1, at least 1.
int smoothing_radius(int strength);

// Centred moving average of the n >= 2 points of `path` (window clipped at the ends).
// Returns false when the smoothed path cannot be allocated.
bool smooth_path(const PathPoint *path, int n, int strength, std::vector<PathPoint> &smoothed);

// One correction per row, taking each frame from the raw path onto the smoothed one.
// Returns false when the table cannot be allocated.
bool form_corrections(const PathPoint *path, const PathPoint *smoothed, int n,
                      std::vector<Correction> &corrections);

// The largest zoom (0.6 .. 1) under which every warped frame covers the
// picture; 1 when crop_max is set. Writes (1 - zoom) * 100 to *crop_percent.
double choose_zoom(const Correction *corrections, int n, int width, int height, int crop_max,
                   double *crop_percent);

// Chooses the zoom and fits the corrections to it. The warp shifts the
// picture before it magnifies it, so a shift t moves the content by only
// zoom * t on the output: the translations are divided by the zoom, which in
// turn needs a smaller zoom to cover the frame; a few rounds settle it. The
// returned zoom is the one chosen for the final table (so every frame stays
// covered), and crop_percent is written as choose_zoom does.
double fit_zoom(std::vector<Correction> &corrections, int width, int height, int crop_max,
                double *crop_percent);
