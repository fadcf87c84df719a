// The job an output belongs to, for tests that drive the output module
// directly: its stop request and its error texts.
#pragma once

#include <atomic>

#include "base/job_control.h"
#include "base/job_error.h"
#include "mux/output.h"

struct OutputJob {
  std::atomic<int> cancel_requested{0};
  JobControl control;
  JobError error;

  OutputJob() { control.cancel_requested = &cancel_requested; }
};

inline bool open_output(OutputContext *out, const OutputVideoParams &video, const char *path,
                        const OutputAudioHooks *audio, OutputJob *job) {
  return open_output(out, video, path, audio, &job->control, &job->error);
}
