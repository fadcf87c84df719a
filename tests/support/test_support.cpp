#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> out;
  for (const auto &entry : std::filesystem::directory_iterator(path_)) out.push_back(entry.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

int run_with_file_size_limit(long long max_file_bytes, const std::function<int()> &body) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(max_file_bytes), static_cast<rlim_t>(max_file_bytes)};
    setrlimit(RLIMIT_FSIZE, &limit);
    int rc = body();
    std::fflush(nullptr);
    _exit(rc & 0xff);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

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
