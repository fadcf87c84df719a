// Inputs are local files, read literally: a path is never taken for a
// protocol, and a file cannot make the engine read through the network.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "support/clips.h"
#include "support/test_support.h"
#include "videostabilizer.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

std::mutex g_log_guard;
std::string g_log;

void capture_log(void *, int level, const char *format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  std::string line(512, '\0');
  int len = std::vsnprintf(line.data(), line.size(), format, args);
  if (len < 0) return;
  line.resize(std::min<std::size_t>(static_cast<std::size_t>(len), line.size() - 1));
  std::lock_guard<std::mutex> hold(g_log_guard);
  g_log += line;
}

}  // namespace

TEST(OpenFile, PathsWithProtocolLookingNamesAreFiles) {
  std::string clip = make_clip("plain.mp4", small_clip(4));
  TempDir dir;
  const char *names[] = {"odd:name.mp4", "concat:x.mp4", "http:file.mp4"};
  for (const char *name : names) {
    std::string path = dir.file(name);
    write_file(path, read_file(clip));
    const char *json = nullptr;
    EXPECT_EQ(videostabilizer_probe(path.c_str(), &json), 1) << name << ": " << videostabilizer_last_error();
  }
  const char *json = nullptr;
  EXPECT_EQ(videostabilizer_probe("concat:/etc/hostname|/etc/hostname", &json), 0);
  EXPECT_STREQ(videostabilizer_last_error(), "open input: No such file or directory");
}

TEST(OpenFile, APlaylistCannotReachTheNetwork) {
  TempDir dir;
  std::string playlist = dir.file("list.m3u8");
  write_file(playlist,
             "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nhttp://127.0.0.1:9/segment.ts\n#EXT-X-ENDLIST\n");
  av_log_set_callback(capture_log);
  const char *json = nullptr;
  EXPECT_EQ(videostabilizer_probe(playlist.c_str(), &json), 0);
  EXPECT_EQ(json, nullptr);
  const char *report = nullptr;
  EXPECT_EQ(videostabilizer_analyze(playlist.c_str(), nullptr, &report), 0);
  EXPECT_STRNE(videostabilizer_last_error(), "");
  av_log_set_callback(av_log_default_callback);
  // The segment's address was refused before any connection was tried.
  std::lock_guard<std::mutex> hold(g_log_guard);
  EXPECT_NE(g_log.find("not on whitelist"), std::string::npos) << g_log;
}
