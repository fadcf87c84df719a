#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::size_t temp_dir(char *buf, std::size_t size) {
  const char *dir = std::getenv("TMPDIR");
  std::size_t len = dir ? std::strlen(dir) : 0;
  if (len == 0 || len + 2 > 512) {
    dir = "/tmp";
    len = 4;
  }
  bool need_sep = dir[len - 1] != '/';
  std::size_t total = len + (need_sep ? 1 : 0);
  if (size == 0) return 0;
  if (total + 1 > size) {
    buf[0] = '\0';
    return 0;
  }
  std::memcpy(buf, dir, len);
  if (need_sep) buf[len] = '/';
  buf[total] = '\0';
  return total;
}

std::int64_t file_size(const char *path) {
  if (path == nullptr) return 0;
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  struct stat st;
  std::int64_t size = 0;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) size = static_cast<std::int64_t>(st.st_size);
  close(fd);
  return size;
}

bool path_exists(const char *path) {
  struct stat st;
  return path != nullptr && lstat(path, &st) == 0;
}

void remove_file(const char *path) {
  if (path && path[0]) std::remove(path);
}

int create_empty_exclusive(const char *path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST ? 0 : -1;
  close(fd);
  return 1;
}

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
