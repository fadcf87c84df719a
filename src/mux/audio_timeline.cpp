#include "mux/audio_timeline.h"

#include <algorithm>

extern "C" {
#include <libavcodec/codec.h>
#include <libavutil/mathematics.h>
}

namespace {

// a - b, saturated to the 64-bit range (timestamps of damaged files can be
// anything).
std::int64_t saturating_sub(std::int64_t a, std::int64_t b) {
  std::int64_t d;
  if (!__builtin_sub_overflow(a, b, &d)) return d;
  return b < 0 ? INT64_MAX : INT64_MIN + 1;
}

std::int64_t to_samples(std::int64_t ts, AVRational time_base, int rate) {
  return av_rescale_q(ts, time_base, AVRational{1, rate});
}

bool usable(AVRational tb) { return tb.num > 0 && tb.den > 0; }

}  // namespace

void timeline_place(AudioTimeline *t, std::int64_t frame_time, std::int64_t queued) {
  if (t->head != AV_NOPTS_VALUE || frame_time == AV_NOPTS_VALUE) return;
  std::int64_t head = saturating_sub(frame_time, queued);
  t->head = head == AV_NOPTS_VALUE ? head + 1 : head;
}

std::int64_t video_start_slack(int video_delay, AVRational avg_frame_rate, AVRational time_base) {
  if (!usable(avg_frame_rate) || !usable(time_base) || video_delay < 0 || video_delay > 64) return 0;
  // (delay + 1/2) frames = (2 delay + 1) / (2 rate)
  AVRational slack = av_mul_q(AVRational{2 * video_delay + 1, 2}, av_inv_q(avg_frame_rate));
  return av_rescale_q(1, slack, time_base);
}

namespace {

// The input video time that output 0 stands for, or AV_NOPTS_VALUE to wait.
std::int64_t video_origin(const VideoStart &v, bool give_up) {
  if (v.output_start != AV_NOPTS_VALUE) {
    std::int64_t late;
    if (v.stream_start != AV_NOPTS_VALUE && !__builtin_sub_overflow(v.output_start, v.stream_start, &late) &&
        late > 0 && late <= v.guess_slack)
      return v.stream_start;
    return v.output_start;
  }
  return give_up ? v.stream_start : AV_NOPTS_VALUE;
}

}  // namespace

bool timeline_decide_origin(AudioTimeline *t, const VideoStart &video, bool give_up) {
  if (t->origin != AV_NOPTS_VALUE) return true;
  std::int64_t start = video_origin(video, give_up);
  if (start == AV_NOPTS_VALUE && !give_up) return false;
  std::int64_t origin = AV_NOPTS_VALUE;
  if (start != AV_NOPTS_VALUE && usable(video.time_base) && t->rate > 0)
    origin = to_samples(start, video.time_base, t->rate);
  if (origin == AV_NOPTS_VALUE) origin = t->head != AV_NOPTS_VALUE ? t->head : 0;
  t->origin = origin;
  if (t->head == AV_NOPTS_VALUE) t->head = origin;
  return true;
}

std::int64_t timeline_samples_before_zero(const AudioTimeline &t) {
  return std::max<std::int64_t>(0, saturating_sub(t.origin, t.head));
}

std::int64_t timeline_head_pts(const AudioTimeline &t) { return saturating_sub(t.head, t.origin); }

void timeline_advance(AudioTimeline *t, std::int64_t n) {
  std::int64_t head;
  if (!__builtin_add_overflow(t->head, n, &head)) t->head = head;
}

int audio_chunk_samples(int frame_size) { return frame_size > 0 ? frame_size : 1024; }

bool audio_pad_last_frame(int frame_size, int capabilities) {
  return frame_size > 0 && !(capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
         !(capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
}

int audio_convert_capacity(int nb_samples, int in_rate, int out_rate, int resampler_bound) {
  // No single decoded frame comes anywhere near this; a larger demand is a
  // broken frame, and skipping it beats allocating gigabytes.
  constexpr std::int64_t kMaxSamples = 1 << 22;
  if (in_rate <= 0 || nb_samples <= 0 || out_rate <= 0) return 0;
  std::int64_t capacity = static_cast<std::int64_t>(nb_samples) * out_rate / in_rate + 8;
  capacity = std::max<std::int64_t>(capacity, resampler_bound);
  return capacity > kMaxSamples ? 0 : static_cast<int>(capacity);
}
