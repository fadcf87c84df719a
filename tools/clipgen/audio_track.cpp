#include <cmath>
#include <numbers>

#include "clipgen/tracks.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace {

// Frames of this many samples for encoders that take any frame size (PCM).
constexpr int kFreeFrameSamples = 1024;

bool takes_rate(const AVCodec *codec, int rate) {
  if (codec->supported_samplerates == nullptr) return true;
  for (const int *r = codec->supported_samplerates; *r != 0; ++r) {
    if (*r == rate) return true;
  }
  return false;
}

// Sample n of channel ch: a sine per channel, each a quarter-step higher so
// channels can be told apart.
double tone_sample(const AudioTrack &track, int rate, int ch, long long n) {
  double hz = track.tone_hz * (1.0 + 0.25 * ch);
  double phase = std::fmod(static_cast<double>(n) * hz / rate, 1.0);
  return 0.25 * std::sin(2.0 * std::numbers::pi * phase);
}

void store_sample(AVFrame *frame, int ch, int i, double value) {
  AVSampleFormat format = static_cast<AVSampleFormat>(frame->format);
  int channels = frame->ch_layout.nb_channels;
  bool planar = av_sample_fmt_is_planar(format);
  std::uint8_t *base = planar ? frame->extended_data[ch] : frame->extended_data[0];
  int index = planar ? i : i * channels + ch;
  switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT:
      reinterpret_cast<float *>(base)[index] = static_cast<float>(value);
      break;
    case AV_SAMPLE_FMT_DBL:
      reinterpret_cast<double *>(base)[index] = value;
      break;
    case AV_SAMPLE_FMT_S16:
      reinterpret_cast<std::int16_t *>(base)[index] = static_cast<std::int16_t>(std::lrint(value * 32767.0));
      break;
    case AV_SAMPLE_FMT_S32:
      reinterpret_cast<std::int32_t *>(base)[index] = static_cast<std::int32_t>(std::lrint(value * 2147483647.0));
      break;
    case AV_SAMPLE_FMT_U8:
      base[index] = static_cast<std::uint8_t>(std::lrint(128.0 + value * 127.0));
      break;
    default:
      break;
  }
}

}  // namespace

std::string audio_encoder_name(const std::string &audio_codec) {
  const char *candidates[2] = {audio_codec.c_str(), nullptr};
  if (audio_codec == "mp3") candidates[0] = "libmp3lame";
  if (audio_codec == "opus") candidates[0] = "libopus", candidates[1] = "opus";
  if (audio_codec == "pcm") candidates[0] = "pcm_s16le";
  for (const char *name : candidates) {
    if (name && avcodec_find_encoder_by_name(name)) return name;
  }
  return {};
}

bool add_audio_track(const ClipSpec &clip_spec, AVFormatContext *output, double duration_s, AudioTrack *track,
                     std::string *error) {
  std::string name = audio_encoder_name(clip_spec.audio_codec);
  const AVCodec *codec = name.empty() ? nullptr : avcodec_find_encoder_by_name(name.c_str());
  if (codec == nullptr || codec->type != AVMEDIA_TYPE_AUDIO) {
    *error = "no audio encoder for " + clip_spec.audio_codec;
    return false;
  }
  if (codec->sample_fmts == nullptr) {
    *error = name + " names no sample format";
    return false;
  }
  if (clip_spec.audio_rate <= 0 || !takes_rate(codec, clip_spec.audio_rate)) {
    *error = name + " cannot encode at " + std::to_string(clip_spec.audio_rate) + " Hz";
    return false;
  }
  track->stream = avformat_new_stream(output, nullptr);
  track->encoder.reset(avcodec_alloc_context3(codec));
  track->frame.reset(av_frame_alloc());
  if (track->stream == nullptr || !track->encoder || !track->frame) {
    *error = "oom";
    return false;
  }
  AVCodecContext *enc = track->encoder.get();
  if (av_channel_layout_from_string(&enc->ch_layout, clip_spec.audio_layout.c_str()) < 0) {
    *error = "unknown channel layout " + clip_spec.audio_layout;
    return false;
  }
  enc->sample_fmt = codec->sample_fmts[0];
  enc->sample_rate = clip_spec.audio_rate;
  enc->time_base = AVRational{1, clip_spec.audio_rate};
  enc->thread_count = 1;
  enc->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
  enc->flags |= AV_CODEC_FLAG_BITEXACT;
  if (output->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int rc = avcodec_open2(enc, codec, nullptr);
  if (rc < 0) {
    *error = av_failure(("open " + name).c_str(), rc);
    return false;
  }
  track->stream->time_base = enc->time_base;
  rc = avcodec_parameters_from_context(track->stream->codecpar, enc);
  if (rc < 0) {
    *error = av_failure("stream parameters", rc);
    return false;
  }
  bool free_size = enc->frame_size <= 0 || (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  track->frame_samples = free_size ? kFreeFrameSamples : enc->frame_size;
  track->total_samples = std::llround(duration_s * clip_spec.audio_rate);
  track->pts_offset = clip_spec.audio_delay > 0.0 ? std::llround(clip_spec.audio_delay * clip_spec.audio_rate) : 0;
  track->tone_hz = clip_spec.tone_hz;
  return true;
}

bool write_audio_until(AudioTrack &track, long long until, AVFormatContext *output, AVPacket *packet,
                       std::string *error) {
  AVCodecContext *enc = track.encoder.get();
  long long end = until < track.total_samples ? until : track.total_samples;
  while (track.next_sample < end) {
    long long left = track.total_samples - track.next_sample;
    int count = left < track.frame_samples ? static_cast<int>(left) : track.frame_samples;
    AVFrame *frame = track.frame.get();
    av_frame_unref(frame);
    frame->nb_samples = count;
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    int rc = av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    if (rc >= 0) rc = av_frame_get_buffer(frame, 0);
    if (rc < 0) {
      *error = av_failure("audio frame", rc);
      return false;
    }
    for (int i = 0; i < count; ++i) {
      for (int ch = 0; ch < enc->ch_layout.nb_channels; ++ch) {
        store_sample(frame, ch, i, tone_sample(track, enc->sample_rate, ch, track.next_sample + i));
      }
    }
    frame->pts = track.pts_offset + track.next_sample;
    track.next_sample += count;
    if (!encode_and_write(enc, frame, track.stream, output, packet, error)) return false;
  }
  return true;
}
