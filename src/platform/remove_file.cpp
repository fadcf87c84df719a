#include "platform/remove_file.h"

#include <cstdio>

void remove_file(const char *path) {
  if (path && path[0]) std::remove(path);
}
