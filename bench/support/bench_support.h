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

// Decodes every frame of the first video stream of path with FFmpeg's
// automatic threading, touching nothing else; returns the frame count.
int decode_only(const std::string &path);
