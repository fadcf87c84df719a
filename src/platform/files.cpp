#include "platform/files.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Numbers the files created beside an output, so that two jobs of one
// process never try the same name (other processes differ by the pid).
std::atomic<unsigned> g_next_beside{0};

// The directory part of path (without its last component) into dir; false
// when the path has no last component (it is empty or ends with '/').
bool split_path(const char *path, char *dir, std::size_t dir_size, const char **name) {
  const char *slash = std::strrchr(path, '/');
  const char *last = slash ? slash + 1 : path;
  if (*last == '\0') return false;
  *name = last;
  if (slash == nullptr) {
    copy_text(dir, dir_size, ".");
  } else if (slash == path) {
    copy_text(dir, dir_size, "/");
  } else {
    std::size_t len = static_cast<std::size_t>(slash - path);
    if (len + 1 > dir_size) return false;
    std::memcpy(dir, path, len);
    dir[len] = '\0';
  }
  return true;
}

}  // namespace

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

FileKind file_kind(const char *path) {
  struct stat st;
  if (path == nullptr || stat(path, &st) != 0) return FileKind::Missing;
  return S_ISREG(st.st_mode) ? FileKind::Regular : FileKind::Other;
}

FileId file_id(const char *path) {
  FileId id;
  if (path == nullptr || path[0] == '\0') return id;
  struct stat st;
  if (stat(path, &st) == 0) {
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
  }
  char dir[kPathSize];
  const char *name = nullptr;
  if (split_path(path, dir, sizeof dir, &name) && std::strlen(name) < sizeof id.name &&
      stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) {
    id.placed = true;
    id.dir_dev = st.st_dev;
    id.dir_ino = st.st_ino;
    copy_text(id.name, name);
  }
  return id;
}

FileId file_id_of(int fd) {
  FileId id;
  struct stat st;
  if (fstat(fd, &st) == 0) {
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
  }
  return id;
}

bool same_file(const FileId &a, const FileId &b) {
  if (a.exists && b.exists && a.dev == b.dev && a.ino == b.ino) return true;
  return a.placed && b.placed && a.dir_dev == b.dir_dev && a.dir_ino == b.dir_ino &&
         std::strcmp(a.name, b.name) == 0;
}

void remove_own_file(const char *path, const FileId *id) {
  if (path == nullptr || path[0] == '\0') return;
  struct stat st;
  if (lstat(path, &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (id != nullptr && (!id->exists || id->dev != st.st_dev || id->ino != st.st_ino)) return;
  unlink(path);
}

int create_empty_exclusive(const char *path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST ? 0 : -1;
  close(fd);
  return 1;
}

int open_regular_file(const char *path, bool *not_regular) {
  *not_regular = false;
  if (path == nullptr || path[0] == '\0') {
    errno = ENOENT;
    return -1;
  }
  // O_NONBLOCK keeps open() from waiting for a FIFO's writer; it is cleared
  // again once the file is known to be regular (where it means nothing).
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    *not_regular = true;
    errno = EINVAL;
    return -1;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

std::FILE *open_regular_text_file(const char *path, bool *not_regular) {
  int fd = open_regular_file(path, not_regular);
  if (fd < 0) return nullptr;
  std::FILE *file = fdopen(fd, "r");
  if (file == nullptr) close(fd);
  return file;
}

int create_file_beside(const char *path, char *temp, std::size_t size) {
  char dir[kPathSize];
  const char *name = nullptr;
  if (path == nullptr || !split_path(path, dir, sizeof dir, &name)) {
    errno = ENOENT;
    return -1;
  }
  // ".<name>.<pid>-<n>.part": hidden, next to the file it will replace (so
  // the final rename stays within one file system), and telling a person
  // who finds one which file it was for. Long names are shortened to stay
  // within the system's limit of 255 bytes per name.
  const int pid = static_cast<int>(getpid());
  for (int tries = 0; tries < 100; ++tries) {
    unsigned n = g_next_beside.fetch_add(1, std::memory_order_relaxed) + 1;
    char base[256];
    format_text(base, sizeof base, ".%.200s.%d-%u.part", name, pid, n);
    if (std::strchr(path, '/') == nullptr) {
      format_text(temp, size, "%s", base);
    } else {
      format_text(temp, size, "%s%s%s", dir, std::strcmp(dir, "/") == 0 ? "" : "/", base);
    }
    if (std::strlen(temp) + 1 >= size) {
      errno = ENAMETOOLONG;
      return -1;
    }
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

bool replace_file(const char *from, const char *to) { return std::rename(from, to) == 0; }

long read_from(int fd, void *buf, std::size_t size) {
  for (;;) {
    ssize_t n = read(fd, buf, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -errno;
  }
}

int write_to(int fd, const void *buf, std::size_t size) {
  const char *p = static_cast<const char *>(buf);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

long long seek_in(int fd, long long offset, int whence) {
  off_t r = lseek(fd, static_cast<off_t>(offset), whence);
  return r < 0 ? -errno : static_cast<long long>(r);
}

long long size_of(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -errno;
  return static_cast<long long>(st.st_size);
}

int close_fd(int fd) {
  // Linux releases the descriptor even when close reports an error, so it is
  // never retried; the error still means the data may not have been stored.
  return close(fd) == 0 ? 0 : -errno;
}

// ------------------------------------------------------------ TextFileWriter

bool TextFileWriter::open(const char *path, CreateMode mode) {
  abandon();
  if (path == nullptr || path[0] == '\0') return false;
  mode_ = mode;
  copy_text(path_, path);
  int fd = -1;
  if (mode == CreateMode::Replace) {
    fd = create_file_beside(path, written_, sizeof written_);
  } else {
    copy_text(written_, path);
    int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW;
    flags |= mode == CreateMode::Exclusive ? (O_CREAT | O_EXCL) : O_TRUNC;
    fd = ::open(path, flags, 0600);
  }
  if (fd < 0) return false;
  id_ = file_id_of(fd);
  file_ = fdopen(fd, "w");
  if (file_ == nullptr) {
    close(fd);
    remove_own_file(written_, &id_);
    return false;
  }
  return true;
}

bool TextFileWriter::commit() {
  if (file_ == nullptr) return false;
  bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok && mode_ == CreateMode::Replace) ok = replace_file(written_, path_);
  if (!ok) remove_own_file(written_, &id_);
  return ok;
}

void TextFileWriter::abandon() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
  remove_own_file(written_, &id_);
}
