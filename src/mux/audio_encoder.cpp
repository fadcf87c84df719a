// The AAC encoder and the output's audio stream; the stage's hand-over
// from the pass and the hooks of the output.
#include <cstdlib>
#include <cstring>

#include "mux/audio.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace {

// The encoder runs at the input's rate (44100 when the input names none),
// so the resampler normally changes only the layout and the sample format.
// A rate AAC cannot run at (37800 Hz, say) would cost the output its audio:
// the nearest rate the encoder takes is used instead, and the resampler
// converts to it.
int encoder_rate(const AVStream *input, const AVCodec *codec) {
  int rate = input->codecpar->sample_rate > 0 ? input->codecpar->sample_rate : 44100;
  const int *rates = codec->supported_samplerates;
  if (rates == nullptr) return rate;
  int best = 0;
  for (; *rates; ++rates) {
    if (*rates == rate) return rate;
    if (best == 0 || std::abs(*rates - rate) < std::abs(best - rate)) best = *rates;
  }
  return best > 0 ? best : rate;
}

// Called by open_output between the video stream and the file. Every failure
// here means "no audio": nothing is reported and the output gets video only.
void add_audio_stream(OutputContext *out, void *arg) {
  AudioStage *audio = static_cast<AudioStage *>(arg);
  if (audio->input == nullptr) return;
  const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (codec == nullptr) return;
  CodecContextPtr enc(avcodec_alloc_context3(codec));
  if (!enc) return;
  enc->codec_id = AV_CODEC_ID_AAC;
  enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
  enc->ch_layout = audio_output_layout();
  enc->sample_rate = encoder_rate(audio->input, codec);
  enc->time_base = AVRational{1, enc->sample_rate};
  enc->bit_rate = 128000;
  // MP4, MOV and Matroska keep the AAC configuration in the stream header;
  // without the flag the encoder would leave it out.
  AVFormatContext *muxer = out->muxer.get();
  if (muxer->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(enc.get(), codec, nullptr) < 0) return;

  AVStream *stream = avformat_new_stream(muxer, nullptr);
  if (stream == nullptr) return;
  avcodec_parameters_from_context(stream->codecpar, enc.get());
  stream->time_base = enc->time_base;
  out->audio_stream = stream;
  out->audio_encoder = std::move(enc);
  out->audio_enabled = 1;
  audio->timeline.rate = out->audio_encoder->sample_rate;
  audio->fill_start = std::strcmp(muxer->oformat->name, "avi") == 0;
}

void flush_audio(OutputContext *out, void *arg) { audio_flush(static_cast<AudioStage *>(arg), out); }

}  // namespace

void audio_stage_prepare(AudioStage *audio, const AVFormatContext *input, int audio_index, int video_index,
                         int keep_audio) {
  audio->input = nullptr;
  audio->input_video = nullptr;
  if (video_index >= 0 && static_cast<unsigned>(video_index) < input->nb_streams)
    audio->input_video = input->streams[video_index];
  if (keep_audio == 0 || audio_index < 0 || static_cast<unsigned>(audio_index) >= input->nb_streams) return;
  audio->input = input->streams[audio_index];
}

OutputAudioHooks audio_output_hooks(AudioStage *audio) {
  OutputAudioHooks hooks{};
  hooks.add_stream = add_audio_stream;
  hooks.flush = flush_audio;
  hooks.arg = audio;
  return hooks;
}
