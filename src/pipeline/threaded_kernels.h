// The warp and sharpening kernels a stabilization renders its frames with:
// the fastest single-thread versions of the kernel table, with the rows of a
// large picture split between the calling thread and the process's one
// helper thread (pipeline/row_executor.h). Rows are independent, so the bytes
// are those of the single-thread kernels.
#pragma once

#include <cstdint>

#include "dsp/warp_kernels.h"

void warp_yuv420_sse2_mt(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                         const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                         int src_stride_v, double tx, double ty, double angle, double zoom,
                         std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                         int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v);
// Only to be called where cpu_has_avx2() is true.
void warp_yuv420_avx2_mt(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                         const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                         int src_stride_v, double tx, double ty, double angle, double zoom,
                         std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                         int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v);

void unsharp_y_sse2_mt(std::uint8_t *y, int w, int h, int stride);
// Only to be called where cpu_has_avx2() is true.
void unsharp_y_avx2_mt(std::uint8_t *y, int w, int h, int stride);

// The kernels the stabilize pass calls, chosen once: the row-splitting
// versions when a second core can run the helper, else those of
// render_kernels().
const RenderKernels &frame_kernels();
