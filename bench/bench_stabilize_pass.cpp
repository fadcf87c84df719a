// Whole stabilization against a baseline that only decodes and re-encodes the
// same file with the same encoder, settings and threading. Each runs in its
// own child process so its peak resident memory is its own.
//
//   bench_stabilize_pass CLIP [REPEATS]
//
// Make the clip first, in its own step (scripts/bench.sh does):
//   vs_clipgen --out clip.mp4 --size 1920x1080 --frames 300 --preset fast --bitrate 8000000 --shake 8
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "media/ffmpeg_holders.h"
#include "media/input.h"
#include "media/rates.h"
#include "mux/output.h"
#include "support/bench_support.h"
#include "videostabilizer.h"

namespace {

// Decodes every frame and encodes it unchanged through the stabilization's
// own output stage.
int reencode_only(const std::string &in, const std::string &out_path) {
  AVFormatContext *raw = nullptr;
  int video = -1, audio = -1;
  JobError error;
  if (open_input(in.c_str(), &raw, &video, &audio, &error) != 0) return -1;
  InputContextPtr input(raw);
  const AVStream *st = raw->streams[video];
  const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), st->codecpar);
  decoder->thread_count = 0;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return -1;
  OutputContext out;
  if (!open_output(&out, output_video_params(raw, st, stabilize_fps(st)), out_path.c_str(), nullptr, nullptr,
                   &error)) {
    return -1;
  }
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  int frames = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      std::int64_t ts = frame->best_effort_timestamp;
      AVFrame *f = frame.get();
      f->pict_type = AV_PICTURE_TYPE_NONE;
      if (output_encode_frame(&out, f, ts)) ++frames;
      av_frame_unref(f);
    }
  };
  while (av_read_frame(raw, packet.get()) >= 0) {
    if (packet->stream_index == video) {
      avcodec_send_packet(decoder.get(), packet.get());
      drain();
    }
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(decoder.get(), nullptr);
  drain();
  output_finish(&out);
  output_close_file(&out);
  output_commit(&out);
  output_free(&out);
  return frames;
}

int stabilize_clip(const std::string &in, const std::string &out, const std::string &options) {
  const char *json = nullptr;
  if (!videostabilizer_stabilize(in.c_str(), out.c_str(), options.c_str(), &json)) {
    std::fprintf(stderr, "stabilization failed: %s\n", videostabilizer_last_error());
    return -1;
  }
  const char *frames = std::strstr(json, "\"frames\":");
  return frames ? std::atoi(frames + 9) : 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CLIP [REPEATS]\n", argv[0]);
    return 2;
  }
  std::string clip = argv[1];
  int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  // The analysis is not part of what is measured: it runs once, first.
  const char *json = nullptr;
  if (!videostabilizer_analyze(clip.c_str(), nullptr, &json)) {
    std::fprintf(stderr, "analysis failed: %s\n", videostabilizer_last_error());
    return 1;
  }
  const char *key = std::strstr(json, "\"transforms_path\":\"");
  std::string trf = key ? std::string(key + 19, std::strchr(key + 19, '"')) : "";
  std::string options = "{\"transforms\":\"" + trf + "\"}";
  std::string out = clip + ".bench_out.mp4";

  Comparison c = compare_in_children([&] { return reencode_only(clip, out); },
                                     [&] { return stabilize_clip(clip, out, options); }, repeats);
  unlink(out.c_str());
  if (!c.ok) {
    std::fprintf(stderr, "a measurement failed\n");
    return 1;
  }
  std::printf("clip %s, %d frames, median of %d runs\n", clip.c_str(), c.frames, repeats);
  print_comparison(c, "decode + re-encode", "stabilization", 1.3, 50);
  return 0;
}
