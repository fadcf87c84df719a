// The scene of a clip: a square, periodic texture of value noise over
// several scales, one 8-bit image per Y, U and V plane, seen through the
// camera with bilinear sampling.
#pragma once

#include <cstdint>
#include <vector>

#include "clipgen/camera_path.h"

struct Texture {
  int size = 0;  // a power of two; the texture repeats with this period
  std::vector<std::uint8_t> planes[3];  // Y, U, V, size * size each
};

// A texture at least min_size texels wide (and at least 256), from a seed.
Texture make_texture(int min_size, std::uint64_t seed);

// One output plane of a frame. The frame is luma_w x luma_h luma pixels;
// this plane is plane_w x plane_h samples, each covering 2^log2_sub_x by
// 2^log2_sub_y luma pixels. `scale` is the texture distance of one luma
// pixel (2 for a half-size view of the same scene).
struct PlaneTarget {
  std::uint8_t *data;
  int linesize;
  int plane_w;
  int plane_h;
  int log2_sub_x;
  int log2_sub_y;
};
void render_plane(const Texture &texture, int plane, const CameraPose &pose, double scale, int luma_w,
                  int luma_h, const PlaneTarget &target);
