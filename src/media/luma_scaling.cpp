#include "media/luma_scaling.h"

bool luma_plane_scales_alone(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_NV12:
    case AV_PIX_FMT_NV21:
      return true;
    default:
      return false;
  }
}
