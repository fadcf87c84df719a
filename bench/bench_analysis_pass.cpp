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

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CLIP [REPEATS]\n", argv[0]);
    return 2;
  }
  std::string clip = argv[1];
  int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  Comparison c = compare_in_children([&] { return decode_only(clip); }, [&] { return analyze_clip(clip); }, repeats);
  if (!c.ok) {
    std::fprintf(stderr, "a measurement failed\n");
    return 1;
  }
  std::printf("clip %s, %d frames, median of %d runs\n", clip.c_str(), c.frames, repeats);
  print_comparison(c, "decode only", "analysis", 1.3, 30);
  return 0;
}
