// Internal view of the warp and sharpening kernels: every version by name, so
// tests and benchmarks can compare them, and the table the public functions
// dispatch through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/warp.h"
#include "platform/cpu.h"

// All variants take the arguments of warp_yuv420 / unsharp_y and produce the
// same bytes; they differ only in speed.
void warp_yuv420_scalar(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                        const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                        int src_stride_v, double tx, double ty, double angle, double zoom,
                        std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                        int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v);
void warp_yuv420_sse2(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                      const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                      int src_stride_v, double tx, double ty, double angle, double zoom,
                      std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                      int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v);
// Only to be called where cpu_has_avx2() is true.
void warp_yuv420_avx2(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                      const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                      int src_stride_v, double tx, double ty, double angle, double zoom,
                      std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                      int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v);

void unsharp_y_scalar(std::uint8_t *y, int w, int h, int stride);
void unsharp_y_sse2(std::uint8_t *y, int w, int h, int stride);
// Only to be called where cpu_has_avx2() is true.
void unsharp_y_avx2(std::uint8_t *y, int w, int h, int stride);

// Sharpened rows [begin, end) of the plane into the packed w x h picture out.
void unsharp_rows_scalar(const std::uint8_t *plane, int w, int h, int stride, std::uint8_t *out,
                         int begin, int end);
void unsharp_rows_sse2(const std::uint8_t *plane, int w, int h, int stride, std::uint8_t *out,
                       int begin, int end);
void unsharp_rows_avx2(const std::uint8_t *plane, int w, int h, int stride, std::uint8_t *out,
                       int begin, int end);
// Rows [begin, end) of out back into the plane.
void unsharp_copy_back(std::uint8_t *plane, int w, int stride, const std::uint8_t *out, int begin,
                       int end);

using UnsharpRowsFn = void (*)(const std::uint8_t *, int, int, int, std::uint8_t *, int, int);

// A whole sharpening on the calling thread with one variant's rows: every
// sample goes to a scratch picture first, since each reads the plane as it
// was at entry; then the picture is copied back. Nothing happens when the
// scratch picture cannot be allocated.
void unsharp_whole(UnsharpRowsFn rows, std::uint8_t *plane, int w, int h, int stride);

// The kernels warp_yuv420 and unsharp_y call, chosen once for this CPU: the
// fastest version it runs, on the calling thread alone. (Splitting a frame's
// rows between threads is the pipeline's business.)
struct RenderKernels {
  WarpFn warp;
  UnsharpFn unsharp;
  const char *warp_name;
  const char *unsharp_name;
};
const RenderKernels &render_kernels();

// ---------------------------------------------------------------------------
// What every warp variant shares: the per-call constants (computed once, by
// one piece of code, so all variants start from the same bits) and the
// per-sample rules for the pixels a vector loop leaves to plain code.

// A sample position counts as inside the source when it lies within the
// plane's extent, 0 .. width and 0 .. height, give or take this rounding
// margin. Positions between the last sample and the far edge read the last
// sample (neighbours are clamped), so an identity warp reproduces the whole
// picture and a zoom that just covers the frame leaves no black line.
constexpr double kInsideMargin = 1e-6;

struct WarpPlane {
  const std::uint8_t *src;
  std::ptrdiff_t src_stride;
  int w, h;           // source plane size
  double lo;          // -kInsideMargin
  double hi_x, hi_y;  // w + kInsideMargin, h + kInsideMargin
  std::uint8_t *dst;
  std::ptrdiff_t dst_stride;
  std::uint8_t fill;  // value of samples outside the source
};

struct WarpJob {
  double tx, ty, zoom;
  double sn, cs;  // sin and cos of the angle
  double cx, cy;  // output centre
  int dst_w, dst_h;
  int dst_cw, dst_ch;  // output chroma plane size
  WarpPlane y, u, v;
};

WarpJob warp_job(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                 const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                 int src_stride_v, double tx, double ty, double angle, double zoom,
                 std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                 int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v);

using WarpRowsFn = void (*)(const WarpJob &, int, int);

// A whole warp on the calling thread with one variant's rows.
void warp_whole(WarpRowsFn rows, const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                int src_stride_v, double tx, double ty, double angle, double zoom,
                std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w, int dst_h,
                int dst_stride_y, int dst_stride_u, int dst_stride_v);

// Output luma rows [y_begin, y_end) and the chroma rows of the even luma rows
// among them.
void warp_rows_scalar(const WarpJob &job, int y_begin, int y_end);
void warp_rows_sse2(const WarpJob &job, int y_begin, int y_end);
void warp_rows_avx2(const WarpJob &job, int y_begin, int y_end);
