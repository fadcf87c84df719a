// videostabilizer_probe: reads the facts of a file on the caller's thread and
// reports its duration, picture size, frame rate, codec, audio presence, file
// size and bit rate as one line of JSON in g_probe_json.
#include "api/probe_export.h"

#include "api/error.h"
#include "api/export_guard.h"
#include "base/json_writer.h"
#include "base/text.h"
#include "media/probe_facts.h"
#include "videostabilizer.h"

char g_probe_json[kProbeJsonSize];

namespace {

void write_report(const ProbeFacts &facts) {
  char *cursor = g_probe_json;
  // One byte is kept back so the closing brace and terminator always fit.
  char *end = g_probe_json + kProbeJsonSize - 1;
  *cursor++ = '{';
  put_kv_s(&cursor, end, "ok", "true", 0);
  put_kv_d(&cursor, end, "duration_s", facts.duration_s, 3);
  put_kv_i(&cursor, end, "width", facts.width);
  put_kv_i(&cursor, end, "height", facts.height);
  put_kv_d(&cursor, end, "fps", facts.fps, 3);
  put_text(&cursor, end, ",");
  put_text(&cursor, end, "\"%s\":%s", "has_audio", facts.has_audio ? "true" : "false");
  put_kv_s(&cursor, end, "codec", facts.codec, 1);
  put_kv_i(&cursor, end, "size_bytes", facts.size_bytes);
  put_kv_i(&cursor, end, "bitrate", facts.bitrate);
  if (cursor < end) *cursor++ = '}';
  *cursor = '\0';
}

int probe(const char *path, const char **out_json) {
  *out_json = nullptr;
  if (is_empty(path)) {
    set_err("empty input path");
    return 0;
  }
  ProbeFacts facts{};
  JobError error;
  if (!read_probe_facts(path, &facts, &error)) {
    set_err("%s", error.process);
    return 0;
  }
  write_report(facts);
  *out_json = g_probe_json;
  return 1;
}

}  // namespace

extern "C" int videostabilizer_probe(const char *input_path, const char **out_json) {
  clear_err();
  if (out_json == nullptr) {
    set_err("out_json NULL");
    return 0;
  }
  *out_json = nullptr;
  return guarded(0, [&] { return probe(input_path, out_json); });
}
