// Which paths a job may be given, checked before anything is written: the
// start calls use these, and the stabilize pass once it knows the transforms
// file it reads. Paths are compared as files (the same existing file, also
// through a hard or a symbolic link, or the same name in the same
// directory), never as texts. Each function gives null when the paths are
// sound, else the message the job is refused with.
#pragma once

// A stabilization: "output path is the input", "output path is the
// transforms file", "output path is the settings file" (the files its
// options name; either may be empty), "output path is not a regular file"
// (something else already stands there).
const char *stabilize_path_problem(const char *input, const char *output, const char *transforms,
                                   const char *settings);

// An analysis with a settings path of the caller's (empty: none): "settings
// path is the input", "settings path is not a regular file".
const char *analysis_path_problem(const char *input, const char *settings);

// The transforms file a stabilization reads (empty: none yet) against its
// output: "output path is the transforms file".
const char *transforms_output_problem(const char *transforms, const char *output);
