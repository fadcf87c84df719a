#include <cstring>

#include "clipgen/tracks.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

constexpr AVRational kVfrTimeBase{1, kVfrTicksPerSecond};

// Planar 8-bit YUV (or gray) frames are rendered plane by plane directly;
// everything else is rendered as yuv444p and converted.
bool renders_directly(AVPixelFormat format) {
  const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BE |
                                         AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM))) {
    return false;
  }
  if (desc->nb_components != 1 && desc->nb_components != 3) return false;
  if (desc->nb_components == 3 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
  for (int i = 0; i < desc->nb_components; ++i) {
    if (desc->comp[i].depth != 8 || desc->comp[i].plane != i || desc->comp[i].step != 1 ||
        desc->comp[i].shift != 0) {
      return false;
    }
  }
  return true;
}

bool takes_format(const AVCodec *codec, AVPixelFormat format) {
  if (codec->pix_fmts == nullptr) return true;
  for (const AVPixelFormat *p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
    if (*p == format) return true;
  }
  return false;
}

// Width and height are whole multiples of the chroma subsampling.
bool fits_subsampling(AVPixelFormat format, int width, int height) {
  const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr || desc->nb_components < 3 || (desc->flags & AV_PIX_FMT_FLAG_RGB)) return true;
  return width % (1 << desc->log2_chroma_w) == 0 && height % (1 << desc->log2_chroma_h) == 0;
}

bool is_x264(const char *name) { return std::strncmp(name, "libx264", 7) == 0; }

void fill_plane(std::uint8_t *data, int linesize, int w, int h, std::uint8_t value) {
  for (int y = 0; y < h; ++y) std::memset(data + static_cast<std::ptrdiff_t>(y) * linesize, value, w);
}

// Renders (or fills with black) a planar 8-bit YUV or gray frame.
void draw_planes(AVFrame *frame, const Texture &texture, const CameraPose &pose, double scale, bool black) {
  const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  for (int plane = 0; plane < desc->nb_components; ++plane) {
    int sub_x = plane == 0 ? 0 : desc->log2_chroma_w;
    int sub_y = plane == 0 ? 0 : desc->log2_chroma_h;
    int pw = -((-frame->width) >> sub_x);
    int ph = -((-frame->height) >> sub_y);
    if (black) {
      fill_plane(frame->data[plane], frame->linesize[plane], pw, ph, plane == 0 ? 16 : 128);
    } else {
      PlaneTarget target{frame->data[plane], frame->linesize[plane], pw, ph, sub_x, sub_y};
      render_plane(texture, plane, pose, scale, frame->width, frame->height, target);
    }
  }
}

ClipFramePtr picture(AVPixelFormat format, int width, int height, std::string *error) {
  ClipFramePtr frame(av_frame_alloc());
  if (!frame) {
    *error = "oom";
    return nullptr;
  }
  frame->format = format;
  frame->width = width;
  frame->height = height;
  int rc = av_frame_get_buffer(frame.get(), 0);
  if (rc < 0) {
    *error = av_failure("frame buffer", rc);
    return nullptr;
  }
  return frame;
}

}  // namespace

std::string video_encoder_name(const std::string &video_codec, const std::string &pix_fmt) {
  std::string name = video_codec;
  if (video_codec == "h264" || video_codec == "h264-nob") {
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(av_get_pix_fmt(pix_fmt.c_str()));
    name = desc && (desc->flags & AV_PIX_FMT_FLAG_RGB) ? "libx264rgb" : "libx264";
  }
  return avcodec_find_encoder_by_name(name.c_str()) ? name : std::string();
}

bool add_video_track(const ClipSpec &clip_spec, AVFormatContext *output, int width, int height, double scale,
                     VideoTrack *track, std::string *error) {
  std::string name = video_encoder_name(clip_spec.video_codec, clip_spec.pix_fmt);
  const AVCodec *codec = name.empty() ? nullptr : avcodec_find_encoder_by_name(name.c_str());
  if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO) {
    *error = "no video encoder for " + clip_spec.video_codec;
    return false;
  }
  AVPixelFormat format = av_get_pix_fmt(clip_spec.pix_fmt.c_str());
  if (format == AV_PIX_FMT_NONE) {
    *error = "unknown pixel format " + clip_spec.pix_fmt;
    return false;
  }
  if (!takes_format(codec, format)) {
    *error = name + " cannot encode " + clip_spec.pix_fmt;
    return false;
  }

  if (is_x264(name.c_str()) && !fits_subsampling(format, width, height)) {
    // x264 refuses such sizes itself, but FFmpeg 5.1 then leaks the
    // encoder's settings; refusing here keeps sanitizer runs clean.
    *error = name + " cannot encode " + std::to_string(width) + "x" + std::to_string(height) + " in " +
             clip_spec.pix_fmt + " (chroma needs whole samples)";
    return false;
  }

  track->width = width;
  track->height = height;
  track->scale = scale;
  track->stream = avformat_new_stream(output, nullptr);
  track->encoder.reset(avcodec_alloc_context3(codec));
  if (track->stream == nullptr || !track->encoder) {
    *error = "oom";
    return false;
  }
  AVCodecContext *enc = track->encoder.get();
  AVRational fps{clip_spec.fps_num, clip_spec.fps_den};
  enc->width = width;
  enc->height = height;
  enc->pix_fmt = format;
  enc->framerate = fps;
  enc->time_base = clip_spec.vfr ? kVfrTimeBase : av_inv_q(fps);
  enc->thread_count = clip_spec.threads;
  enc->flags |= AV_CODEC_FLAG_BITEXACT;
  if (output->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (clip_spec.bitrate > 0) enc->bit_rate = clip_spec.bitrate;
  if (clip_spec.video_codec == "h264") enc->max_b_frames = 2;
  if (clip_spec.video_codec == "h264-nob") enc->max_b_frames = 0;
  if (name == "mpeg4" && clip_spec.bitrate <= 0) {
    // A fixed quantiser keeps the texture sharp at any size.
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = FF_QP2LAMBDA * 3;
  }

  AVDictionary *options = nullptr;
  if (is_x264(name.c_str()) && !clip_spec.preset.empty()) av_dict_set(&options, "preset", clip_spec.preset.c_str(), 0);
  int rc = avcodec_open2(enc, codec, &options);
  av_dict_free(&options);
  if (rc < 0) {
    *error = av_failure(("open " + name).c_str(), rc);
    return false;
  }
  track->stream->time_base = enc->time_base;
  // The nominal rate, also for irregular frame times (as a camera would
  // declare it); without it mkv readers see the 1/1000 time base as the rate.
  track->stream->avg_frame_rate = fps;
  rc = avcodec_parameters_from_context(track->stream->codecpar, enc);
  if (rc < 0) {
    *error = av_failure("stream parameters", rc);
    return false;
  }

  track->frame = picture(format, width, height, error);
  if (!track->frame) return false;
  if (!renders_directly(format)) {
    track->canvas = picture(AV_PIX_FMT_YUV444P, width, height, error);
    if (!track->canvas) return false;
    track->sws.reset(sws_getContext(width, height, AV_PIX_FMT_YUV444P, width, height, format,
                                    SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr));
    if (!track->sws) {
      *error = "no conversion to " + clip_spec.pix_fmt;
      return false;
    }
  }
  return true;
}

bool write_video_frame(VideoTrack &track, const Texture &texture, const CameraPose &pose, bool black,
                       long long pts, AVFormatContext *output, AVPacket *packet, std::string *error) {
  AVFrame *frame = track.frame.get();
  int rc = av_frame_make_writable(frame);
  if (rc < 0) {
    *error = av_failure("frame buffer", rc);
    return false;
  }
  if (track.canvas) {
    AVFrame *canvas = track.canvas.get();
    draw_planes(canvas, texture, pose, track.scale, black);
    sws_scale(track.sws.get(), canvas->data, canvas->linesize, 0, track.height, frame->data, frame->linesize);
  } else {
    draw_planes(frame, texture, pose, track.scale, black);
  }
  frame->pts = pts;
  return encode_and_write(track.encoder.get(), frame, track.stream, output, packet, error);
}
