// The audio decoder, the resampler and the sample queue of the audio stage.
#include "mux/audio.h"
#include "mux/audio_resampler.h"

const char *audio_open_decoder(AudioStage *audio, const OutputContext *out) {
  if (!out->audio_enabled || audio->input == nullptr) return nullptr;
  const AVCodecParameters *par = audio->input->codecpar;
  const AVCodec *codec = avcodec_find_decoder(par->codec_id);
  // No decoder: the stream stays in the output, empty; the job goes on.
  if (codec == nullptr) return nullptr;

  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  if (!decoder) return "oom";
  if (avcodec_parameters_to_context(decoder.get(), par) < 0) return "oom";
  // Frame timestamps in the stream's time base place the audio on the
  // output's time line.
  decoder->pkt_timebase = audio->input->time_base;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return "adec open failed";
  audio->decoder = std::move(decoder);

  // The input side as the stream describes it; the decoder's layout (which
  // the open has settled) over the container's.
  const AVChannelLayout *layout =
      audio->decoder->ch_layout.nb_channels > 0 ? &audio->decoder->ch_layout : &par->ch_layout;
  int format = par->format >= 0 ? par->format : AV_SAMPLE_FMT_S16P;
  int rate = par->sample_rate > 0 ? par->sample_rate : 44100;
  switch (configure_resampler(audio, layout, format, rate, out->audio_encoder->sample_rate)) {
    case ResamplerSetup::kReady:
      break;
    case ResamplerSetup::kNoContext:
      return "oom";
    case ResamplerSetup::kInitFailed:
      return "swr init failed";
  }

  audio->queue.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, audio_chunk_samples(out->audio_encoder->frame_size)));
  audio->decoded.reset(av_frame_alloc());
  audio->chunk.reset(av_frame_alloc());
  if (!audio->queue || !audio->decoded || !audio->chunk) return "oom";
  return nullptr;
}

AudioStage::~AudioStage() {
  audio_release(this);
  av_channel_layout_uninit(&in_layout);
}

void audio_release(AudioStage *audio) {
  audio->decoder.reset();
  audio->resampler.reset();
  audio->resampler_ready = false;
  audio->queue.reset();
  audio->decoded.reset();
  audio->chunk.reset();
}
