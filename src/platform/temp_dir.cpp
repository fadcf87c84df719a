#include "platform/temp_dir.h"

#include <cstdlib>
#include <cstring>

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
