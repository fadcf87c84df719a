// File size by path.
#pragma once

#include <cstdint>

// Size in bytes of the regular file at path; 0 when it cannot be opened for
// reading (missing, not a regular file).
std::int64_t file_size(const char *path);
