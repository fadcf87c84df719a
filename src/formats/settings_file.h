// The settings file: a small JSON document that names the transforms file of
// an analysis and repeats its metrics.
#pragma once

#include "base/job_error.h"
#include "platform/files.h"

struct SettingsInfo {
  const char *input;
  int width;
  int height;
  double fps;
  int frames;
  double shakiness;
  double max_shift_px;
  const char *transforms;
};

// trunc(10 * shakiness + 0.5) limited to 2..10 (NaN gives 2).
int suggested_strength(double shakiness);

// Writes the settings file. The two paths are written as they are, or with
// JSON's escapes where they hold a quotation mark, a backslash or a control
// character. Returns false when the file cannot be created or written, and
// then leaves no partial file behind (for Replace, the old file stays).
bool write_settings_file(const char *path, const SettingsInfo &info, CreateMode mode);

// Needles for scan_settings_for_transforms.
inline constexpr const char *kTransformsKey = "\"transforms\"";
inline constexpr const char *kTransformsKeyColon = "\"transforms\":";

// Scans a settings file line by line for the transforms path: the last line
// holding `needle` whose value parses wins, its escapes turned back. Returns
// false when nothing is found (out is then empty); only a path that is not a
// regular file is worth a message, in error's process-wide text (it is never
// opened in a way that could wait on it). out has 1024 bytes.
bool scan_settings_for_transforms(const char *path, const char *needle, char *out, JobError *error);
