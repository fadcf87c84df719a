#include "support/clips.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "support/test_support.h"

namespace {

TempDir &clip_dir() {
  static TempDir dir;
  return dir;
}

// Made when the test program starts: the session tests point TMPDIR at a
// directory of their own, which goes when the test ends, and the clips must
// outlive it.
[[maybe_unused]] TempDir &g_clip_dir_at_start = clip_dir();

}  // namespace

std::string make_clip(const std::string &name, ClipSpec clip_spec) {
  static std::mutex guard;
  static std::map<std::string, std::string> made;
  std::lock_guard<std::mutex> hold(guard);
  auto it = made.find(name);
  if (it != made.end()) return it->second;
  clip_spec.out_path = clip_dir().file(name);
  std::string error;
  bool ok = generate_clip(clip_spec, &error);
  EXPECT_TRUE(ok) << name << ": " << error;
  made[name] = clip_spec.out_path;
  return clip_spec.out_path;
}

std::string big_clip() {
  ClipSpec clip_spec;
  clip_spec.width = 640;
  clip_spec.height = 480;
  clip_spec.frames = 150;
  clip_spec.bitrate = 12000000;
  clip_spec.shake = 4;
  return make_clip("big.mp4", clip_spec);
}

ClipSpec small_clip(int frames) {
  ClipSpec clip_spec;
  clip_spec.width = 160;
  clip_spec.height = 120;
  clip_spec.frames = frames;
  return clip_spec;
}
