#include "support/scratch_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <stdlib.h>
#include <unistd.h>

namespace {

std::string make_private_dir() {
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/vs_fuzz_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("vs fuzz: mkdtemp");
    std::abort();
  }
  return pattern;
}

// Removes the directory when the process ends normally (libFuzzer returns
// from main after -max_total_time or -runs). A crashing process leaves it for
// the crash to be looked at.
struct PrivateDir {
  std::string path = make_private_dir();
  pid_t owner = getpid();
  ~PrivateDir() {
    // A forked child (FFmpeg never forks, but be safe) must not remove it.
    if (getpid() != owner) return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string &scratch_dir() {
  static PrivateDir dir;
  return dir.path;
}

std::string scratch_path(const char *name) { return scratch_dir() + "/" + name; }

std::string write_scratch_file(const char *name, const std::uint8_t *data, std::size_t size) {
  std::string path = scratch_path(name);
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    std::perror("vs fuzz: writing the input file");
    std::abort();
  }
  return path;
}

ScratchOutputs::ScratchOutputs() {
  path_ = scratch_path("out_XXXXXX");
  if (mkdtemp(path_.data()) == nullptr) {
    std::perror("vs fuzz: mkdtemp");
    std::abort();
  }
}

ScratchOutputs::~ScratchOutputs() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string read_scratch_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
