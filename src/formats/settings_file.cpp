#include "formats/settings_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/json_writer.h"
#include "base/version.h"
#include "platform/files.h"

namespace {

// A line holds at most one path of 1023 bytes, each byte escaped to at most
// six characters, and the member's name around it.
constexpr int kScanLineSize = 8192;
constexpr std::size_t kValueSize = 1024;
constexpr std::size_t kEscapedSize = 6 * kValueSize + 1;

// The members one per line. A path goes in as it is unless it holds a
// quotation mark, a backslash or a control character, which are escaped as
// JSON does (so a line feed cannot split its line, nor a quotation mark end
// its value early); paths without them keep the bytes of every settings file
// written before.
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

void escape_path(const char *path, char (&out)[kEscapedSize]) {
  char *cursor = out;
  put_escaped(&cursor, out + sizeof out - 1, path ? path : "");
  *cursor = '\0';
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The control character of a \u00XX escape at p (0x01 .. 0x1F), or 0.
int control_escape(const char *p) {
  if (p[0] != '\\' || p[1] != 'u' || p[2] != '0' || p[3] != '0') return 0;
  int hi = hex_digit(p[4]), lo = p[4] ? hex_digit(p[5]) : -1;
  if (hi < 0 || lo < 0) return 0;
  int c = hi * 16 + lo;
  return c >= 0x01 && c <= 0x1F ? c : 0;
}

// Turns back exactly the escapes the writer makes (\", \\, \u0001 to
// \u001f); every other backslash stays as it is, so a settings file written
// before paths were escaped (C:\t\vsb_3.trf) reads as it always did. False
// when the result does not fit in out.
bool unescape_path(const char *text, std::size_t len, char *out) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < len;) {
    char c = text[i];
    std::size_t used = 1;
    if (c == '\\' && i + 1 < len && (text[i + 1] == '"' || text[i + 1] == '\\')) {
      c = text[i + 1];
      used = 2;
    } else if (c == '\\' && i + 6 <= len && control_escape(text + i)) {
      c = static_cast<char>(control_escape(text + i));
      used = 6;
    }
    if (n + 1 >= kValueSize) return false;
    out[n++] = c;
    i += used;
  }
  out[n] = '\0';
  return n > 0;
}

// The value of one line holding the needle: from just after the line's first
// colon (blanks and double quotes skipped) to the line's last double quote,
// its escapes turned back. False when the line has no such value or it does
// not fit in out.
bool line_value(const char *line, char *out) {
  const char *colon = std::strchr(line, ':');
  if (colon == nullptr) return false;
  const char *start = colon + 1;
  while (*start == ' ' || *start == '\t' || *start == '"') ++start;
  const char *quote = std::strrchr(start, '"');
  if (quote == nullptr) return false;
  std::size_t len = static_cast<std::size_t>(quote - start);
  if (len == 0) return false;
  char value[kValueSize];
  if (!unescape_path(start, len, value)) return false;
  std::memcpy(out, value, kValueSize);
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
  char input[kEscapedSize], transforms[kEscapedSize];
  escape_path(info.input, input);
  escape_path(info.transforms, transforms);
  TextFileWriter file;
  if (!file.open(path, mode)) return false;
  std::fprintf(file.stream(), kTemplate, kEngineVersion, input, info.width, info.height, info.fps, info.frames,
               info.shakiness, info.max_shift_px, transforms, suggested_strength(info.shakiness));
  return file.commit();
}

bool scan_settings_for_transforms(const char *path, const char *needle, char *out, JobError *error) {
  std::memset(out, 0, kValueSize);
  bool not_regular = false;
  std::FILE *file = open_regular_text_file(path, &not_regular);
  if (file == nullptr) {
    if (not_regular) error->note("settings file %s is not a regular file", path);
    return false;
  }
  char line[kScanLineSize];
  while (std::fgets(line, sizeof line, file)) {
    if (std::strstr(line, needle) != nullptr) line_value(line, out);
  }
  std::fclose(file);
  return out[0] != '\0';
}
