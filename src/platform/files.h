// Files by path and by descriptor: the temporary directory, sizes, identity,
// opening for reading without blocking, creating, replacing and deleting.
// Paths are passed to the system unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/text.h"

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

// What stands at a path, symbolic links followed.
enum class FileKind {
  Missing,  // nothing (or a dangling link, or a path that cannot be looked at)
  Regular,
  Other,  // a directory, a FIFO, a device, a socket
};
FileKind file_kind(const char *path);

// What tells two paths apart as files: the existing file a path names
// (symbolic links followed), and the place its last component names (the
// directory it is in, and the name), which also holds for a file that does
// not exist yet.
struct FileId {
  bool exists = false;  // dev and ino are those of an existing file
  std::uint64_t dev = 0, ino = 0;
  bool placed = false;  // the directory of the last component exists
  std::uint64_t dir_dev = 0, dir_ino = 0;
  char name[256] = {};
};

FileId file_id(const char *path);

// The identity of an open descriptor's file (`placed` stays false).
FileId file_id_of(int fd);

// True when a and b are one file: the same existing file (a hard link or a
// symbolic link to it is the same file), or the same name in the same
// directory.
bool same_file(const FileId &a, const FileId &b);

// Deletes the file at path only while it is a regular file, and (when `id`
// is given) still the very file `id` was taken of: never a directory, a
// link, a device, or a file that took the name's place since.
void remove_own_file(const char *path, const FileId *id = nullptr);

// Creates an empty file at path, exclusively and without following a
// symbolic link, readable and writable by the user only. 1 created, 0 when
// something already stands at the path, -1 any other failure.
int create_empty_exclusive(const char *path);

// ---------------------------------------------------------- descriptors ---

// Opens an existing file for reading, only when it is a regular file. The
// open never waits (a FIFO or a device is opened without blocking, then
// refused). Returns the descriptor, or -1: with *not_regular set when
// something else stands there, else with errno telling why.
int open_regular_file(const char *path, bool *not_regular);

// The same, as a stream for reading text; null on failure.
std::FILE *open_regular_text_file(const char *path, bool *not_regular);

// Creates a new, empty file for writing beside `path`: in the same directory,
// under a hidden name that nothing else uses, never through a symbolic link
// (mode 0666 before the umask, as a file created at `path` would get). Its
// name goes into temp (size bytes; kBesidePathSize holds the name for any
// path of kPathSize). Returns the descriptor, or -1 with errno telling why
// (the directory is missing, not writable, the name too long).
inline constexpr std::size_t kBesidePathSize = kPathSize + 64;
int create_file_beside(const char *path, char *temp, std::size_t size);

// Moves the file at `from` over `to` in one step: whoever opens `to` finds
// either the old file or the complete new one. False with errno on failure.
bool replace_file(const char *from, const char *to);

// Reads up to size bytes: the count, 0 at the end of the file, or -errno.
long read_from(int fd, void *buf, std::size_t size);

// Writes all size bytes: 0, or -errno of the first failure.
int write_to(int fd, const void *buf, std::size_t size);

// Moves the file position (whence: SEEK_SET, SEEK_CUR, SEEK_END): the new
// position, or -errno.
long long seek_in(int fd, long long offset, int whence);

// Size of the open file, or -errno.
long long size_of(int fd);

// Closes the descriptor: 0, or -errno when the close reported a failure
// (for a written file: data that could not be stored).
int close_fd(int fd);

// ----------------------------------------------------------- text files ---

// How a text file is written.
enum class CreateMode {
  // The caller's own path: written as a new file beside it, which replaces
  // whatever stood at the path only once it is complete.
  Replace,
  // Create a new file only: fails when anything (a file, a symbolic link)
  // stands at the path; the file is readable and writable by the user only.
  Exclusive,
  // Fill a file this process created exclusively before (a reserved
  // temporary name): it must still be there, and a symbolic link put in its
  // place is not followed.
  Reserved,
};

// A text file being written. Every failure along the way (opening, a write,
// the close, the replacing) makes commit() fail, and a file that fails never
// stands at the path half written: the partial file is removed (for Replace,
// the new file beside the path, so the old file stays as it was).
class TextFileWriter {
 public:
  TextFileWriter() = default;
  TextFileWriter(const TextFileWriter &) = delete;
  TextFileWriter &operator=(const TextFileWriter &) = delete;
  ~TextFileWriter() { abandon(); }

  // Opens path for writing as `mode` says; false when it cannot be opened.
  bool open(const char *path, CreateMode mode);

  // The stream to write to; null unless open.
  std::FILE *stream() const { return file_; }

  // Finishes the file: flushes and closes it and, for Replace, moves it over
  // the path. False when anything failed since open; the partial file is
  // then removed.
  bool commit();

  // Closes and removes the partial file (nothing when not open).
  void abandon();

 private:
  std::FILE *file_ = nullptr;
  CreateMode mode_ = CreateMode::Replace;
  FileId id_;
  char path_[kPathSize] = {};     // where the file ends up
  char written_[kBesidePathSize] = {};  // where it is written: path_, or the file beside it
};
