// Temporary file names of the sessions: vsb_N.trf and vsb_N_settings.json in
// the temporary directory, N counting from 1 in each process.
#include <atomic>

#include "api/session.h"
#include "base/text.h"
#include "platform/files.h"

namespace {

// Every generated name uses up one number; numbers are never given twice.
std::atomic<int> g_next_tmp{0};

// The temporary directory is shared with other processes and users and
// outlives this process, whose numbering restarts at 1: a number whose files
// already exist is passed over. The bound keeps a directory full of old
// files from stalling a start; the last number tried is used then, and the
// exclusive creation of the files makes that job fail instead of touching
// what stands there.
constexpr int kMaxTmpTries = 1000;

void format_tmp_paths(Session *s, const char *dir, int n) {
  format_text(s->tmp_settings_path, sizeof s->tmp_settings_path, "%s%svsb_%d_settings.json", dir, "", n);
  format_text(s->trf_path, sizeof s->trf_path, "%s%svsb_%d.trf", dir, "", n);
}

bool tmp_paths_taken(const Session *s) { return path_exists(s->trf_path) || path_exists(s->tmp_settings_path); }

}  // namespace

void gen_tmp_paths(Session *s) {
  char dir[512];
  temp_dir(dir, sizeof dir);
  for (int tries = 1;; ++tries) {
    int n = g_next_tmp.fetch_add(1, std::memory_order_relaxed) + 1;
    format_tmp_paths(s, dir, n);
    if (!tmp_paths_taken(s) || tries >= kMaxTmpTries) return;
  }
}
