// Fuzzes the transforms file loader on arbitrary file contents: a load that
// succeeds gives a camera path of 2 to 1200001 finite points, one that fails
// gives no points and names its reason in the process-wide text only.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/transforms_file.h"
#include "support/scratch_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const std::string path = scratch_path("input.trf");
  write_scratch_file("input.trf", data, size);

  // Left-over points must be cleared, whatever the outcome.
  std::vector<PathPoint> points(3, PathPoint{1.0, 2.0, 3.0});
  JobError error;
  bool loaded = load_transforms(path.c_str(), points, &error);
  if (error.job[0] != '\0') std::abort();  // the job reports its own message
  if (!std::memchr(error.process, '\0', sizeof error.process)) std::abort();
  if (loaded) {
    if (points.size() < 2 || points.size() > 1200001) std::abort();
    for (const PathPoint &p : points)
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.angle)) std::abort();
  } else {
    if (!points.empty() || error.process[0] == '\0') std::abort();
  }
  return 0;
}
