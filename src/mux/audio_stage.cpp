// The audio stage in the frame loop and at the end of input: decoding,
// queueing, regrouping into encoder frames, encoding and writing.
#include <algorithm>

#include "mux/audio.h"
#include "mux/audio_resampler.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace {

// Writes every packet the audio encoder has ready as stream 1. A failed
// write (a full disk) leaves the output incomplete just as a failed video
// write does: it sets encode_error, with "write frame failed" in the
// process-wide text, and ends this drain.
void write_packets(OutputContext *out) {
  AVCodecContext *enc = out->audio_encoder.get();
  AVPacket *pkt = out->packet.get();
  while (avcodec_receive_packet(enc, pkt) == 0) {
    pkt->stream_index = out->audio_stream->index;
    vs_rescale(pkt, enc->time_base, out->audio_stream->time_base);
    int r = av_interleaved_write_frame(out->muxer.get(), pkt);
    av_packet_unref(pkt);
    if (r < 0) {
      out->encode_error = 1;
      if (out->error) out->error->note("write frame failed");
      return;
    }
  }
}

// Hands one frame to the encoder and writes what comes out; a refused frame
// is dropped.
void encode(OutputContext *out, AVFrame *frame) {
  AVCodecContext *enc = out->audio_encoder.get();
  int r = avcodec_send_frame(enc, frame);
  if (r == AVERROR(EAGAIN)) {
    write_packets(out);
    r = avcodec_send_frame(enc, frame);
  }
  if (r >= 0) write_packets(out);
}

// Takes `take` samples off the queue into one encoder frame of `chunk`
// samples at most and encodes it, stamped with its place on the output's
// time line.
void encode_chunk(AudioStage *audio, OutputContext *out, int take, int chunk) {
  AVCodecContext *enc = out->audio_encoder.get();
  AVAudioFifo *queue = audio->queue.get();
  AVFrame *frame = audio->chunk.get();
  av_frame_unref(frame);
  bool pad = take < chunk && audio_pad_last_frame(enc->frame_size, enc->codec->capabilities);
  frame->format = AV_SAMPLE_FMT_FLTP;
  frame->ch_layout = audio_output_layout();
  frame->sample_rate = enc->sample_rate;
  frame->nb_samples = pad ? chunk : take;
  std::int64_t pts = timeline_head_pts(audio->timeline);
  timeline_advance(&audio->timeline, take);
  if (av_frame_get_buffer(frame, 0) < 0) {
    av_audio_fifo_drain(queue, take);
    return;
  }
  int got = av_audio_fifo_read(queue, reinterpret_cast<void **>(frame->data), take);
  if (got < take) {
    // Never expected; the samples go, so the caller's loop moves on.
    if (got < 0) av_audio_fifo_drain(queue, take);
    return;
  }
  if (pad) av_samples_set_silence(frame->data, take, chunk - take, 2, AV_SAMPLE_FMT_FLTP);
  frame->pts = pts;
  encode(out, frame);
  av_frame_unref(frame);
}

// Puts `gap` samples of silence before what the queue holds.
void prepend_silence(AudioStage *audio, int gap) {
  AVAudioFifo *queue = audio->queue.get();
  int queued = av_audio_fifo_size(queue);
  std::uint8_t *planes[2];
  std::uint8_t *tail[2];
  for (int c = 0; c < 2; ++c) {
    std::vector<float> &plane = audio->converted[c];
    plane.assign(static_cast<std::size_t>(gap) + static_cast<std::size_t>(queued), 0.0f);
    planes[c] = reinterpret_cast<std::uint8_t *>(plane.data());
    tail[c] = reinterpret_cast<std::uint8_t *>(plane.data() + gap);
  }
  if (av_audio_fifo_read(queue, reinterpret_cast<void **>(tail), queued) < queued) return;
  if (av_audio_fifo_write(queue, reinterpret_cast<void **>(planes), gap + queued) < gap + queued) return;
  timeline_advance(&audio->timeline, -static_cast<std::int64_t>(gap));
}

VideoStart video_start(const AudioStage *audio, const OutputContext *out) {
  VideoStart v;
  v.output_start = out->start_pts;
  v.time_base = out->input_time_base;
  if (const AVStream *video = audio->input_video) {
    v.time_base = video->time_base;
    v.stream_start = video->start_time;
    v.guess_slack = video_start_slack(video->codecpar->video_delay, video->avg_frame_rate, video->time_base);
  }
  return v;
}

// Encodes what the queue holds in frames of the encoder's size, once the
// origin of the time line is known; at the end (`last`) also the short rest.
void encode_queued(AudioStage *audio, OutputContext *out, bool last) {
  AVAudioFifo *queue = audio->queue.get();
  AudioTimeline *t = &audio->timeline;
  bool give_up = last || av_audio_fifo_size(queue) >= kAudioWaitSeconds * t->rate;
  if (!timeline_decide_origin(t, video_start(audio, out), give_up)) return;

  std::int64_t early = std::min<std::int64_t>(timeline_samples_before_zero(*t), av_audio_fifo_size(queue));
  if (early > 0) {
    av_audio_fifo_drain(queue, static_cast<int>(early));
    timeline_advance(t, early);
  }
  if (!audio->started && av_audio_fifo_size(queue) > 0) {
    audio->started = true;
    // Audio that starts after the video, in a container that keeps no start
    // time for it: silence up to its place. Such a container also plays the
    // encoder's priming samples, which already delay the audio that much.
    std::int64_t gap = timeline_head_pts(*t) - out->audio_encoder->initial_padding;
    if (audio->fill_start && gap > 0 && gap <= std::int64_t{kAudioWaitSeconds} * t->rate)
      prepend_silence(audio, static_cast<int>(gap));
  }
  const int chunk = audio_chunk_samples(out->audio_encoder->frame_size);
  for (;;) {
    int queued = av_audio_fifo_size(queue);
    if (queued <= 0 || (queued < chunk && !last)) return;
    encode_chunk(audio, out, std::min(queued, chunk), chunk);
  }
}

// Converts and queues every frame the decoder has ready.
void take_decoded_frames(AudioStage *audio, const OutputContext *out) {
  AVFrame *frame = audio->decoded.get();
  while (avcodec_receive_frame(audio->decoder.get(), frame) == 0) {
    convert_frame(audio, frame, out->audio_encoder->sample_rate);
    av_frame_unref(frame);
  }
}

}  // namespace

void audio_packet(AudioStage *audio, OutputContext *out, const AVPacket *packet) {
  if (!out->audio_enabled || !audio->decoder) return;
  AVCodecContext *decoder = audio->decoder.get();
  int r = avcodec_send_packet(decoder, packet);
  if (r == AVERROR(EAGAIN)) {
    // Cannot happen while every frame is taken after each packet; if it
    // does, make room and try once more.
    take_decoded_frames(audio, out);
    avcodec_send_packet(decoder, packet);
  }
  take_decoded_frames(audio, out);
  encode_queued(audio, out, false);
}

void audio_flush(AudioStage *audio, OutputContext *out) {
  if (!out->audio_enabled || !audio->decoder) return;
  avcodec_send_packet(audio->decoder.get(), nullptr);
  take_decoded_frames(audio, out);
  drain_resampler(audio);
  encode_queued(audio, out, true);
  avcodec_send_frame(out->audio_encoder.get(), nullptr);
  write_packets(out);
}
