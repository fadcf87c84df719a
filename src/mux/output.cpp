// Output encoding and muxing of a stabilization.
#include "mux/output.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

extern "C" {
#include <libavutil/mathematics.h>
}

#include "base/text.h"
#include "mux/container_rules.h"
#include "mux/video_encoder.h"
#include "platform/files.h"

void OutputFormatCloser::operator()(AVFormatContext *c) const {
  // The I/O context of the output file belongs to OutputFile.
  if (c->flags & AVFMT_FLAG_CUSTOM_IO)
    c->pb = nullptr;
  else if (c->pb != nullptr && !(c->oformat->flags & AVFMT_NOFILE))
    avio_closep(&c->pb);
  avformat_free_context(c);
}

namespace {

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
                 const OutputAudioHooks *audio, const JobControl *control, JobError *error) {
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
    // The path is a local file, taken literally: never a protocol URL. The
    // muxer writes a new file beside it, which replaces the path only when
    // the job has succeeded.
    out->file.reset(new (std::nothrow) OutputFile);
    if (out->file == nullptr || !out->file->create(path)) {
      error->fail("cannot open output file %s", path);
      return fail_open(out);
    }
    muxer->pb = out->file->io();
    muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
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

bool output_finish(OutputContext *out) {
  avcodec_send_frame(out->video_encoder.get(), nullptr);
  drain(out, false);
  if (out->audio_hooks.flush != nullptr) out->audio_hooks.flush(out, out->audio_hooks.arg);
  return output_trailer(out);
}

bool output_trailer(OutputContext *out) {
  if (out->muxer == nullptr) return false;
  if (av_write_trailer(out->muxer.get()) >= 0) return true;
  bool cancelled = out->control != nullptr && out->control->cancelled();
  if (!cancelled && out->error) out->error->note("write trailer failed");
  return false;
}

bool output_close_file(OutputContext *out) { return out->file == nullptr || out->file->close(); }

bool output_commit(OutputContext *out) { return out->file == nullptr || out->file->commit(); }

void output_free(OutputContext *out) {
  out->packet.reset();
  out->audio_encoder.reset();
  out->video_encoder.reset();
  out->muxer.reset();
  *out = OutputContext{};  // the file goes too, removed unless committed
}

std::int64_t output_size(const char *path, std::int64_t keep) {
  std::int64_t size = file_size(path);
  return size > 0 ? size : keep;
}
