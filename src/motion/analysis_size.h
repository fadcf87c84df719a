// Size of the reduced luma image the motion is measured on.
#pragma once

struct AnalysisSize {
  int width;
  int height;
};

// Scales W x H so that the short side becomes 256 (enlarging small inputs):
// each side is trunc(side * (256 / short side)), made even, at least 64.
AnalysisSize analysis_size(int width, int height);
