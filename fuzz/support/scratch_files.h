// Files of a fuzz target: the code under test reads paths, so every input is
// written to a file first. Each target process owns one private directory
// under the temporary directory (made with mkdtemp, so two targets running
// side by side never share a file), removed with its contents when the
// process exits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The process's private directory, made on the first call; aborts when it
// cannot be made (a fuzz run without it would test nothing).
const std::string &scratch_dir();

// scratch_dir() + "/" + name
std::string scratch_path(const char *name);

// Writes the bytes to scratch_path(name), replacing what was there, and
// returns the path; aborts when the file cannot be written.
std::string write_scratch_file(const char *name, const std::uint8_t *data, std::size_t size);

// A fresh, empty directory inside the private one for a pass's outputs.
// Removed with everything in it (hidden files beside an output too) when the
// object goes out of scope, so one input never sees another's files.
class ScratchOutputs {
 public:
  ScratchOutputs();
  ~ScratchOutputs();
  ScratchOutputs(const ScratchOutputs &) = delete;
  ScratchOutputs &operator=(const ScratchOutputs &) = delete;
  std::string file(const char *name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Reads a whole file; "" when it cannot be read.
std::string read_scratch_file(const std::string &path);
