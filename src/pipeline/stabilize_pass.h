// The stabilize pass: loads the camera path of an earlier analysis, smooths
// it, and renders every decoded frame of the input through the warp into an
// H.264 output (with the input's audio re-encoded as AAC when asked).
#pragma once

#include <cstdint>

#include "base/job_control.h"
#include "base/job_error.h"
#include "base/text.h"
#include "pipeline/pass_outcome.h"
#include "pipeline/transforms_source.h"
#include "platform/clock.h"

struct StabilizeRequest {
  const char *input_path = "";
  const char *output_path = "";
  int strength = 5;
  int crop_max = 0;
  int sharpen = 1;
  int keep_audio = 1;
  TransformsSources transforms;  // where the camera path may come from
  PerfStamp start{};             // when the job started: elapsed_ms counts from here
};

struct StabilizeResult {
  PassOutcome outcome = PassOutcome::Failed;
  // The transforms file the pass chose from its options, the registry or a
  // named settings file; empty when none of those gave one.
  char trf_path[kPathSize] = {};
  double crop_percent = 0.0;     // set once the zoom is chosen
  int frames = 0;                // set once the trailer is written
  double duration_s = 0.0;       // with frames
  std::int64_t size_bytes = 0;   // of a done job
  std::int64_t elapsed_ms = 0;   // of a done job
  JobError error;
};

// Runs the whole pass on the calling thread: frames_total and pass 1 before
// the frame loop, frames_done and percent after every encoded frame, the
// cancel request polled after every packet. Never throws.
StabilizeResult run_stabilize(const StabilizeRequest &request, const JobControl &control);
