// Starting analyses: the non-blocking start and the blocking call.
#include "api/error.h"
#include "api/export_guard.h"
#include "api/session.h"
#include "api/session_launch.h"
#include "api/wait_collect.h"
#include "api/workers.h"
#include "base/text.h"
#include "pipeline/path_checks.h"
#include "videostabilizer.h"

namespace {

// The blocking analysis hands back a copy of its report, valid until the next
// blocking analysis.
char g_analyze_json[kResultSize];

int start_analysis(const char *input_path, const char *settings_path, unsigned *generation) {
  if (is_empty(input_path)) {
    set_err("empty input");
    return -1;
  }
  if (too_long(input_path) || too_long(settings_path)) {
    set_err("path too long");
    return -1;
  }
  if (const char *problem = analysis_path_problem(input_path, settings_path)) {
    set_err("%s", problem);
    return -1;
  }
  const bool own_settings = !is_empty(settings_path);
  FileId files[] = {file_id(input_path), own_settings ? file_id(settings_path) : FileId{}};
  int id = session_claim("analyze", own_settings ? &files[1] : nullptr, files, own_settings ? 2 : 1);
  if (id == kClaimFileInUse) {
    set_err("output path is in use by another job");
    return -1;
  }
  if (id < 0) {
    set_err("too many sessions");
    return -2;
  }
  Session *s = &g_sessions[id];
  copy_text(s->input_path, input_path);
  if (!is_empty(settings_path)) copy_text(s->settings_out_path, settings_path);
  return launch_session(id, analyze_thread, generation);
}

}  // namespace

extern "C" int videostabilizer_analyze_start(const char *input_path, const char *settings_path) {
  clear_err();
  return guarded(-9, [&] { return start_analysis(input_path, settings_path, nullptr); });
}

extern "C" int videostabilizer_analyze(const char *input_path, const char *settings_path,
                                       const char **out_json) {
  clear_err();
  return guarded(0, [&] {
    if (out_json == nullptr) {
      set_err("out_json NULL");
      return 0;
    }
    unsigned generation = 0;
    int id = start_analysis(input_path, settings_path, &generation);
    if (id < 0) return 0;
    return wait_and_collect(id, generation, g_analyze_json, out_json, "analyze failed");
  });
}
