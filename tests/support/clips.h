// Generated clips shared by the end-to-end tests, made once per test process.
#pragma once

#include <string>

#include "clipgen/clipgen.h"

// Generates the clip of `clip_spec` into the process's clip directory under
// `name` (once per process) and returns its path; fails the test when the
// generator fails.
std::string make_clip(const std::string &name, ClipSpec clip_spec);

// A fresh ClipSpec for a small clip (defaults: 160x120, 30 fps, 24 frames, h264).
ClipSpec small_clip(int frames = 24);

// A clip above FFmpeg's probe buffer of 5 MB (640x480, 150 frames at
// 12 Mb/s, a shaking camera), made once per process: a job that opened its
// output over such a file would read on into what it had just written, and
// its stabilization fills far more than a few hundred kilobytes.
std::string big_clip();
