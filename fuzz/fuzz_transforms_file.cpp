// Fuzzes the two readers of analysis files: the transforms loader and the
// settings scan, on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "formats/settings_file.h"
#include "formats/transforms_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const std::string path = "/tmp/vs_fuzz_" + std::to_string(getpid());
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::vector<PathPoint> points;
  load_transforms(path.c_str(), points);
  char found[1024];
  scan_settings_for_transforms(path.c_str(), kTransformsKey, found);
  scan_settings_for_transforms(path.c_str(), kTransformsKeyColon, found);
  return 0;
}
