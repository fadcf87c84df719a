// Where the re-encoded audio lies on the output's time line, and how its
// samples are grouped into encoder frames.
//
// The output starts at 0: the input timestamp of the first encoded video
// frame (OutputContext::start_pts) is subtracted from every timestamp, audio
// included. The converted samples are taken as one contiguous run: the input
// time of the first of them (from the first decoded frame that carries a
// timestamp) places all of them, and each encoder frame's pts is its first
// sample's position on the output time line, counted in samples (the
// encoder's time base is 1 / sample rate). Samples that would lie before
// output time 0 are dropped.
//
// Audio packets may come before the first video frame has been decoded (an
// audio-first file, a decoder that holds frames back), so the converted
// samples wait in a queue until the origin is known:
//   1. Once the first video frame is encoded, the output's own start
//      (OutputContext::start_pts). That is the decoded frame's best-effort
//      timestamp, which is only a guess where the container stores decode
//      times alone (AVI): with B-frames it comes out late by up to the
//      decoder's reorder depth. So when the video stream's start_time lies
//      before the output's start by no more than that depth (plus half a
//      frame), start_time is the origin; a start much later than start_time
//      means the first frames could not be decoded, and the output's start
//      stands.
//   2. When the audio cannot wait any longer (kAudioWaitSeconds of samples
//      queued, or the end of the input): the video stream's start_time.
//   3. Failing both, the audio's own start: the audio begins at output 0.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

// Seconds of converted audio that may wait for the first video frame before
// the origin is taken from the stream's start time instead.
inline constexpr int kAudioWaitSeconds = 5;

struct AudioTimeline {
  int rate = 0;                          // encoder samples per second
  std::int64_t head = AV_NOPTS_VALUE;    // input time of the next queued sample, 1/rate units
  std::int64_t origin = AV_NOPTS_VALUE;  // input time of output 0, 1/rate units
};

// A decoded frame whose first sample lies at input time `frame_time` (1/rate
// units, AV_NOPTS_VALUE when it has no timestamp) is about to join `queued`
// samples that are already waiting. The first timestamp seen places the
// whole run: the head becomes frame_time - queued. Later timestamps change
// nothing.
void timeline_place(AudioTimeline *t, std::int64_t frame_time, std::int64_t queued);

// Where the output's video starts, as far as it is known.
struct VideoStart {
  std::int64_t output_start = AV_NOPTS_VALUE;  // OutputContext::start_pts
  std::int64_t stream_start = AV_NOPTS_VALUE;  // the input video stream's start_time
  std::int64_t guess_slack = 0;                // how late output_start may be guessed
  AVRational time_base{0, 1};                  // of all three
};

// How late a best-effort timestamp of the first frame may come out: the
// reorder depth `video_delay` in frames plus half a frame, in `time_base`
// units; 0 when the frame rate is unknown.
std::int64_t video_start_slack(int video_delay, AVRational avg_frame_rate, AVRational time_base);

// Decides the origin when it can be known (see the top of this file);
// `give_up` says the audio cannot wait any longer. Returns true once the
// origin is decided; from then on the head is known too (an audio run
// without any timestamp starts at the origin).
bool timeline_decide_origin(AudioTimeline *t, const VideoStart &video, bool give_up);

// Queued samples at the head that lie before output time 0 (0 when none);
// the origin must be decided.
std::int64_t timeline_samples_before_zero(const AudioTimeline &t);

// Output timestamp (1/rate units) of the sample at the head; the origin must
// be decided.
std::int64_t timeline_head_pts(const AudioTimeline &t);

// `n` samples left the head of the queue (dropped or encoded).
void timeline_advance(AudioTimeline *t, std::int64_t n);

// Samples per encoder frame: the encoder's frame_size, or 1024 for an
// encoder that names none (one that takes frames of any size).
int audio_chunk_samples(int frame_size);

// True when a short last frame must be filled up with silence to the full
// frame size: an encoder with a fixed frame size that takes neither frames
// of any size (AV_CODEC_CAP_VARIABLE_FRAME_SIZE) nor a short last one
// (AV_CODEC_CAP_SMALL_LAST_FRAME).
bool audio_pad_last_frame(int frame_size, int capabilities);

// Room for the converted samples of one decoded frame: nb_samples x out_rate
// / in_rate (64-bit, truncated) plus 8, and at least `resampler_bound` (what
// the resampler says it may give, held-back samples included). 0 when
// in_rate is not positive.
int audio_convert_capacity(int nb_samples, int in_rate, int out_rate, int resampler_bound);
