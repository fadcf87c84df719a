#include "mux/video_encoder.h"

#include <cstring>

#include "mux/container_rules.h"

namespace {

// The H.264 encoder: the Windows media-framework one where it exists, then
// x264, then whatever FFmpeg offers for H.264. `name` gets the last name
// looked up, for the message when none exists.
const AVCodec *find_h264_encoder(const char **name) {
  *name = "h264_mf";
  if (const AVCodec *c = avcodec_find_encoder_by_name(*name)) return c;
  *name = "libx264";
  if (const AVCodec *c = avcodec_find_encoder_by_name(*name)) return c;
  *name = avcodec_get_name(AV_CODEC_ID_H264);
  return avcodec_find_encoder(AV_CODEC_ID_H264);
}

// Creates and opens the video encoder; false with the error text set.
}  // namespace

bool open_video_encoder(OutputContext *out, const OutputVideoParams &video, const AVOutputFormat *format) {
  const char *name = nullptr;
  const AVCodec *codec = find_h264_encoder(&name);
  if (codec == nullptr) {
    out->error->fail("encoder %s not available", name);
    return false;
  }
  out->video_encoder.reset(avcodec_alloc_context3(codec));
  AVCodecContext *enc = out->video_encoder.get();
  if (enc == nullptr) {
    out->error->fail("oom");
    return false;
  }
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->width = video.width;
  enc->height = video.height;
  enc->time_base = out->timing.time_base;
  enc->framerate = out->timing.frame_rate;
  enc->gop_size = 30;
  enc->max_b_frames = 0;
  enc->bit_rate = output_bit_rate(video.container_bit_rate, video.width, video.height, video.fps);
  if (enc->codec_id == AV_CODEC_ID_H264) enc->profile = FF_PROFILE_H264_MAIN;
  // Containers that keep the parameter sets in their header need them from
  // the encoder up front (Matroska refuses the header without them).
  if (format->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // The media-framework encoder parallelises internally; the others get
  // FFmpeg's automatic threading.
  bool media_framework = std::strcmp(codec->name, "h264_mf") == 0;
  if (!media_framework) enc->thread_count = 0;

  AVDictionary *options = nullptr;
  if (std::strcmp(codec->name, "libx264") == 0) av_dict_set(&options, "preset", "fast", 0);
  av_dict_set(&options, "rc_mode", "avg", 0);
  int r = avcodec_open2(enc, codec, &options);
  av_dict_free(&options);
  if (r < 0) {
    char text[160];
    out->error->fail("encoder open: %s", av_error_text(r, text, sizeof text));
    out->video_encoder.reset();
    return false;
  }
  return true;
}
