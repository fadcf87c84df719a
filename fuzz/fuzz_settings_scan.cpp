// Fuzzes the settings file scan, with both needles, on arbitrary file
// contents. What it finds is a terminated path of 1 to 1023 bytes, and it is
// the path the settings writer was given: written into a settings file of
// its own, it reads back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/settings_file.h"
#include "support/scratch_files.h"

namespace {

constexpr std::size_t kOutSize = 1024;

// Scans path for needle; checks what any scan must give and returns the
// path found ("" for none).
std::string scan(const std::string &path, const char *needle) {
  char out[kOutSize + 16];
  std::memset(out, 0x55, sizeof out);  // a scan writes 1024 bytes, no more
  JobError error;
  bool found = scan_settings_for_transforms(path.c_str(), needle, out, &error);
  for (std::size_t i = kOutSize; i < sizeof out; ++i)
    if (out[i] != 0x55) std::abort();
  std::size_t length = strnlen(out, kOutSize);
  if (length == kOutSize) std::abort();  // not terminated
  if (found != (length > 0)) std::abort();
  if (error.job[0] != '\0') std::abort();
  // A regular file is no reason for a message, found or not.
  if (error.process[0] != '\0') std::abort();
  return std::string(out, length);
}

// The writer's own file for `transforms` must give it back to both needles.
void check_round_trip(const std::string &transforms) {
  static const std::string path = scratch_path("written_settings.json");
  SettingsInfo info{"/in/clip.mp4", 320, 240, 30.0, 24, 0.25, 1.5, transforms.c_str()};
  if (!write_settings_file(path.c_str(), info, CreateMode::Replace)) std::abort();
  for (const char *needle : {kTransformsKey, kTransformsKeyColon})
    if (scan(path, needle) != transforms) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const std::string path = scratch_path("input_settings.json");
  write_scratch_file("input_settings.json", data, size);
  for (const char *needle : {kTransformsKey, kTransformsKeyColon}) {
    std::string found = scan(path, needle);
    if (!found.empty()) check_round_trip(found);
  }
  return 0;
}
