// Per-call constants of the warp, computed once for all variants.
#include <cmath>

#include "dsp/warp_kernels.h"

namespace {

WarpPlane plane(const std::uint8_t *src, int w, int h, int src_stride, std::uint8_t *dst,
                int dst_stride, std::uint8_t fill) {
  WarpPlane p{};
  p.src = src;
  p.src_stride = src_stride;
  p.w = w;
  p.h = h;
  if (w > 0 && h > 0 && src != nullptr) {
    p.lo = -kInsideMargin;
    p.hi_x = static_cast<double>(w) + kInsideMargin;
    p.hi_y = static_cast<double>(h) + kInsideMargin;
  } else {
    // An empty source plane: no position is inside (lo above hi).
    p.lo = 1.0;
    p.hi_x = 0.0;
    p.hi_y = 0.0;
  }
  p.dst = dst;
  p.dst_stride = dst_stride;
  p.fill = fill;
  return p;
}

}  // namespace

WarpJob warp_job(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                 const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                 int src_stride_v, double tx, double ty, double angle, double zoom,
                 std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                 int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  WarpJob j{};
  j.tx = tx;
  j.ty = ty;
  j.zoom = zoom;
  // One combined sine-and-cosine evaluation per frame.
  double sn = 0.0, cs = 1.0;
  ::sincos(angle, &sn, &cs);
  j.sn = sn;
  j.cs = cs;
  j.dst_w = dst_w > 0 ? dst_w : 0;
  j.dst_h = dst_h > 0 ? dst_h : 0;
  j.cx = static_cast<double>(dst_w) * 0.5;
  j.cy = static_cast<double>(dst_h) * 0.5;
  j.dst_cw = j.dst_w / 2;
  j.dst_ch = j.dst_h / 2;
  j.y = plane(src_y, src_w, src_h, src_stride_y, dst_y, dst_stride_y, 0);
  j.u = plane(src_u, src_w / 2, src_h / 2, src_stride_u, dst_u, dst_stride_u, 128);
  j.v = plane(src_v, src_w / 2, src_h / 2, src_stride_v, dst_v, dst_stride_v, 128);
  return j;
}

void warp_whole(WarpRowsFn rows, const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                int src_stride_v, double tx, double ty, double angle, double zoom,
                std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w, int dst_h,
                int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  const WarpJob j = warp_job(src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v,
                             src_stride_v, tx, ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h,
                             dst_stride_y, dst_stride_u, dst_stride_v);
  rows(j, 0, j.dst_h);
}
