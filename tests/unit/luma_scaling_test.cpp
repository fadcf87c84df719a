// Reducing a picture to an analysis image by scaling its luma plane alone
// gives exactly the luma of the full scale to YUV 4:2:0.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "media/ffmpeg_holders.h"
#include "media/luma_scaling.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

FramePtr random_picture(AVPixelFormat format, int w, int h, unsigned seed) {
  FramePtr f(av_frame_alloc());
  f->format = format;
  f->width = w;
  f->height = h;
  EXPECT_EQ(av_frame_get_buffer(f.get(), 0), 0);
  std::mt19937 rng(seed);
  for (int p = 0; p < 4 && f->buf[p]; ++p) {
    for (std::size_t i = 0; i < f->buf[p]->size; ++i) f->buf[p]->data[i] = static_cast<std::uint8_t>(rng());
  }
  return f;
}

std::vector<std::uint8_t> scaled_luma(const AVFrame *src, AVPixelFormat from, AVPixelFormat to, int w, int h) {
  SwsContextPtr sws(sws_getContext(src->width, src->height, from, w, h, to, SWS_BILINEAR, nullptr, nullptr, nullptr));
  FramePtr dst(av_frame_alloc());
  dst->format = to;
  dst->width = w;
  dst->height = h;
  EXPECT_EQ(av_frame_get_buffer(dst.get(), 0), 0);
  sws_scale(sws.get(), src->data, src->linesize, 0, src->height, dst->data, dst->linesize);
  std::vector<std::uint8_t> luma;
  for (int y = 0; y < h; ++y) luma.insert(luma.end(), dst->data[0] + y * dst->linesize[0], dst->data[0] + y * dst->linesize[0] + w);
  return luma;
}

}  // namespace

TEST(LumaScaling, GrayPlaneScaleEqualsTheLumaOfTheFullScale) {
  struct Case {
    AVPixelFormat format;
    int w, h, aw, ah;
  } cases[] = {{AV_PIX_FMT_YUV420P, 1920, 1080, 454, 256}, {AV_PIX_FMT_YUV420P, 160, 120, 340, 256},
               {AV_PIX_FMT_YUV422P, 640, 480, 340, 256},   {AV_PIX_FMT_YUV444P, 720, 576, 320, 256},
               {AV_PIX_FMT_NV12, 1280, 720, 454, 256},     {AV_PIX_FMT_NV21, 174, 98, 454, 254}};
  unsigned seed = 1;
  for (const Case &c : cases) {
    ASSERT_TRUE(luma_plane_scales_alone(c.format));
    FramePtr src = random_picture(c.format, c.w, c.h, seed++);
    std::vector<std::uint8_t> full = scaled_luma(src.get(), c.format, AV_PIX_FMT_YUV420P, c.aw, c.ah);
    std::vector<std::uint8_t> gray = scaled_luma(src.get(), AV_PIX_FMT_GRAY8, AV_PIX_FMT_GRAY8, c.aw, c.ah);
    EXPECT_EQ(full, gray) << av_get_pix_fmt_name(c.format) << " " << c.w << "x" << c.h;
  }
}

TEST(LumaScaling, FullRangeAndOtherLayoutsTakeTheFullScale) {
  for (AVPixelFormat f : {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_RGB24, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_PAL8,
                          AV_PIX_FMT_GRAY8}) {
    EXPECT_FALSE(luma_plane_scales_alone(f)) << av_get_pix_fmt_name(f);
  }
}
