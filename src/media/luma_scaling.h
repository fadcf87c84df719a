// Which decoded pictures can be reduced to analysis images by scaling their
// luma plane alone.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

// True for 8-bit limited-range YUV layouts whose first plane is the luma:
// scaling that plane as gray gives the same samples as the luma of a full
// scale to YUV 4:2:0.
bool luma_plane_scales_alone(AVPixelFormat format);
