// Fuzzes the probe (videostabilizer_probe, over read_probe_facts) on mutated
// media files. A probe that succeeds reports one JSON object with all its
// members, the file's true size and a frame rate that is not negative; one
// that fails leaves a message and no report.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <simdjson.h>

extern "C" {
#include <libavutil/log.h>
}

#include "support/scratch_files.h"
#include "videostabilizer.h"

namespace {

double number(simdjson::dom::object report, std::string_view key) {
  double value = 0.0;
  if (report[key].get_double().get(value) != simdjson::SUCCESS) {
    std::int64_t whole = 0;
    if (report[key].get_int64().get(whole) != simdjson::SUCCESS) std::abort();
    value = static_cast<double>(whole);
  }
  if (!std::isfinite(value)) std::abort();
  return value;
}

void check_report(const char *json, std::size_t file_bytes) {
  if (json == nullptr) std::abort();
  simdjson::dom::parser parser;
  simdjson::dom::object report;
  if (parser.parse(json, std::strlen(json)).get(report) != simdjson::SUCCESS) std::abort();
  // "ok" is the string "true" (as the header shows), "has_audio" a boolean.
  std::string_view ok;
  if (report["ok"].get_string().get(ok) != simdjson::SUCCESS || ok != "true") std::abort();
  bool has_audio = false;
  if (report["has_audio"].get_bool().get(has_audio) != simdjson::SUCCESS) std::abort();
  std::string_view codec;
  if (report["codec"].get_string().get(codec) != simdjson::SUCCESS || codec.empty()) std::abort();
  number(report, "duration_s");
  number(report, "width");
  number(report, "height");
  number(report, "bitrate");
  // The rate is positive; printed with three decimals, a tiny one shows 0.000.
  if (number(report, "fps") < 0.0) std::abort();
  if (number(report, "size_bytes") != static_cast<double>(file_bytes)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string path = write_scratch_file("input_media", data, size);
  const char *json = reinterpret_cast<const char *>(1);
  if (videostabilizer_probe(path.c_str(), &json)) {
    check_report(json, size);
  } else {
    if (json != nullptr) std::abort();
    const char *error = videostabilizer_last_error();
    if (error == nullptr || error[0] == '\0') std::abort();
  }
  return 0;
}
