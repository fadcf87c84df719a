#include "support/media_readback.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "media/ffmpeg_holders.h"

namespace {

struct Reader {
  InputContextPtr input;
  CodecContextPtr decoder;
  int video = -1;
};

bool open_reader(const std::string &path, Reader &r) {
  AVFormatContext *raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
  r.input.reset(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) return false;
  r.video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (r.video < 0) return true;
  const AVCodecParameters *par = raw->streams[r.video]->codecpar;
  const AVCodec *codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return true;
  r.decoder.reset(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(r.decoder.get(), par);
  if (avcodec_open2(r.decoder.get(), codec, nullptr) < 0) r.decoder.reset();
  return true;
}

// Decodes every frame of the first video stream, calling on_frame for each.
template <typename OnFrame>
void decode_all(Reader &r, int *errors, int *audio_packets, OnFrame on_frame) {
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  auto drain = [&] {
    int rc;
    while ((rc = avcodec_receive_frame(r.decoder.get(), frame.get())) == 0) {
      if (frame->decode_error_flags) ++*errors;
      on_frame(frame.get());
      av_frame_unref(frame.get());
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) ++*errors;
  };
  while (av_read_frame(r.input.get(), packet.get()) >= 0) {
    if (packet->stream_index == r.video) {
      if (avcodec_send_packet(r.decoder.get(), packet.get()) < 0) ++*errors;
      drain();
    } else if (r.input->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      ++*audio_packets;
    }
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(r.decoder.get(), nullptr);
  drain();
}

// Index of the first sample of channel 0 whose magnitude reaches `level` of
// full scale, or -1.
int first_loud_sample(const AVFrame *f, double level) {
  AVSampleFormat format = static_cast<AVSampleFormat>(f->format);
  int step = av_sample_fmt_is_planar(format) ? 1 : f->ch_layout.nb_channels;
  const std::uint8_t *base = f->extended_data[0];
  for (int i = 0; i < f->nb_samples; ++i) {
    int k = i * step;
    double v = 0.0;
    switch (av_get_packed_sample_fmt(format)) {
      case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<const float *>(base)[k]; break;
      case AV_SAMPLE_FMT_DBL: v = reinterpret_cast<const double *>(base)[k]; break;
      case AV_SAMPLE_FMT_S16: v = reinterpret_cast<const std::int16_t *>(base)[k] / 32768.0; break;
      case AV_SAMPLE_FMT_S32: v = reinterpret_cast<const std::int32_t *>(base)[k] / 2147483648.0; break;
      case AV_SAMPLE_FMT_U8: v = (base[k] - 128) / 128.0; break;
      default: return -1;
    }
    if (std::fabs(v) >= level) return i;
  }
  return -1;
}

}  // namespace

VideoReadback read_video(const std::string &path) {
  VideoReadback out;
  Reader r;
  if (!open_reader(path, r)) return out;
  out.opened = true;
  out.streams = static_cast<int>(r.input->nb_streams);
  for (unsigned i = 0; i < r.input->nb_streams; ++i) {
    AVMediaType type = r.input->streams[i]->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO) ++out.video_streams;
    if (type == AVMEDIA_TYPE_AUDIO) ++out.audio_streams;
  }
  if (r.video < 0 || !r.decoder) return out;
  const AVStream *st = r.input->streams[r.video];
  out.width = st->codecpar->width;
  out.height = st->codecpar->height;
  out.codec = avcodec_get_name(st->codecpar->codec_id);
  if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0) out.avg_fps = av_q2d(st->avg_frame_rate);
  double tb = av_q2d(st->time_base);
  decode_all(r, &out.decode_errors, &out.audio_packets, [&](const AVFrame *f) {
    ++out.frames;
    out.times.push_back(f->best_effort_timestamp == AV_NOPTS_VALUE ? NAN : f->best_effort_timestamp * tb);
  });
  return out;
}

AudioReadback read_audio(const std::string &path, double sound_level) {
  AudioReadback out;
  out.first_packet_time = out.first_frame_time = out.video_start = out.first_sound_time = NAN;
  AVFormatContext *raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return out;
  InputContextPtr input(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) return out;
  out.opened = true;
  out.streams = static_cast<int>(raw->nb_streams);
  int video = -1;
  for (unsigned i = 0; i < raw->nb_streams; ++i) {
    AVMediaType type = raw->streams[i]->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO && video < 0) video = static_cast<int>(i);
    if (type == AVMEDIA_TYPE_AUDIO && out.audio_index < 0) out.audio_index = static_cast<int>(i);
  }
  if (out.audio_index < 0) return out;
  const AVStream *st = raw->streams[out.audio_index];
  out.codec = avcodec_get_name(st->codecpar->codec_id);
  out.sample_rate = st->codecpar->sample_rate;
  out.channels = st->codecpar->ch_layout.nb_channels;
  const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) return out;
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), st->codecpar);
  decoder->pkt_timebase = st->time_base;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return out;

  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  double tb = av_q2d(st->time_base);
  auto drain = [&] {
    int rc;
    while ((rc = avcodec_receive_frame(decoder.get(), frame.get())) == 0) {
      if (frame->decode_error_flags) ++out.decode_errors;
      if (std::isnan(out.first_frame_time) && frame->best_effort_timestamp != AV_NOPTS_VALUE)
        out.first_frame_time = frame->best_effort_timestamp * tb;
      if (std::isnan(out.first_sound_time) && !std::isnan(out.first_frame_time)) {
        int loud = first_loud_sample(frame.get(), sound_level);
        if (loud >= 0) out.first_sound_time = out.first_frame_time + static_cast<double>(out.samples + loud) / frame->sample_rate;
      }
      out.samples += frame->nb_samples;
      av_frame_unref(frame.get());
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) ++out.decode_errors;
  };
  while (av_read_frame(raw, packet.get()) >= 0) {
    if (packet->stream_index == out.audio_index) {
      ++out.packets;
      if (std::isnan(out.first_packet_time) && packet->pts != AV_NOPTS_VALUE) out.first_packet_time = packet->pts * tb;
      if (avcodec_send_packet(decoder.get(), packet.get()) < 0) ++out.decode_errors;
      drain();
    } else if (packet->stream_index == video && (packet->pts != AV_NOPTS_VALUE || packet->dts != AV_NOPTS_VALUE)) {
      // AVI stores decode times only.
      std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      double t = ts * av_q2d(raw->streams[video]->time_base);
      if (std::isnan(out.video_start) || t < out.video_start) out.video_start = t;
    }
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(decoder.get(), nullptr);
  drain();
  return out;
}

std::vector<std::vector<unsigned char>> read_luma_frames(const std::string &path, int *width, int *height) {
  std::vector<std::vector<unsigned char>> frames;
  Reader r;
  if (!open_reader(path, r) || r.video < 0 || !r.decoder) return frames;
  int errors = 0, audio = 0;
  decode_all(r, &errors, &audio, [&](const AVFrame *f) {
    *width = f->width;
    *height = f->height;
    std::vector<unsigned char> luma(static_cast<std::size_t>(f->width) * f->height);
    for (int y = 0; y < f->height; ++y) {
      std::memcpy(luma.data() + static_cast<std::size_t>(y) * f->width, f->data[0] + y * f->linesize[0],
                  f->width);
    }
    frames.push_back(std::move(luma));
  });
  return frames;
}

double luma_psnr(const std::vector<std::vector<unsigned char>> &a,
                 const std::vector<std::vector<unsigned char>> &b) {
  double sum = 0.0;
  double count = 0.0;
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t m = std::min(a[i].size(), b[i].size());
    for (std::size_t k = 0; k < m; ++k) {
      double d = static_cast<double>(a[i][k]) - b[i][k];
      sum += d * d;
    }
    count += static_cast<double>(m);
  }
  if (count == 0.0) return 0.0;
  if (sum == 0.0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 / (sum / count));
}
