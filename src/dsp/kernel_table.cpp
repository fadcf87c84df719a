// The kernel table behind warp_yuv420 and unsharp_y: filled once, on first
// use, with the fastest versions this CPU runs.
#include "dsp/warp_kernels.h"

namespace {

RenderKernels pick_kernels() {
  if (cpu_has_avx2()) return {warp_yuv420_avx2, unsharp_y_avx2, "avx2", "avx2"};
  return {warp_yuv420_sse2, unsharp_y_sse2, "sse2", "sse2"};
}

}  // namespace

const RenderKernels &render_kernels() {
  static const RenderKernels kernels = pick_kernels();
  return kernels;
}

void warp_yuv420(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                 const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                 int src_stride_v, double tx, double ty, double angle, double zoom,
                 std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                 int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  render_kernels().warp(src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v, src_stride_v,
                        tx, ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h, dst_stride_y,
                        dst_stride_u, dst_stride_v);
}

void unsharp_y(std::uint8_t *y, int w, int h, int stride) {
  render_kernels().unsharp(y, w, h, stride);
}
