// Helpers of the whole-pass benchmarks: run a measurement in a child process
// so each one's peak resident memory is its own.
#pragma once

#include <functional>
#include <string>

struct Measurement {
  bool ok = false;
  double seconds = 0.0;
  long peak_rss_kb = 0;
  int frames = 0;
};

// Runs `work` in a forked child; `work` returns the frames it processed, or a
// negative value on failure. The child's time and maximum RSS are reported.
Measurement measure_in_child(const std::function<int()> &work);

// A pass measured against its baseline: median seconds, largest peak RSS.
struct Comparison {
  bool ok = false;
  double baseline_s = 0.0, measured_s = 0.0;
  long baseline_rss_kb = 0, measured_rss_kb = 0;
  int frames = 0;  // frames of the measured pass
};

// Runs baseline and measured `repeats` times each, alternating them so load
// from elsewhere on the machine hits both alike, each in its own child.
Comparison compare_in_children(const std::function<int()> &baseline, const std::function<int()> &measured,
                               int repeats);

// Prints the two lines of a comparison, then the time ratio and the RSS
// difference against their targets.
void print_comparison(const Comparison &c, const char *baseline_name, const char *measured_name,
                      double ratio_target, double rss_target_mb);

// Decodes every frame of the first video stream of path with FFmpeg's
// automatic threading, touching nothing else; returns the frame count.
int decode_only(const std::string &path);
