// Files by path: the temporary directory, sizes, existence, creation and
// deletion. Paths are passed to the system unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Writes the temporary directory into buf, ending with '/': $TMPDIR when it
// is set, not empty and fits (with the separator) in 511 bytes, else "/tmp/".
// Returns the length written.
std::size_t temp_dir(char *buf, std::size_t size);

// Size in bytes of the regular file at path; 0 when it cannot be opened for
// reading (missing, not a regular file).
std::int64_t file_size(const char *path);

// True when a directory entry of any type exists at path; a symbolic link
// counts by itself, whether or not its target exists.
bool path_exists(const char *path);

// Deletes the file at path; a missing file or any other failure is ignored.
void remove_file(const char *path);

// Creates an empty file at path, exclusively and without following a
// symbolic link, readable and writable by the user only. 1 created, 0 when
// something already stands at the path, -1 any other failure.
int create_empty_exclusive(const char *path);

// How a text file is opened for writing.
enum class CreateMode {
  // Create or truncate, as for a path the caller chose.
  Replace,
  // Create a new file only: fails when anything (a file, a symbolic link)
  // stands at the path; the file is readable and writable by the user only.
  Exclusive,
  // Fill a file this process created exclusively before (a reserved
  // temporary name): it must still be there, and a symbolic link put in its
  // place is not followed.
  Reserved,
};

// Opens path for writing as `mode` says (Replace creates with mode 0666
// before the umask). Null when the file cannot be opened.
std::FILE *create_text_file(const char *path, CreateMode mode);
