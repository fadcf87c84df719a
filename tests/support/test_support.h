// Helpers shared by the tests.
#pragma once

#include <string>

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
