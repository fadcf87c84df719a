#include "api/reports.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/json_writer.h"
#include "base/text.h"
#include "formats/settings_file.h"

namespace {

// One progress buffer per host thread: two threads polling at once would
// otherwise write the same bytes while the other one reads them.
thread_local char t_progress[kProgressSize];

// Escaped failure texts stop once they reach this many characters.
constexpr std::size_t kEscapedErrorLimit = 506;

const char *pass_name(const Session *s) {
  if (std::strcmp(s->kind, "analyze") == 0) return "detect";
  return s->pass.load(std::memory_order_relaxed) != 0 ? "transform" : "detect";
}

const char *suggested_mode(double shakiness) { return shakiness > 0.4 ? "optical" : "smooth"; }

// Closes a success report at the write position. The writers never pass the
// last byte of result_json, so the terminator always fits; the brace only
// when there is room for it before that byte.
void close_report(Session *s, char *cursor) {
  char *last = s->result_json + kResultSize - 1;
  if (cursor < last) *cursor++ = '}';
  *cursor = '\0';
}

// Quote and backslash get a backslash, everything else is copied; the walk
// stops after the byte that brings the text to 506 characters or more.
void escape_error(const char *error, char *out) {
  std::size_t len = 0;
  for (const char *p = error; *p && len < kEscapedErrorLimit; ++p) {
    if (*p == '"' || *p == '\\') out[len++] = '\\';
    out[len++] = *p;
  }
  out[len] = '\0';
}

}  // namespace

const char *progress_json(const Session *s) {
  int state = s->state.load(std::memory_order_acquire);
  if (state < SESSION_RUNNING) state = SESSION_RUNNING;
  std::snprintf(t_progress, sizeof t_progress,
                "{\"state\":%d,\"percent\":%d,\"pass\":\"%s\",\"frames_done\":%d,\"frames_total\":%d}", state,
                s->percent.load(std::memory_order_relaxed), pass_name(s),
                s->frames_done.load(std::memory_order_relaxed), s->frames_total.load(std::memory_order_relaxed));
  return t_progress;
}

void build_analysis_report(Session *s) {
  char *cursor = s->result_json;
  char *end = s->result_json + kResultSize - 1;
  *cursor++ = '{';
  put_kv_s(&cursor, end, "ok", "true", 0);
  put_kv_d(&cursor, end, "shakiness", s->shakiness, 3);
  put_kv_s(&cursor, end, "suggested_mode", suggested_mode(s->shakiness), 1);
  put_kv_i(&cursor, end, "suggested_strength", suggested_strength(s->shakiness));
  put_kv_i(&cursor, end, "frames", s->frames);
  put_kv_d(&cursor, end, "max_shift_px", s->max_shift_px, 2);
  put_kv_i(&cursor, end, "elapsed_ms", s->elapsed_ms);
  put_kv_s(&cursor, end, "transforms_path", s->trf_path, 1);
  const char *settings = is_empty(s->settings_out_path) ? s->tmp_settings_path : s->settings_out_path;
  put_kv_s(&cursor, end, "settings_path", settings, 1);
  close_report(s, cursor);
}

void build_stabilization_report(Session *s) {
  char *cursor = s->result_json;
  char *end = s->result_json + kResultSize - 1;
  *cursor++ = '{';
  put_kv_s(&cursor, end, "ok", "true", 0);
  put_kv_s(&cursor, end, "output", s->output_path, 1);
  put_kv_d(&cursor, end, "duration_s", s->duration_s, 3);
  put_kv_d(&cursor, end, "size_mb", static_cast<double>(s->size_bytes) * std::ldexp(1.0, -20), 2);
  put_kv_d(&cursor, end, "crop_percent", s->crop_percent, 1);
  put_kv_i(&cursor, end, "frames", s->frames);
  put_kv_i(&cursor, end, "elapsed_ms", s->elapsed_ms);
  close_report(s, cursor);
}

void build_failure_report(Session *s) {
  char escaped[kErrorSize];
  escape_error(s->error, escaped);
  std::snprintf(s->result_json, sizeof s->result_json, "{\"ok\":false,\"error\":\"%s\"}", escaped);
}

const char *session_result_json(Session *s) {
  int state = s->state.load(std::memory_order_acquire);
  if (state == SESSION_RUNNING) return progress_json(s);
  if (state != SESSION_DONE) {
    build_failure_report(s);
  } else if (std::strcmp(s->kind, "stabilize") == 0) {
    build_stabilization_report(s);
  } else {
    build_analysis_report(s);
  }
  return s->result_json;
}
