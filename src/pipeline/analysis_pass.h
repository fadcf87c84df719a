// The analysis pass: decodes a video, measures the camera motion between
// consecutive frames, and writes the camera path to a transforms file plus a
// settings file that names it.
#pragma once

#include <cstdint>

#include "base/job_control.h"
#include "base/job_error.h"
#include "pipeline/pass_outcome.h"
#include "platform/clock.h"
#include "platform/files.h"

struct AnalysisRequest {
  const char *input_path = "";
  const char *trf_path = "";  // where the transforms file goes
  CreateMode trf_mode = CreateMode::Exclusive;
  const char *settings_path = "";  // where the settings file goes
  CreateMode settings_mode = CreateMode::Replace;
  PerfStamp start{};  // when the job started: elapsed_ms counts from here
};

struct AnalysisResult {
  PassOutcome outcome = PassOutcome::Failed;
  // Set once the pass reaches its finish, also when a file then fails.
  double shakiness = 0.0;
  double max_shift_px = 0.0;
  int frames = 0;
  std::int64_t elapsed_ms = 0;
  bool trf_written = false;       // the transforms file holds the path (it stays if the settings file fails)
  bool settings_written = false;  // the settings file was written
  JobError error;
};

// Runs the whole pass on the calling thread: frames_total once before
// decoding, frames_done and percent after every motion sample, the cancel
// request polled after every packet. Never throws.
AnalysisResult run_analysis(const AnalysisRequest &request, const JobControl &control);
