#include "mux/container_rules.h"

#include <cstring>

#include "base/ascii.h"

const char *output_format_name(const char *path) {
  static const struct {
    const char *extension;
    const char *format;
  } kFormats[] = {
      {".mov", "mov"}, {".mkv", "matroska"}, {".webm", "webm"},
      {".m4v", "mp4"}, {".avi", "avi"},      {".ts", "mpegts"},
  };
  const char *dot = std::strrchr(path, '.');
  if (dot != nullptr)
    for (const auto &f : kFormats)
      if (ascii_iequal(dot, f.extension)) return f.format;
  return "mp4";
}

std::int64_t output_bit_rate(std::int64_t container_bit_rate, int width, int height, double fps) {
  constexpr std::int64_t kMin = 500000, kMax = 10000000;
  double base = container_bit_rate > 0
                    ? static_cast<double>(container_bit_rate)
                    : static_cast<double>(static_cast<std::int64_t>(width) * height) * fps;
  // Compared in double precision, so that no huge value passes through an
  // integer; anything that truncates to 0 or less (or is NaN) is "nothing".
  std::int64_t b;
  if (base >= static_cast<double>(kMax))
    b = kMax;
  else if (base >= 1.0)
    b = static_cast<std::int64_t>(base);
  else
    b = 4 * static_cast<std::int64_t>(width) * height;
  return b < kMin ? kMin : (b > kMax ? kMax : b);
}
