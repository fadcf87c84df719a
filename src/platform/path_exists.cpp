#include "platform/path_exists.h"

#include <sys/stat.h>

bool path_exists(const char *path) {
  struct stat st;
  return path != nullptr && lstat(path, &st) == 0;
}
