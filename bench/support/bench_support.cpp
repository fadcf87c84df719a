#include "support/bench_support.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "media/ffmpeg_holders.h"

Measurement measure_in_child(const std::function<int()> &work) {
  Measurement m;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return m;
  pid_t child = fork();
  if (child < 0) return m;
  if (child == 0) {
    close(pipe_fds[0]);
    auto start = std::chrono::steady_clock::now();
    int frames = work();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char line[64];
    int len = std::snprintf(line, sizeof line, "%d %.6f", frames, seconds);
    if (write(pipe_fds[1], line, static_cast<std::size_t>(len)) < 0) _exit(2);
    _exit(frames < 0 ? 1 : 0);
  }
  close(pipe_fds[1]);
  char line[64] = {0};
  ssize_t got = read(pipe_fds[0], line, sizeof line - 1);
  close(pipe_fds[0]);
  int status = 0;
  struct rusage usage;
  std::memset(&usage, 0, sizeof usage);
  wait4(child, &status, 0, &usage);
  if (got > 0 && std::sscanf(line, "%d %lf", &m.frames, &m.seconds) == 2) {
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  m.peak_rss_kb = usage.ru_maxrss;
  return m;
}

int decode_only(const std::string &path) {
  AVFormatContext *raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return -1;
  InputContextPtr input(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) return -1;
  int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) return -1;
  const AVCodecParameters *par = raw->streams[video]->codecpar;
  const AVCodec *codec = avcodec_find_decoder(par->codec_id);
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), par);
  decoder->thread_count = 0;  // the passes' decoder settings
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return -1;
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  int frames = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      ++frames;
      av_frame_unref(frame.get());
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
  return frames;
}
