// Frame warp and sharpening of 8-bit planar YUV 4:2:0 pictures.
//
// Mapping of an output sample (x, y), with c = output size / 2:
//   d = (x, y) - c - (tx, ty); u = cos a * dx + sin a * dy; v = -sin a * dx + cos a * dy;
//   source = ((u + cx) - cx) * zoom + cx, ((v + cy) - cy) * zoom + cy.
// A positive tx moves the content right, ty down, angle turns it clockwise on
// the screen; a zoom below 1 enlarges it about the centre.
#pragma once

#include <cstdint>

using WarpFn = void (*)(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                        const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v,
                        int src_stride_v, double tx, double ty, double angle, double zoom,
                        std::uint8_t *dst_y, std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w,
                        int dst_h, int dst_stride_y, int dst_stride_u, int dst_stride_v);

using UnsharpFn = void (*)(std::uint8_t *y, int w, int h, int stride);

// Bilinear warp of a whole picture. A source position is inside when it lies
// within the plane's extent, 0 .. width and 0 .. height (give or take 1e-6),
// its neighbours clamped to the last sample, so an identity warp reproduces
// the picture; samples outside are black (luma 0, chroma 128). A chroma block
// samples its planes at half the luma-space position of its top-left luma
// sample. Uses the fastest kernel of this CPU.
void warp_yuv420(const std::uint8_t *src_y, int src_w, int src_h, int src_stride_y,
                 const std::uint8_t *src_u, int src_stride_u, const std::uint8_t *src_v, int src_stride_v,
                 double tx, double ty, double angle, double zoom, std::uint8_t *dst_y,
                 std::uint8_t *dst_u, std::uint8_t *dst_v, int dst_w, int dst_h, int dst_stride_y,
                 int dst_stride_u, int dst_stride_v);

// Sharpens the luma plane in place: p + 0.6 * (8p - neighbours), clamped.
void unsharp_y(std::uint8_t *y, int w, int h, int stride);
