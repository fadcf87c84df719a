// The directory for temporary files, as POSIX programs find it.
#pragma once

#include <cstddef>

// Writes the temporary directory into buf, ending with '/': $TMPDIR when it
// is set, not empty and fits (with the separator) in 511 bytes, else "/tmp/".
// Returns the length written.
std::size_t temp_dir(char *buf, std::size_t size);
