// Output encoding and muxing of a stabilization.
#include "mux/output.h"

#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
}

#include "base/ascii.h"
#include "base/text.h"
#include "media/open_file.h"
#include "platform/files.h"

void OutputFormatCloser::operator()(AVFormatContext *c) const {
  if (c->pb != nullptr && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
  avformat_free_context(c);
}

// ------------------------------------------------------------------ rules ---

const char *output_format_name(const char *path) {
  static const struct {
    const char *extension;
    const char *format;
  } kFormats[] = {
      {".mov", "mov"}, {".mkv", "matroska"}, {".webm", "webm"},
      {".m4v", "mp4"}, {".avi", "avi"},      {".ts", "mpegts"},
  };
  const char *dot = std::strrchr(path, '.');
  if (dot != nullptr)
    for (const auto &f : kFormats)
      if (ascii_iequal(dot, f.extension)) return f.format;
  return "mp4";
}

std::int64_t output_bit_rate(std::int64_t container_bit_rate, int width, int height, double fps) {
  constexpr std::int64_t kMin = 500000, kMax = 10000000;
  double base = container_bit_rate > 0
                    ? static_cast<double>(container_bit_rate)
                    : static_cast<double>(static_cast<std::int64_t>(width) * height) * fps;
  // Compared in double precision, so that no huge value passes through an
  // integer; anything that truncates to 0 or less (or is NaN) is "nothing".
  std::int64_t b;
  if (base >= static_cast<double>(kMax))
    b = kMax;
  else if (base >= 1.0)
    b = static_cast<std::int64_t>(base);
  else
    b = 4 * static_cast<std::int64_t>(width) * height;
  return b < kMin ? kMin : (b > kMax ? kMax : b);
}

AVRational rounded_frame_rate(double fps) {
  // Rates are at most 120 here; the range check only keeps llround defined.
  if (!(fps >= 0.5 && fps < 2147483647.0)) return AVRational{30, 1};
  return AVRational{static_cast<int>(std::llround(fps)), 1};
}

bool usable_frame_rate(AVRational rate) {
  return rate.num > 0 && rate.den > 0 && av_q2d(rate) <= 120.0;
}

bool input_is_variable_rate(AVRational avg_frame_rate, AVRational r_frame_rate) {
  return !(usable_frame_rate(avg_frame_rate) && usable_frame_rate(r_frame_rate) &&
           av_cmp_q(avg_frame_rate, r_frame_rate) == 0);
}

OutputVideoParams output_video_params(const AVFormatContext *input, const AVStream *video, double fps) {
  OutputVideoParams p;
  p.width = video->codecpar->width;
  p.height = video->codecpar->height;
  p.fps = fps;
  p.avg_frame_rate = video->avg_frame_rate;
  p.time_base = video->time_base;
  // Rate metadata alone cannot be trusted to reveal irregular frame times
  // (Matroska's default duration, for one, states a constant rate whatever the
  // timestamps say). Whenever the stream's time base can express times
  // between frames, its timestamps are kept: for an input that really is
  // constant-rate they give the same frame times as numbering the frames.
  bool finer_than_frames = usable_frame_rate(video->avg_frame_rate) && video->time_base.num > 0 &&
                           video->time_base.den > 0 &&
                           av_cmp_q(video->time_base, av_inv_q(video->avg_frame_rate)) < 0;
  p.variable_rate = finer_than_frames || input_is_variable_rate(video->avg_frame_rate, video->r_frame_rate);
  p.container_bit_rate = input->bit_rate;
  std::size_t size = 0;
  const std::uint8_t *matrix = av_stream_get_side_data(video, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (matrix != nullptr && size >= sizeof p.display_matrix) {
    std::memcpy(p.display_matrix, matrix, sizeof p.display_matrix);
    p.has_display_matrix = true;
  }
  return p;
}

OutputTiming choose_output_timing(const OutputVideoParams &video, bool constant_rate_only) {
  OutputTiming t;
  t.frame_rate = usable_frame_rate(video.avg_frame_rate) ? video.avg_frame_rate
                                                         : rounded_frame_rate(video.fps);
  av_reduce(&t.frame_rate.num, &t.frame_rate.den, t.frame_rate.num, t.frame_rate.den, INT32_MAX);
  AVRational frame_duration = av_inv_q(t.frame_rate);

  // The input's own time base serves only when a frame lasts at least one of
  // its ticks; a coarser one would merge neighbouring frames.
  AVRational tb = video.time_base;
  bool fine_time_base = tb.num > 0 && tb.den > 0 && av_cmp_q(tb, frame_duration) <= 0;
  if (video.variable_rate && !constant_rate_only && fine_time_base) {
    t.keep_timestamps = true;
    t.time_base = tb;
    t.frame_ticks = av_rescale_q(1, frame_duration, tb);
    if (t.frame_ticks < 1) t.frame_ticks = 1;
  } else {
    t.keep_timestamps = false;
    t.time_base = frame_duration;
    t.frame_ticks = 1;
  }
  return t;
}

void vs_rescale(AVPacket *packet, AVRational from, AVRational to) {
  if (packet->pts != AV_NOPTS_VALUE) packet->pts = av_rescale_q(packet->pts, from, to);
  if (packet->dts != AV_NOPTS_VALUE) packet->dts = av_rescale_q(packet->dts, from, to);
  packet->duration = av_rescale_q(packet->duration, from, to);
}

// ----------------------------------------------------------------- output ---

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

// Releases everything a failed open created, in the order close and free
// uses, and leaves the context as new.
void discard(OutputContext *out) {
  output_close_file(out);
  output_free(out);
}

// The failure of an open, its message already in the error texts.
bool fail_open(OutputContext *out) {
  discard(out);
  return false;
}

// Writes the packet in out->packet as a video packet. On failure sets
// encode_error (and the error text when `report`) and returns false.
bool write_video_packet(OutputContext *out, bool report) {
  AVPacket *pkt = out->packet.get();
  pkt->stream_index = 0;
  // x264 gives every packet its frame's duration; an encoder that does not
  // gets one nominal frame, so the last frame keeps its length in the file.
  if (pkt->duration <= 0) pkt->duration = out->timing.frame_ticks;
  // The muxer may have replaced the stream's time base when it wrote the
  // header: convert to the current one.
  vs_rescale(pkt, out->video_encoder->time_base, out->video_stream->time_base);
  int r = av_interleaved_write_frame(out->muxer.get(), pkt);
  av_packet_unref(pkt);
  if (r < 0) {
    if (report && out->error) out->error->note("write frame failed");
    out->encode_error = 1;
    return false;
  }
  return true;
}

// Writes every packet the encoder has ready; stops at the first failed write
// (packets still inside the encoder stay there).
void drain(OutputContext *out, bool report) {
  while (avcodec_receive_packet(out->video_encoder.get(), out->packet.get()) == 0)
    if (!write_video_packet(out, report)) return;
}

// a - b, or false when it does not fit.
bool difference(std::int64_t a, std::int64_t b, std::int64_t *d) {
  return !__builtin_sub_overflow(a, b, d);
}

// The timestamp, in encoder time-base units, of the next frame.
std::int64_t next_pts(const OutputContext *out, std::int64_t input_pts) {
  const OutputTiming &t = out->timing;
  if (!t.keep_timestamps) return out->submitted;
  std::int64_t following = out->last_pts == AV_NOPTS_VALUE ? 0 : out->last_pts + t.frame_ticks;
  std::int64_t pts;
  if (input_pts == AV_NOPTS_VALUE || out->origin == AV_NOPTS_VALUE ||
      !difference(input_pts, out->origin, &pts))
    return following;
  if (out->last_pts != AV_NOPTS_VALUE && pts <= out->last_pts) return following;
  return pts;
}

// Records that the encoder took a frame with timestamp `pts`.
void frame_taken(OutputContext *out, std::int64_t pts, std::int64_t input_pts) {
  out->last_pts = pts;
  if (input_pts == AV_NOPTS_VALUE) return;
  if (out->input_time_base.num <= 0 || out->input_time_base.den <= 0) return;
  // The mapping input -> output; it moves when a frame had to be placed
  // after its predecessor, so the frames after it keep their spacing.
  std::int64_t in_ticks = out->timing.keep_timestamps
                              ? pts
                              : av_rescale_q(pts, out->timing.time_base, out->input_time_base);
  std::int64_t origin;
  if (!difference(input_pts, in_ticks, &origin)) return;
  if (out->timing.keep_timestamps) out->origin = origin;
  if (out->start_pts == AV_NOPTS_VALUE) out->start_pts = origin;
}

}  // namespace

bool open_output(OutputContext *out, const OutputVideoParams &video, const char *path,
                 const OutputAudioHooks *audio, const JobControl *control, JobError *error,
                 bool *file_opened) {
  discard(out);
  out->error = error;
  out->control = control;
  if (audio != nullptr) out->audio_hooks = *audio;
  out->input_time_base = video.time_base;

  // The container comes first: the encoder's settings depend on it.
  const char *format_name = output_format_name(path);
  const AVOutputFormat *format = av_guess_format(format_name, path, nullptr);
  if (format == nullptr) {
    error->fail("unknown output format for %s", path);
    return fail_open(out);
  }
  // AVI stores one fixed rate per stream. Its muxer shares the absence of
  // AVFMT_VARIABLE_FPS with MP4 and MOV, which do hold any timestamps, so the
  // container is named rather than told by its flags.
  out->timing = choose_output_timing(video, std::strcmp(format_name, "avi") == 0);

  out->packet.reset(av_packet_alloc());
  if (out->packet == nullptr) {
    error->fail("oom");
    return fail_open(out);
  }
  if (!open_video_encoder(out, video, format)) return fail_open(out);

  AVFormatContext *muxer = nullptr;
  int r = avformat_alloc_output_context2(&muxer, format, format_name, path);
  out->muxer.reset(muxer);
  if (r < 0 || muxer == nullptr) {
    error->fail("cannot create output context");
    return fail_open(out);
  }

  out->video_stream = avformat_new_stream(muxer, nullptr);
  if (out->video_stream == nullptr) {
    error->fail_job("no output stream");
    return fail_open(out);
  }
  if (avcodec_parameters_from_context(out->video_stream->codecpar, out->video_encoder.get()) < 0) {
    error->fail("oom");
    return fail_open(out);
  }
  out->video_stream->time_base = out->video_encoder->time_base;
  // Without it the MP4 muxer derives the rate from the sample durations and
  // readers see something like 1800/59 for a 30 fps file.
  out->video_stream->avg_frame_rate = out->timing.frame_rate;
  if (video.has_display_matrix) {
    std::uint8_t *matrix = av_stream_new_side_data(out->video_stream, AV_PKT_DATA_DISPLAYMATRIX,
                                                   sizeof video.display_matrix);
    if (matrix != nullptr) std::memcpy(matrix, video.display_matrix, sizeof video.display_matrix);
  }

  if (out->audio_hooks.add_stream != nullptr) out->audio_hooks.add_stream(out, out->audio_hooks.arg);

  if (!(format->flags & AVFMT_NOFILE)) {
    // The path is a local file, taken literally: never a protocol URL.
    char url[kPathSize + 8];
    file_url(url, sizeof url, path);
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int opened = avio_open2(&muxer->pb, url, AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
      error->fail("cannot open output file %s", path);
      return fail_open(out);
    }
    *file_opened = true;
  }
  if (avformat_write_header(muxer, nullptr) < 0) {
    error->fail("write header failed");
    return fail_open(out);
  }
  return true;
}

bool output_encode_frame(OutputContext *out, AVFrame *frame, std::int64_t input_pts) {
  AVCodecContext *enc = out->video_encoder.get();
  std::int64_t pts = next_pts(out, input_pts);
  frame->pts = pts;
  int r = avcodec_send_frame(enc, frame);
  // An encoder that is full gives a packet first; when none comes, or its
  // write fails, the frame counts as taken.
  while (r == AVERROR(EAGAIN)) {
    if (avcodec_receive_packet(enc, out->packet.get()) != 0) break;
    if (!write_video_packet(out, true)) break;
    r = avcodec_send_frame(enc, frame);
  }
  if (r < 0 && r != AVERROR(EAGAIN)) {
    out->encode_error = 1;
    return false;
  }
  frame_taken(out, pts, input_pts);
  out->submitted += 1;
  drain(out, true);
  return true;
}

bool output_encode_last_frame(OutputContext *out, AVFrame *frame, std::int64_t input_pts) {
  std::int64_t pts = next_pts(out, input_pts);
  frame->pts = pts;
  if (avcodec_send_frame(out->video_encoder.get(), frame) < 0) {
    out->encode_error = 1;
    return false;
  }
  frame_taken(out, pts, input_pts);
  drain(out, false);
  return true;
}

void output_finish(OutputContext *out) {
  avcodec_send_frame(out->video_encoder.get(), nullptr);
  drain(out, false);
  if (out->audio_hooks.flush != nullptr) out->audio_hooks.flush(out, out->audio_hooks.arg);
  output_trailer(out);
}

void output_trailer(OutputContext *out) {
  if (out->muxer == nullptr) return;
  bool cancelled = out->control != nullptr && out->control->cancelled();
  if (av_write_trailer(out->muxer.get()) < 0 && !cancelled && out->error) out->error->note("write trailer failed");
}

void output_close_file(OutputContext *out) {
  AVFormatContext *muxer = out->muxer.get();
  if (muxer != nullptr && muxer->pb != nullptr && !(muxer->oformat->flags & AVFMT_NOFILE))
    avio_closep(&muxer->pb);
}

void output_free(OutputContext *out) {
  out->packet.reset();
  out->audio_encoder.reset();
  out->video_encoder.reset();
  out->muxer.reset();
  *out = OutputContext{};
}

std::int64_t output_size(const char *path, std::int64_t keep) {
  std::int64_t size = file_size(path);
  return size > 0 ? size : keep;
}
