// Starting stabilizations: the non-blocking start and the blocking call.
#include "api/error.h"
#include "api/export_guard.h"
#include "api/options.h"
#include "api/session.h"
#include "api/session_launch.h"
#include "api/wait_collect.h"
#include "api/workers.h"
#include "base/text.h"
#include "pipeline/path_checks.h"
#include "videostabilizer.h"

namespace {

// The blocking stabilization hands back a copy of its report, valid until
// the next blocking stabilization.
char g_stabilize_json[kResultSize];

int start_stabilization(const char *input_path, const char *output_path, const char *options_json,
                        unsigned *generation) {
  if (is_empty(input_path) || is_empty(output_path)) {
    set_err("empty path");
    return -1;
  }
  if (too_long(input_path) || too_long(output_path)) {
    set_err("path too long");
    return -1;
  }
  StabilizeOptions options;
  switch (read_stabilize_options(options_json, &options)) {
    case OptionsStatus::Ok: break;
    case OptionsStatus::NotJson: set_err("bad options_json"); return -1;
    case OptionsStatus::PathTooLong: set_err("path too long"); return -1;
  }
  if (const char *problem = stabilize_path_problem(input_path, output_path, options.transforms, options.settings)) {
    set_err("%s", problem);
    return -1;
  }
  FileId files[] = {file_id(output_path), file_id(input_path), file_id(options.transforms),
                    file_id(options.settings)};
  int id = session_claim("stabilize", &files[0], files, 4);
  if (id == kClaimFileInUse) {
    set_err("output path is in use by another job");
    return -1;
  }
  if (id < 0) {
    set_err("too many sessions");
    return -2;
  }
  Session *s = &g_sessions[id];
  s->options = options;
  copy_text(s->input_path, input_path);
  copy_text(s->output_path, output_path);
  return launch_session(id, stabilize_thread, generation);
}

}  // namespace

extern "C" int videostabilizer_stabilize_start(const char *input_path, const char *output_path,
                                               const char *options_json) {
  clear_err();
  return guarded(-9, [&] { return start_stabilization(input_path, output_path, options_json, nullptr); });
}

extern "C" int videostabilizer_stabilize(const char *input_path, const char *output_path,
                                         const char *options_json, const char **out_json) {
  clear_err();
  return guarded(0, [&] {
    if (out_json == nullptr) {
      set_err("out_json NULL");
      return 0;
    }
    unsigned generation = 0;
    int id = start_stabilization(input_path, output_path, options_json, &generation);
    if (id < 0) return 0;
    return wait_and_collect(id, generation, g_stabilize_json, out_json, "stabilize failed");
  });
}
