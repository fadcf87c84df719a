// Helpers shared by the tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

// A fresh directory under the temporary directory, removed with its contents
// when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string &name) const;
  // The names in the directory, sorted (hidden ones included).
  std::vector<std::string> names() const;

 private:
  std::string path_;
};

// Path of a file of the shared sample media, or "" when it is absent.
std::string shared_media(const std::string &name);

// Skips the current test with a clear message when a shared media file is absent.
#define REQUIRE_SHARED_MEDIA(var, name)                                                  \
  std::string var = shared_media(name);                                                  \
  if (var.empty()) GTEST_SKIP() << "shared media " << (name) << " not found under "     \
                                << VS_SHARED_MEDIA_DIR << "; skipping"

// Writes bytes to a file (creating or truncating it).
void write_file(const std::string &path, const std::string &bytes);

// Reads a whole file; "" when it cannot be read.
std::string read_file(const std::string &path);

bool file_exists(const std::string &path);

// Runs body in a forked child whose files cannot grow beyond max_file_bytes,
// as on a full disk: a write past the limit fails (SIGXFSZ is ignored, so
// the write returns its error instead of the signal ending the child).
// Returns body's result (0 to 255), or -1 when the child did not exit by
// itself. Fork before the process starts FFmpeg threads of its own.
int run_with_file_size_limit(long long max_file_bytes, const std::function<int()> &body);
