// The warp and sharpening kernels with the rows of a large picture split
// between the calling thread and the shared helper thread. Rows are
// independent (each output sample depends only on the source), so the bytes
// are those of the single-threaded kernel.
#include "pipeline/threaded_kernels.h"

#include <cstdlib>

#include "pipeline/row_executor.h"
#include "platform/cpu.h"

namespace {

// Below this many output samples a frame is done on the calling thread: the
// hand-over would cost more than the helper saves.
constexpr long long kSplitMinSamples = 256 * 256;
// Chunks of whole row pairs, so each chroma row stays with its luma rows.
constexpr int kChunkRows = 16;

struct WarpTask {
  const WarpJob *job;
  WarpRowsFn rows;
};

void warp_task_rows(const void *arg, int begin, int end) {
  const auto *t = static_cast<const WarpTask *>(arg);
  t->rows(*t->job, begin, end);
}

void warp_split(WarpRowsFn rows, const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                int src_stride_v, double tx, double ty, double angle, double zoom,
                std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w, int dst_h,
                int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  if (static_cast<long long>(dst_w) * dst_h < kSplitMinSamples) {
    warp_whole(rows, src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v, src_stride_v, tx, ty,
               angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h, dst_stride_y, dst_stride_u, dst_stride_v);
    return;
  }
  const WarpJob j = warp_job(src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v,
                             src_stride_v, tx, ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h,
                             dst_stride_y, dst_stride_u, dst_stride_v);
  const WarpTask task{&j, rows};
  run_rows_split(warp_task_rows, &task, j.dst_h, kChunkRows);
}

struct SharpenTask {
  std::uint8_t *plane;
  int w, h, stride;
  std::uint8_t *out;
  UnsharpRowsFn rows;
};

void sharpen_task_rows(const void *arg, int begin, int end) {
  const auto *t = static_cast<const SharpenTask *>(arg);
  t->rows(t->plane, t->w, t->h, t->stride, t->out, begin, end);
}

void copy_task_rows(const void *arg, int begin, int end) {
  const auto *t = static_cast<const SharpenTask *>(arg);
  unsharp_copy_back(t->plane, t->w, t->stride, t->out, begin, end);
}

void unsharp_split(UnsharpRowsFn rows, std::uint8_t *plane, int w, int h, int stride) {
  if (static_cast<long long>(w) * h < kSplitMinSamples) {
    unsharp_whole(rows, plane, w, h, stride);
    return;
  }
  auto *out = static_cast<std::uint8_t *>(
      std::malloc(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)));
  if (out == nullptr) return;
  const SharpenTask task{plane, w, h, stride, out, rows};
  // Every row must be computed from the untouched plane before any is
  // written back: two passes.
  run_rows_split(sharpen_task_rows, &task, h, 32);
  run_rows_split(copy_task_rows, &task, h, 64);
  std::free(out);
}

}  // namespace

void warp_yuv420_sse2_mt(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                         const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                         int src_stride_v, double tx, double ty, double angle, double zoom,
                         std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                         int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  warp_split(warp_rows_sse2, src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v,
             src_stride_v, tx, ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h, dst_stride_y,
             dst_stride_u, dst_stride_v);
}

void warp_yuv420_avx2_mt(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                         const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                         int src_stride_v, double tx, double ty, double angle, double zoom,
                         std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                         int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v) {
  warp_split(warp_rows_avx2, src_y, src_w, src_h, src_stride_y, src_u, src_stride_u, src_v,
             src_stride_v, tx, ty, angle, zoom, dst_y, dst_u, dst_v, dst_w, dst_h, dst_stride_y,
             dst_stride_u, dst_stride_v);
}

void unsharp_y_sse2_mt(std::uint8_t *y, int w, int h, int stride) {
  unsharp_split(unsharp_rows_sse2, y, w, h, stride);
}

void unsharp_y_avx2_mt(std::uint8_t *y, int w, int h, int stride) {
  unsharp_split(unsharp_rows_avx2, y, w, h, stride);
}

namespace {

RenderKernels pick_frame_kernels() {
  // Splitting rows pays only with a second core to run the helper on.
  if (cpu_count() < 2) return render_kernels();
  if (cpu_has_avx2()) return {warp_yuv420_avx2_mt, unsharp_y_avx2_mt, "avx2_mt", "avx2_mt"};
  return {warp_yuv420_sse2_mt, unsharp_y_sse2_mt, "sse2_mt", "sse2_mt"};
}

}  // namespace

const RenderKernels &frame_kernels() {
  static const RenderKernels kernels = pick_frame_kernels();
  return kernels;
}
