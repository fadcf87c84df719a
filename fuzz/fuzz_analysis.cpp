// Fuzzes the analysis pass on mutated small clips: the pass runs directly on
// the input file, with its transforms and settings files in a fresh private
// directory that is removed after each input. Whatever the bytes, the pass
// ends done or failed (nobody cancels it). Done, it has written both files:
// the transforms file loads with one finite point per reported frame, the
// settings file names it, the metrics are in range and the progress counted
// every motion sample. Failed, it says why and leaves no settings file.
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "formats/settings_file.h"
#include "formats/transforms_file.h"
#include "pipeline/analysis_pass.h"
#include "support/scratch_files.h"

namespace {

void check_done(const AnalysisResult &result, const std::string &trf, const std::string &settings) {
  if (!result.trf_written || !result.settings_written || result.error.job[0] != '\0') std::abort();
  if (result.frames < 2) std::abort();
  if (!(result.shakiness >= 0.0 && result.shakiness <= 1.0)) std::abort();
  if (!(std::isfinite(result.max_shift_px) && result.max_shift_px >= 0.0)) std::abort();

  std::vector<PathPoint> points;
  JobError error;
  if (!load_transforms(trf.c_str(), points, &error)) std::abort();
  if (points.size() != static_cast<std::size_t>(result.frames)) std::abort();
  // The path starts at the origin; every later point is finite (the loader
  // keeps no other).
  if (points[0].x != 0.0 || points[0].y != 0.0 || points[0].angle != 0.0) std::abort();

  for (const char *needle : {kTransformsKey, kTransformsKeyColon}) {
    char found[1024];
    if (!scan_settings_for_transforms(settings.c_str(), needle, found, &error) || trf != found) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string input = write_scratch_file("input_media", data, size);
  ScratchOutputs outputs;
  std::string trf = outputs.file("path.trf");
  std::string settings = outputs.file("settings.json");

  AnalysisRequest request;
  request.input_path = input.c_str();
  request.trf_path = trf.c_str();
  request.trf_mode = CreateMode::Exclusive;
  request.settings_path = settings.c_str();
  request.settings_mode = CreateMode::Replace;
  request.start = perf_now();
  // The progress a host would read: percent stays below 100 while the job
  // runs, and a finished pass counted every motion sample it made.
  std::atomic<int> cancel{0}, percent{0}, frames_done{0}, frames_total{0}, pass{0};
  JobControl control{&cancel, &percent, &frames_done, &frames_total, &pass};
  AnalysisResult result = run_analysis(request, control);
  if (percent < 0 || percent > 99 || frames_total < 0 || frames_done < 0) std::abort();
  if (result.outcome == PassOutcome::Done && frames_done != result.frames - 1) std::abort();

  switch (result.outcome) {
    case PassOutcome::Done:
      check_done(result, trf, settings);
      break;
    case PassOutcome::Failed:
      // A failed pass never leaves a settings file standing at its path.
      if (result.error.job[0] == '\0' || result.settings_written || access(settings.c_str(), F_OK) == 0)
        std::abort();
      break;
    default:
      std::abort();
  }
  return 0;
}
