// The facts of a video file that the probe reports.
#pragma once

#include "base/job_error.h"

struct ProbeFacts {
  double duration_s;   // the probe duration rule (media/rates.h)
  long long width;
  long long height;
  double fps;          // the probe frame rate rule
  bool has_audio;      // any stream of the file is audio
  char codec[64];      // FFmpeg's name of the video codec, "?" when it has none
  long long size_bytes;
  long long bitrate;   // the container's, else the video stream's, else 0
};

// Opens path, reads its stream information and the facts of its first video
// stream. On failure returns false with the message in error's texts:
// "open input: %s", "open input: %s is not a regular file", "no stream info
// in %s" (with the path), "no video stream".
bool read_probe_facts(const char *path, ProbeFacts *facts, JobError *error);
