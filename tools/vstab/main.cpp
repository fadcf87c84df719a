// vstab: command-line host of the video stabilization engine.
//
//   vstab version
//   vstab probe INPUT
//   vstab analyze INPUT [SETTINGS_JSON_PATH]
//   vstab stabilize INPUT OUTPUT [OPTIONS_JSON]
//
// analyze and stabilize show their progress on stderr and print the job's
// report on stdout. An analysis is remembered only within one process, so
// `stabilize` analyzes first when no "transforms" or "settings" option is
// given.
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "videostabilizer.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: vstab version\n"
               "       vstab probe INPUT\n"
               "       vstab analyze INPUT [SETTINGS_JSON_PATH]\n"
               "       vstab stabilize INPUT OUTPUT [OPTIONS_JSON]\n");
  return 2;
}

int fail(const char *what) {
  std::fprintf(stderr, "vstab: %s failed: %s\n", what, videostabilizer_last_error());
  return 1;
}

// Polls a session until it ends, drawing its progress; returns its state.
int follow(int id, const char *label) {
  int state;
  while ((state = videostabilizer_status(id)) == VIDEOSTABILIZER_RUNNING) {
    std::fprintf(stderr, "\r%s %s", label, videostabilizer_progress(id));
    usleep(200 * 1000);
  }
  std::fprintf(stderr, "\r%s %s\n", label, videostabilizer_progress(id));
  return state;
}

// Runs a started job to its end, prints its report, frees it.
int finish(int id, const char *label) {
  if (id < 0) return fail(label);
  int state = follow(id, label);
  std::string report = videostabilizer_result(id);
  videostabilizer_free(id);
  std::printf("%s\n", report.c_str());
  return state == VIDEOSTABILIZER_DONE ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  // The FFmpeg libraries log at the info level (encoder statistics and the
  // like); a command line only wants their warnings and errors.
  av_log_set_level(AV_LOG_WARNING);
  if (argc < 2) return usage();
  std::string command = argv[1];
  if (command == "version" && argc == 2) {
    std::printf("%s\n", videostabilizer_version());
    return 0;
  }
  if (command == "probe" && argc == 3) {
    const char *json = nullptr;
    if (!videostabilizer_probe(argv[2], &json)) return fail("probe");
    std::printf("%s\n", json);
    return 0;
  }
  if (command == "analyze" && (argc == 3 || argc == 4)) {
    return finish(videostabilizer_analyze_start(argv[2], argc == 4 ? argv[3] : nullptr), "analyze");
  }
  if (command == "stabilize" && (argc == 4 || argc == 5)) {
    const char *options = argc == 5 ? argv[4] : nullptr;
    bool named = options && (std::strstr(options, "\"transforms\"") || std::strstr(options, "\"settings\""));
    if (!named) {
      int rc = finish(videostabilizer_analyze_start(argv[2], nullptr), "analyze");
      if (rc != 0) return rc;
    }
    return finish(videostabilizer_stabilize_start(argv[2], argv[3], options), "stabilize");
  }
  return usage();
}
