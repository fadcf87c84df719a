#include "platform/create_text_file.h"

#include <fcntl.h>
#include <unistd.h>

std::FILE *create_text_file(const char *path, CreateMode mode) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  int flags = O_WRONLY | O_CLOEXEC;
  mode_t permissions = 0666;
  if (mode == CreateMode::Exclusive) {
    flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
    permissions = 0600;
  } else if (mode == CreateMode::Reserved) {
    flags |= O_TRUNC | O_NOFOLLOW;
  } else {
    flags |= O_CREAT | O_TRUNC;
  }
  int fd = open(path, flags, permissions);
  if (fd < 0) return nullptr;
  std::FILE *file = fdopen(fd, "w");
  if (file == nullptr) close(fd);
  return file;
}
