// Opening a new text file for writing, as the file writers of the analysis
// need it.
#pragma once

#include <cstdio>

#include "formats/transforms_file.h"

// Opens path for writing: Replace creates or truncates it (mode 0666 before
// the umask); Exclusive creates a new file readable and writable by the user
// only, never following a symbolic link, and fails when anything stands at
// the path; Reserved truncates a file that must exist, without following a
// symbolic link. Null when the file cannot be opened.
std::FILE *create_text_file(const char *path, CreateMode mode);
