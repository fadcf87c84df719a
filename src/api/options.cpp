// Reading the options JSON of a stabilization. All use of the JSON parser
// stays in this file, behind read_stabilize_options.
#include "api/options.h"

#include <simdjson.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/ascii.h"

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The value of the first member of `object` whose key is exactly `key`
// (case-sensitive, same length). Members are walked in document order
// because a lookup by key need not return the first of duplicate keys.
bool first_member(simdjson::dom::object object, std::string_view key, element *value) {
  for (simdjson::dom::key_value_pair member : object) {
    if (member.key == key) {
      *value = member.value;
      return true;
    }
  }
  return false;
}

bool is_number(const element &v) {
  element_type t = v.type();
  return t == element_type::INT64 || t == element_type::UINT64 || t == element_type::DOUBLE;
}

// A number taken as a double, whatever its subtype.
double number_value(const element &v) {
  switch (v.type()) {
    case element_type::INT64: return static_cast<double>(v.get_int64().value_unsafe());
    case element_type::UINT64: return static_cast<double>(v.get_uint64().value_unsafe());
    default: return v.get_double().value_unsafe();
  }
}

// The string's bytes up to its first NUL (the values are used as C strings);
// null when the value is not a string.
const char *string_value(const element &v) {
  if (v.type() != element_type::STRING) return nullptr;
  return v.get_c_str().value_unsafe();
}

// strength: round half up, then limit to 0..10. The limits are applied in
// double precision so that huge values never pass through an int.
int strength_value(const element &v) {
  if (!is_number(v)) return 0;
  double t = std::trunc(number_value(v) + 0.5);
  if (!(t > 0.0)) return 0;
  if (t >= 10.0) return 10;
  return static_cast<int>(t);
}

// sharpen, keep_audio: true/false, or a number that is not 0 once cut toward
// zero (so |x| >= 1); anything else is off.
int switch_value(const element &v) {
  element_type t = v.type();
  if (t == element_type::BOOL) return v.get_bool().value_unsafe() ? 1 : 0;
  if (t == element_type::INT64) return v.get_int64().value_unsafe() != 0 ? 1 : 0;
  if (t == element_type::UINT64) return v.get_uint64().value_unsafe() != 0 ? 1 : 0;
  if (t == element_type::DOUBLE) return std::trunc(v.get_double().value_unsafe()) != 0.0 ? 1 : 0;
  return 0;
}

// A path is taken whole or not at all: a cut one would name another file.
bool copy_path(char (&dst)[kPathSize], const char *src) {
  if (std::strlen(src) >= sizeof dst) return false;
  std::snprintf(dst, sizeof dst, "%s", src);
  return true;
}

// False when a path does not fit.
bool read_members(simdjson::dom::object root, StabilizeOptions *out) {
  element v;
  if (first_member(root, "mode", &v)) {
    const char *s = string_value(v);
    if (s != nullptr && s[0] != '\0')
      std::snprintf(out->mode, sizeof out->mode, "%s", ascii_iequal(s, "optical") ? "optical" : "smooth");
  }
  if (first_member(root, "strength", &v)) out->strength = strength_value(v);
  if (first_member(root, "crop", &v)) {
    const char *s = string_value(v);
    out->crop_max = (s != nullptr && ascii_iequal(s, "max")) ? 1 : 0;
  }
  if (first_member(root, "sharpen", &v)) out->sharpen = switch_value(v);
  if (first_member(root, "keep_audio", &v)) out->keep_audio = switch_value(v);
  bool paths_fit = true;
  if (first_member(root, "transforms", &v)) {
    const char *s = string_value(v);
    if (s != nullptr && s[0] != '\0') paths_fit = copy_path(out->transforms, s) && paths_fit;
  }
  if (first_member(root, "settings", &v)) {
    const char *s = string_value(v);
    if (s != nullptr && s[0] != '\0') paths_fit = copy_path(out->settings, s) && paths_fit;
  }
  return paths_fit;
}

}  // namespace

StabilizeOptions default_stabilize_options() {
  StabilizeOptions o{};
  std::snprintf(o.mode, sizeof o.mode, "%s", "smooth");
  o.strength = 5;
  o.crop_max = 0;
  o.sharpen = 1;
  o.keep_audio = 1;
  return o;
}

OptionsStatus read_stabilize_options(const char *json, StabilizeOptions *out) {
  *out = default_stabilize_options();
  if (json == nullptr || json[0] == '\0') return OptionsStatus::Ok;

  // The parser reads past the end of its input, so it gets a padded copy.
  std::size_t length = std::strlen(json);
  simdjson::padded_string text(json, length);
  if (text.data() == nullptr) return OptionsStatus::NotJson;  // no memory for the copy

  // The parser and the document it holds are released when this returns.
  simdjson::dom::parser parser;
  element root;
  if (parser.parse(text).get(root) != simdjson::SUCCESS) return OptionsStatus::NotJson;

  simdjson::dom::object object;
  if (root.get(object) == simdjson::SUCCESS && !read_members(object, out)) {
    *out = default_stabilize_options();
    return OptionsStatus::PathTooLong;
  }
  return OptionsStatus::Ok;
}
