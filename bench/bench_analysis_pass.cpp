// Whole analysis pass against decoding alone, on the same file with the same
// decoder settings. Each runs in its own child process so its peak resident
// memory is its own.
//
//   bench_analysis_pass CLIP [REPEATS]
//
// Make the clip first, in its own step (scripts/bench.sh does):
//   vs_clipgen --out clip.mp4 --size 1920x1080 --frames 300 --preset fast --bitrate 8000000 --shake 8
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/bench_support.h"
#include "videostabilizer.h"

namespace {

int analyze_clip(const std::string &path) {
  const char *json = nullptr;
  if (!videostabilizer_analyze(path.c_str(), nullptr, &json)) {
    std::fprintf(stderr, "analysis failed: %s\n", videostabilizer_last_error());
    return -1;
  }
  std::string report = json;
  const char *frames = std::strstr(report.c_str(), "\"frames\":");
  return frames ? std::atoi(frames + 9) : 0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CLIP [REPEATS]\n", argv[0]);
    return 2;
  }
  std::string clip = argv[1];
  int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::vector<double> decode_s, analyze_s;
  long decode_rss = 0, analyze_rss = 0;
  int frames = 0;
  // Alternate the two so load from elsewhere on the machine hits both alike.
  for (int i = 0; i < repeats; ++i) {
    Measurement d = measure_in_child([&] { return decode_only(clip); });
    Measurement a = measure_in_child([&] { return analyze_clip(clip); });
    if (!d.ok || !a.ok) {
      std::fprintf(stderr, "a measurement failed\n");
      return 1;
    }
    decode_s.push_back(d.seconds);
    analyze_s.push_back(a.seconds);
    decode_rss = std::max(decode_rss, d.peak_rss_kb);
    analyze_rss = std::max(analyze_rss, a.peak_rss_kb);
    frames = a.frames;
  }
  double d = median(decode_s), a = median(analyze_s);
  std::printf("clip %s, %d frames, median of %d runs\n", clip.c_str(), frames, repeats);
  std::printf("decode only : %7.3f s  %7.1f fps  peak RSS %6.1f MB\n", d, frames / d, decode_rss / 1024.0);
  std::printf("analysis    : %7.3f s  %7.1f fps  peak RSS %6.1f MB\n", a, frames / a, analyze_rss / 1024.0);
  std::printf("time ratio analysis / decode : %.3f (target <= 1.3)\n", a / d);
  std::printf("peak RSS difference          : %+.1f MB (target <= +30 MB)\n", (analyze_rss - decode_rss) / 1024.0);
  return 0;
}
