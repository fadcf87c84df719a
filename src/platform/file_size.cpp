#include "platform/file_size.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
