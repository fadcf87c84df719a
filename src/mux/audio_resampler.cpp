#include "mux/audio_resampler.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace {

// *dst = *src, or FFmpeg's default layout for the channel count when *src
// names channels without an order (a resampler cannot mix those).
int normalized_layout(AVChannelLayout *dst, const AVChannelLayout *src) {
  if (src->order == AV_CHANNEL_ORDER_UNSPEC && src->nb_channels > 0) {
    av_channel_layout_uninit(dst);
    av_channel_layout_default(dst, src->nb_channels);
    return 0;
  }
  return av_channel_layout_copy(dst, src);
}

// Room for `samples` converted samples per channel; the two plane pointers.
void make_room(AudioStage *audio, int samples, std::uint8_t *planes[2]) {
  for (int c = 0; c < 2; ++c) {
    std::vector<float> &plane = audio->converted[c];
    if (plane.size() < static_cast<std::size_t>(samples)) plane.resize(static_cast<std::size_t>(samples));
    planes[c] = reinterpret_cast<std::uint8_t *>(plane.data());
  }
}

void queue_samples(AudioStage *audio, std::uint8_t *planes[2], int n) {
  // A queue that cannot grow drops the samples; the audio goes on.
  av_audio_fifo_write(audio->queue.get(), reinterpret_cast<void **>(planes), n);
}

struct LayoutHolder {
  AVChannelLayout layout{};
  ~LayoutHolder() { av_channel_layout_uninit(&layout); }
};

}  // namespace

ResamplerSetup configure_resampler(AudioStage *audio, const AVChannelLayout *layout, int format, int rate,
                                   int out_rate) {
  audio->resampler_ready = false;
  LayoutHolder in;
  if (normalized_layout(&in.layout, layout) < 0) return ResamplerSetup::kNoContext;
  AVChannelLayout stereo = audio_output_layout();
  SwrContext *raw = audio->resampler.release();
  // On failure FFmpeg frees the context and leaves raw null.
  int r = swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_FLTP, out_rate, &in.layout,
                              static_cast<AVSampleFormat>(format), rate, 0, nullptr);
  audio->resampler.reset(raw);
  if (r < 0 || raw == nullptr) return ResamplerSetup::kNoContext;
  if (swr_init(raw) < 0) return ResamplerSetup::kInitFailed;
  av_channel_layout_uninit(&audio->in_layout);
  audio->in_layout = in.layout;
  in.layout = AVChannelLayout{};
  audio->in_format = format;
  audio->in_rate = rate;
  audio->resampler_ready = true;
  return ResamplerSetup::kReady;
}

void convert_frame(AudioStage *audio, const AVFrame *frame, int out_rate) {
  if (frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0 || frame->nb_samples <= 0) return;
  LayoutHolder layout;
  if (normalized_layout(&layout.layout, &frame->ch_layout) < 0) return;
  bool same = audio->resampler_ready && frame->format == audio->in_format &&
              frame->sample_rate == audio->in_rate && av_channel_layout_compare(&layout.layout, &audio->in_layout) == 0;
  if (!same) {
    // The stream changed its format on the way (or a reconfiguration failed
    // before): what the old set-up still holds goes out first.
    drain_resampler(audio);
    if (configure_resampler(audio, &layout.layout, frame->format, frame->sample_rate, out_rate) !=
        ResamplerSetup::kReady)
      return;
  }
  SwrContext *swr = audio->resampler.get();
  int capacity =
      audio_convert_capacity(frame->nb_samples, frame->sample_rate, out_rate, swr_get_out_samples(swr, frame->nb_samples));
  if (capacity <= 0) return;
  std::uint8_t *planes[2];
  make_room(audio, capacity, planes);

  // The first timestamp places the whole run of samples: this frame's first
  // sample follows everything queued so far and what the resampler holds.
  std::int64_t ts = frame->best_effort_timestamp;
  std::int64_t frame_time =
      ts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : av_rescale_q(ts, audio->input->time_base, AVRational{1, out_rate});
  std::int64_t held = swr_get_delay(swr, out_rate);
  timeline_place(&audio->timeline, frame_time, av_audio_fifo_size(audio->queue.get()) + (held > 0 ? held : 0));

  int n = swr_convert(swr, planes, capacity, const_cast<const std::uint8_t **>(frame->extended_data),
                      frame->nb_samples);
  if (n > 0) queue_samples(audio, planes, n);
}

void drain_resampler(AudioStage *audio) {
  if (!audio->resampler_ready || !audio->queue) return;
  SwrContext *swr = audio->resampler.get();
  // Each call gives what fits; a few rounds empty even a large delay line.
  for (int round = 0; round < 16; ++round) {
    int capacity = swr_get_out_samples(swr, 0);
    if (capacity <= 0) return;
    capacity += 32;
    std::uint8_t *planes[2];
    make_room(audio, capacity, planes);
    int n = swr_convert(swr, planes, capacity, nullptr, 0);
    if (n <= 0) return;
    queue_samples(audio, planes, n);
  }
}
