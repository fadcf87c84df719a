#include "formats/settings_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/version.h"
#include "platform/files.h"

namespace {

constexpr int kScanLineSize = 2048;
constexpr std::size_t kValueSize = 1024;

// The members one per line; the two paths go in as they are, unescaped,
// which is the form every settings file already written has.
constexpr const char *kTemplate =
    "{\n"
    "  \"engine\": \"kestrune-videostabilizer\",\n"
    "  \"version\": \"%s\",\n"
    "  \"input\": \"%s\",\n"
    "  \"width\": %d,\n"
    "  \"height\": %d,\n"
    "  \"fps\": %.3f,\n"
    "  \"frames\": %d,\n"
    "  \"shakiness\": %.4f,\n"
    "  \"max_shift_px\": %.2f,\n"
    "  \"transforms\": \"%s\",\n"
    "  \"suggested_strength\": %d\n"
    "}\n";

// The value of one line holding the needle: from just after the line's first
// colon (blanks and double quotes skipped) to the line's last double quote.
// False when the line has no such value or it does not fit in out.
bool line_value(const char *line, char *out) {
  const char *colon = std::strchr(line, ':');
  if (colon == nullptr) return false;
  const char *start = colon + 1;
  while (*start == ' ' || *start == '\t' || *start == '"') ++start;
  const char *quote = std::strrchr(start, '"');
  if (quote == nullptr) return false;
  std::size_t len = static_cast<std::size_t>(quote - start);
  if (len == 0 || len > kValueSize - 1) return false;
  std::memcpy(out, start, len);
  out[len] = '\0';
  return true;
}

}  // namespace

int suggested_strength(double shakiness) {
  if (std::isnan(shakiness)) return 2;
  double scaled = shakiness * 10.0 + 0.5;
  if (scaled >= 11.0) return 10;
  if (scaled < 2.0) return 2;
  return static_cast<int>(scaled);
}

bool write_settings_file(const char *path, const SettingsInfo &info, CreateMode mode) {
  std::FILE *file = create_text_file(path, mode);
  if (file == nullptr) return false;
  std::fprintf(file, kTemplate, kEngineVersion, info.input ? info.input : "", info.width, info.height, info.fps,
               info.frames, info.shakiness, info.max_shift_px, info.transforms ? info.transforms : "",
               suggested_strength(info.shakiness));
  std::fclose(file);
  return true;
}

bool scan_settings_for_transforms(const char *path, const char *needle, char *out) {
  std::memset(out, 0, kValueSize);
  std::FILE *file = path ? std::fopen(path, "r") : nullptr;
  if (file == nullptr) return false;
  char line[kScanLineSize];
  while (std::fgets(line, sizeof line, file)) {
    if (std::strstr(line, needle) != nullptr) line_value(line, out);
  }
  std::fclose(file);
  return out[0] != '\0';
}
