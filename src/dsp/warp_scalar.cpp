// The warp in plain code: the reference every faster variant must match.
#include "dsp/warp_kernels.h"
#include "dsp/warp_pixel.h"

void warp_rows_scalar(const WarpJob &j, int y_begin, int y_end) {
  for (int y = y_begin; y < y_end; ++y) {
    std::uint8_t *row = j.y.dst + y * j.y.dst_stride;
    for (int x = 0; x < j.dst_w; ++x) warp_luma_pixel(j, x, y, row);
    if ((y & 1) == 0 && y / 2 < j.dst_ch) {
      const int jr = y / 2;
      std::uint8_t *urow = j.u.dst + jr * j.u.dst_stride;
      std::uint8_t *vrow = j.v.dst + jr * j.v.dst_stride;
      for (int i = 0; i < j.dst_cw; ++i) warp_chroma_pixel(j, i, jr, urow, vrow);
    }
  }
}

void warp_yuv420_scalar(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                        const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                        int src_stride_v, double tx, double ty, double angle, double zoom,
                        std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                        int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  warp_whole(warp_rows_scalar, src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v, src_stride_v, tx,
             ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h, dst_stride_y, dst_stride_u, dst_stride_v);
}
