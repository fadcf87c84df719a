#include "support/bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

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

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

Comparison compare_in_children(const std::function<int()> &baseline, const std::function<int()> &measured,
                               int repeats) {
  Comparison c;
  std::vector<double> base_s, measured_s;
  for (int i = 0; i < repeats; ++i) {
    Measurement b = measure_in_child(baseline);
    Measurement m = measure_in_child(measured);
    if (!b.ok || !m.ok) return c;
    base_s.push_back(b.seconds);
    measured_s.push_back(m.seconds);
    c.baseline_rss_kb = std::max(c.baseline_rss_kb, b.peak_rss_kb);
    c.measured_rss_kb = std::max(c.measured_rss_kb, m.peak_rss_kb);
    c.frames = m.frames;
  }
  if (base_s.empty()) return c;
  c.baseline_s = median(base_s);
  c.measured_s = median(measured_s);
  c.ok = true;
  return c;
}

void print_comparison(const Comparison &c, const char *baseline_name, const char *measured_name,
                      double ratio_target, double rss_target_mb) {
  std::printf("%-20s: %7.3f s  %6.1f fps  peak RSS %6.1f MB\n", baseline_name, c.baseline_s,
              c.frames / c.baseline_s, c.baseline_rss_kb / 1024.0);
  std::printf("%-20s: %7.3f s  %6.1f fps  peak RSS %6.1f MB\n", measured_name, c.measured_s,
              c.frames / c.measured_s, c.measured_rss_kb / 1024.0);
  std::printf("time ratio          : %.3f (target <= %.1f)\n", c.measured_s / c.baseline_s, ratio_target);
  std::printf("peak RSS difference : %+.1f MB (target <= +%.0f MB)\n",
              (c.measured_rss_kb - c.baseline_rss_kb) / 1024.0, rss_target_mb);
}
