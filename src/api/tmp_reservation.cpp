// Claiming temporary names for an analysis: the names are shared with every
// other process using the same temporary directory, so a name is only ours
// once we have created the file.
#include "api/session.h"
#include "platform/files.h"

namespace {

constexpr int kMaxReserveTries = 1000;

}  // namespace

bool reserve_tmp_files(Session *s) {
  const bool own_settings = s->settings_out_path[0] == '\0';
  for (int tries = 0; tries < kMaxReserveTries; ++tries) {
    int trf = create_empty_exclusive(s->trf_path);
    if (trf < 0) return false;
    if (trf == 1) {
      if (!own_settings) {
        s->wrote_trf = 1;
        return true;
      }
      int settings = create_empty_exclusive(s->tmp_settings_path);
      if (settings == 1) {
        s->wrote_trf = 1;
        s->wrote_settings = 1;
        return true;
      }
      remove_own_file(s->trf_path);
      if (settings < 0) return false;
    }
    gen_tmp_paths(s);
    session_note_temporary_files(s);
  }
  return false;
}

void release_tmp_files(Session *s) {
  // Once removed, the names may be taken by another process at once: the
  // job must not delete them again when it is freed.
  if (s->wrote_trf) remove_own_file(s->trf_path);
  if (s->wrote_settings) remove_own_file(s->tmp_settings_path);
  s->wrote_trf = 0;
  s->wrote_settings = 0;
}
