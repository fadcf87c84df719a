// The options of a stabilization and the reader of their JSON text.
#pragma once

#include "api/session.h"

// The options that stand when the caller's JSON is absent, empty or silent:
// mode "smooth", strength 5, crop_max 0, sharpen 1, keep_audio 1, no
// transforms path, no settings path.
StabilizeOptions default_stabilize_options();

enum class OptionsStatus {
  Ok,
  // Not valid JSON (the caller reports "bad options_json"): this includes
  // integers beyond 64 bits, nesting deeper than 1024 levels and invalid
  // UTF-8 (and, should it ever happen, no memory for the parse).
  NotJson,
  // A "transforms" or "settings" path longer than 1023 bytes, which would
  // name another file once cut (the caller reports "path too long").
  PathTooLong,
};

// Fills *out with the defaults, then reads `json` (strict JSON in UTF-8) over
// them. A null or empty text, or a root that is not an object, leaves the
// defaults. Unless the result is Ok, *out holds the defaults.
OptionsStatus read_stabilize_options(const char *json, StabilizeOptions *out);
