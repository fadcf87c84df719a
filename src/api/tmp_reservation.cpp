// Claiming temporary names for an analysis: the names are shared with every
// other process using the same temporary directory, so a name is only ours
// once we have created the file.
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "api/session.h"
#include "platform/remove_file.h"

namespace {

constexpr int kMaxReserveTries = 1000;

// 1 created, 0 something already stands there, -1 any other failure.
int create_empty(const char *path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST ? 0 : -1;
  close(fd);
  return 1;
}

}  // namespace

bool reserve_tmp_files(Session *s) {
  const bool own_settings = s->settings_out_path[0] == '\0';
  for (int tries = 0; tries < kMaxReserveTries; ++tries) {
    int trf = create_empty(s->trf_path);
    if (trf < 0) return false;
    if (trf == 1) {
      if (!own_settings) {
        s->wrote_trf = 1;
        return true;
      }
      int settings = create_empty(s->tmp_settings_path);
      if (settings == 1) {
        s->wrote_trf = 1;
        s->wrote_settings = 1;
        return true;
      }
      remove_file(s->trf_path);
      if (settings < 0) return false;
    }
    gen_tmp_paths(s);
  }
  return false;
}

void release_tmp_files(Session *s) {
  // Once removed, the names may be taken by another process at once: the
  // job must not delete them again when it is freed.
  if (s->wrote_trf) remove_file(s->trf_path);
  if (s->wrote_settings) remove_file(s->tmp_settings_path);
  s->wrote_trf = 0;
  s->wrote_settings = 0;
}
