#include "mux/video_timing.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
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
