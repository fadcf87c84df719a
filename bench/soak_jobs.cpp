// Memory over time: runs many short jobs in one process, through the public
// interface (analyses and stabilizations, some failing, some cancelled), and
// prints the resident size after the first few and after all of them. What
// a job allocates must go when it is freed, so the two stay close.
//
//   soak_jobs [JOBS]        (default 1000)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "clipgen/clipgen.h"
#include "videostabilizer.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Resident set size of this process now, in kilobytes.
long resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

bool make_clip(const std::string &path, bool audio) {
  ClipSpec clip_spec;
  clip_spec.out_path = path;
  clip_spec.width = 96;
  clip_spec.height = 64;
  clip_spec.frames = 8;
  clip_spec.shake = 3;
  if (audio) clip_spec.audio_codec = "aac";
  std::string error;
  if (!generate_clip(clip_spec, &error)) std::fprintf(stderr, "clip %s: %s\n", path.c_str(), error.c_str());
  return error.empty();
}

int wait_for_end(int id) {
  int state;
  while ((state = videostabilizer_status(id)) == VIDEOSTABILIZER_RUNNING) usleep(500);
  return state;
}

// One job of the mix, chosen by its number; true when it ended as expected.
bool run_job(int n, const std::string &dir) {
  const std::string clip = dir + "/clip.mp4", sound = dir + "/sound.mkv", out = dir + "/out.mp4";
  const char *json = nullptr;
  switch (n % 6) {
    case 0:
      return videostabilizer_analyze(clip.c_str(), nullptr, &json) == 1;
    case 1:
      return videostabilizer_stabilize(clip.c_str(), out.c_str(), nullptr, &json) == 1;
    case 2:  // with audio, into another container
      return videostabilizer_analyze(sound.c_str(), (dir + "/sound.json").c_str(), &json) == 1 &&
             videostabilizer_stabilize(sound.c_str(), (dir + "/out.mkv").c_str(), "{\"sharpen\":false}", &json) ==
                 1;
    case 3:  // fails: no such input
      return videostabilizer_analyze((dir + "/missing.mp4").c_str(), nullptr, &json) == 0;
    case 4:  // fails: no transforms
      return videostabilizer_stabilize(clip.c_str(), out.c_str(), "{\"transforms\":\"/nonexistent.trf\"}", &json) ==
             0;
    default: {  // cancelled at once, or done when it is quicker
      int id = n % 12 == 5 ? videostabilizer_analyze_start(clip.c_str(), nullptr)
                           : videostabilizer_stabilize_start(sound.c_str(), out.c_str(), nullptr);
      if (id < 0) return false;
      videostabilizer_cancel(id);
      int state = wait_for_end(id);
      videostabilizer_free(id);
      return state == VIDEOSTABILIZER_CANCELLED || state == VIDEOSTABILIZER_DONE;
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  const int jobs = argc > 1 ? std::max(11, std::atoi(argv[1])) : 1000;
  av_log_set_level(AV_LOG_ERROR);  // the encoders' statistics of every job
  char pattern[] = "/tmp/vs_soak_XXXXXX";
  const char *made = mkdtemp(pattern);
  if (made == nullptr) return 1;
  const std::string dir = made;
  setenv("TMPDIR", dir.c_str(), 1);
  if (!make_clip(dir + "/clip.mp4", false) || !make_clip(dir + "/sound.mkv", true)) return 1;

  long after_first = 0;
  int unexpected = 0;
  for (int n = 0; n < jobs; ++n) {
    if (!run_job(n, dir)) ++unexpected;
    if (n + 1 == 10) after_first = resident_kb();
  }
  const long after_all = resident_kb();
  std::printf("jobs                : %d (%d ended otherwise than expected)\n", jobs, unexpected);
  std::printf("resident after 10   : %8.1f MB\n", after_first / 1024.0);
  std::printf("resident after %-5d: %8.1f MB\n", jobs, after_all / 1024.0);
  std::printf("growth              : %8.1f MB (target < 10)\n", (after_all - after_first) / 1024.0);
  std::string cleanup = "rm -rf '" + dir + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
  return unexpected == 0 ? 0 : 1;
}
