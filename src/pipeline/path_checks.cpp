#include "pipeline/path_checks.h"

#include "platform/files.h"

namespace {

bool given(const char *path) { return path != nullptr && path[0] != '\0'; }

// True when `path` is given and names the file `file` stands for.
bool names(const FileId &file, const char *path) { return given(path) && same_file(file, file_id(path)); }

}  // namespace

const char *stabilize_path_problem(const char *input, const char *output, const char *transforms,
                                   const char *settings) {
  if (!given(output)) return nullptr;
  const FileId out = file_id(output);
  if (names(out, input)) return "output path is the input";
  if (names(out, transforms)) return "output path is the transforms file";
  if (names(out, settings)) return "output path is the settings file";
  if (file_kind(output) == FileKind::Other) return "output path is not a regular file";
  return nullptr;
}

const char *analysis_path_problem(const char *input, const char *settings) {
  if (!given(settings)) return nullptr;
  if (names(file_id(settings), input)) return "settings path is the input";
  if (file_kind(settings) == FileKind::Other) return "settings path is not a regular file";
  return nullptr;
}

const char *transforms_output_problem(const char *transforms, const char *output) {
  if (!given(output) || !given(transforms)) return nullptr;
  return names(file_id(output), transforms) ? "output path is the transforms file" : nullptr;
}
