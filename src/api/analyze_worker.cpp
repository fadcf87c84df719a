// The analyze worker: claims the job's temporary files, runs the analysis
// pass, and records its outcome in the session and the registry.
#include "api/error.h"
#include "api/registry.h"
#include "api/session.h"
#include "api/workers.h"
#include "pipeline/analysis_pass.h"

void analyze_thread(void *arg) {
  Session *s = static_cast<Session *>(arg);
  PerfStamp start = perf_now();
  reserve_tmp_files(s);

  // The transforms path is always a generated temporary name, claimed just
  // now: fill that file, never through a link or over another process's
  // file. A settings path the caller named is replaced; a temporary one is
  // filled like the transforms file.
  const bool temporary = s->settings_out_path[0] == '\0';
  AnalysisRequest request;
  request.input_path = s->input_path;
  request.trf_path = s->trf_path;
  request.trf_mode = s->wrote_trf ? CreateMode::Reserved : CreateMode::Exclusive;
  request.settings_path = temporary ? s->tmp_settings_path : s->settings_out_path;
  request.settings_mode = !temporary         ? CreateMode::Replace
                          : s->wrote_settings ? CreateMode::Reserved
                                              : CreateMode::Exclusive;
  request.start = start;
  AnalysisResult result = run_analysis(request, session_control(s));

  s->shakiness = result.shakiness;
  s->max_shift_px = result.max_shift_px;
  s->frames = result.frames;
  s->elapsed_ms = result.elapsed_ms;
  if (result.trf_written) s->wrote_trf = 1;
  if (result.settings_written && temporary) s->wrote_settings = 1;
  session_set_error(s, result.error.job);
  if (result.error.process[0]) set_err("%s", result.error.process);

  if (result.outcome == PassOutcome::Done) {
    registry_insert(s->input_path, s->trf_path);
  } else {
    // A job that does not finish leaves no files behind, except a transforms
    // file it wrote before its settings file failed.
    if (result.trf_written) s->wrote_trf = 0;
    release_tmp_files(s);
    if (result.trf_written) s->wrote_trf = 1;
  }
  session_finish(s, session_state(result.outcome));
}
