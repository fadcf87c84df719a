#include "pipeline/path_checks.h"

#include "platform/files.h"

namespace {

bool given(const char *path) { return path != nullptr && path[0] != '\0'; }

bool same(const char *a, const char *b) { return given(a) && given(b) && same_file(file_id(a), file_id(b)); }

}  // namespace

const char *stabilize_path_problem(const char *input, const char *output, const char *transforms,
                                   const char *settings) {
  if (same(output, input)) return "output path is the input";
  if (same(output, transforms)) return "output path is the transforms file";
  if (same(output, settings)) return "output path is the settings file";
  if (file_kind(output) == FileKind::Other) return "output path is not a regular file";
  return nullptr;
}

const char *analysis_path_problem(const char *input, const char *settings) {
  if (!given(settings)) return nullptr;
  if (same(settings, input)) return "settings path is the input";
  if (file_kind(settings) == FileKind::Other) return "settings path is not a regular file";
  return nullptr;
}

const char *transforms_output_problem(const char *transforms, const char *output) {
  return same(output, transforms) ? "output path is the transforms file" : nullptr;
}
