#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

extern "C" {
#include <libavutil/log.h>
}

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "vs_test_XXXXXX").string();
  char *made = mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string &name) const { return path_ + "/" + name; }

std::string shared_media(const std::string &name) {
  std::string path = std::string(VS_SHARED_MEDIA_DIR) + "/" + name;
  return file_exists(path) ? path : std::string();
}

void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool file_exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

namespace {

// FFmpeg's encoders and muxers report every clip they write at the info
// level; the tests only want to see warnings and errors.
const int quiet_ffmpeg = [] {
  av_log_set_level(AV_LOG_WARNING);
  return 0;
}();

// Each test process keeps the library's temporary files (a finished analysis
// leaves its files behind) in a directory of its own, removed at exit.
struct ProcessTempDir {
  TempDir dir;
  ProcessTempDir() { setenv("TMPDIR", dir.path().c_str(), 1); }
};
const ProcessTempDir process_temp_dir;

}  // namespace
