#include "base/json_writer.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// vsnprintf into [*cursor, end), advancing the cursor by what was stored (not
// by what would have been written), so the cursor never passes end - 1 when
// room was 1 or more and never moves when there is no room.
void put_vformat(char **cursor, char *end, const char *format, va_list args) {
  if (*cursor >= end) return;
  std::size_t room = static_cast<std::size_t>(end - *cursor);
  int wrote = std::vsnprintf(*cursor, room, format, args);
  if (wrote < 0) {
    **cursor = '\0';
    return;
  }
  std::size_t stored = static_cast<std::size_t>(wrote) < room ? static_cast<std::size_t>(wrote) : room - 1;
  *cursor += stored;
}

void put_byte(char **cursor, char *end, char byte) {
  if (*cursor < end) {
    **cursor = byte;
    ++*cursor;
  }
}

}  // namespace

void put_text(char **cursor, char *end, const char *format, ...) {
  va_list args;
  va_start(args, format);
  put_vformat(cursor, end, format, args);
  va_end(args);
}

void put_escaped(char **cursor, char *end, const char *value) {
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(value ? value : ""); *p; ++p) {
    if (*p == '"' || *p == '\\') {
      put_text(cursor, end, "\\%c", *p);
    } else if (*p >= 0x01 && *p <= 0x1F) {
      put_text(cursor, end, "\\u%04x", *p);
    } else {
      put_byte(cursor, end, static_cast<char>(*p));
    }
  }
}

void put_kv_s(char **cursor, char *end, const char *key, const char *value, int comma) {
  if (comma) put_text(cursor, end, ",");
  put_text(cursor, end, "\"%s\":\"", key);
  put_escaped(cursor, end, value);
  put_text(cursor, end, "\"");
}

void put_kv_d(char **cursor, char *end, const char *key, double value, int decimals) {
  long long scale = decimals == 1 ? 10 : decimals == 3 ? 1000 : 100;
  int digits = decimals == 1 ? 1 : decimals == 3 ? 3 : 2;
  double v = value;
  if (std::isnan(v)) {
    v = 0.0;
  } else if (v > 1e12) {
    v = 1e12;
  } else if (v < -1e12) {
    v = -1e12;
  }
  long long scaled = std::llround(v * static_cast<double>(scale));
  const char *sign = "";
  unsigned long long magnitude = static_cast<unsigned long long>(scaled);
  if (scaled < 0) {
    sign = "-";
    magnitude = 0ULL - magnitude;
  }
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, "%0*llu", digits, magnitude % static_cast<unsigned long long>(scale));
  put_text(cursor, end, ",\"%s\":%s%llu.%s", key, sign, magnitude / static_cast<unsigned long long>(scale), fraction);
}

void put_kv_i(char **cursor, char *end, const char *key, long long value) {
  put_text(cursor, end, ",");
  put_text(cursor, end, "\"%s\":%lld", key, value);
}
