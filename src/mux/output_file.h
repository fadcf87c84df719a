// The file a stabilization writes. It is created new beside the output path
// (same directory, hidden name), the muxer writes it through an I/O context
// of ours, and it takes the output path's place only once it is complete:
// until then a file that stood at the output path stays as it was, and a job
// that fails or is cancelled removes only its own file.
#pragma once

extern "C" {
#include <libavformat/avio.h>
}

#include "base/text.h"
#include "platform/files.h"

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;
  ~OutputFile() { discard(); }

  // Creates the file beside `path`; false (with errno) when it cannot be.
  bool create(const char *path);

  // The I/O context the muxer writes through; null before create. Owned here.
  AVIOContext *io() const { return io_; }

  // Writes out what the I/O context still holds and closes the file. False
  // when any write or the close failed: the file is then not complete.
  // Closing again does nothing and gives the same answer.
  bool close();

  // Moves the closed file over the output path. False when it cannot.
  bool commit();

  // Unless committed, removes the file; releases everything.
  void discard();

 private:
  AVIOContext *io_ = nullptr;
  int fd_ = -1;
  bool closed_ok_ = false;
  bool committed_ = false;
  FileId id_;
  char path_[kPathSize] = {};
  char temp_[kBesidePathSize] = {};
};
