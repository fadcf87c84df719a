// videostabilizer_probe: the report of good files and the refusal of bad ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "api/error.h"
#include "api/probe_export.h"
#include "clipgen/clipgen.h"
#include "support/test_support.h"
#include "videostabilizer.h"

namespace {

// Garbage inputs make FFmpeg log; the tests check the messages themselves.
const int kQuiet = (av_log_set_level(AV_LOG_FATAL), 0);

struct ProbeResult {
  int rc;
  const char *json;
  std::string error;
};

ProbeResult probe(const std::string &path) {
  const char *json = "untouched";
  int rc = videostabilizer_probe(path.c_str(), &json);
  return {rc, json, videostabilizer_last_error()};
}

// Value of a member of a flat one-line JSON object, as written ("" when absent).
std::string member(const std::string &json, const std::string &key) {
  std::string needle = "\"" + key + "\":";
  std::size_t at = json.find(needle);
  if (at == std::string::npos) return "";
  std::size_t start = at + needle.size();
  std::size_t end = json[start] == '"' ? json.find('"', start + 1) + 1 : json.find_first_of(",}", start);
  return json.substr(start, end - start);
}

std::string random_bytes(std::size_t count) {
  std::string bytes(count, '\0');
  std::uint64_t state = 0x243F6A8885A308D3ULL;
  for (char &b : bytes) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    b = static_cast<char>(state >> 56);
  }
  return bytes;
}

class ProbeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    ClipSpec clip_spec;
    clip_spec.frames = 12;
    clip_spec.shake = 3;
    clip_spec.out_path = dir_->file("plain.mp4");
    make(clip_spec);

    ClipSpec audio_first = clip_spec;
    audio_first.out_path = dir_->file("audio_first.mkv");
    audio_first.audio_codec = "aac";
    audio_first.audio_first = true;
    make(audio_first);

    ClipSpec two = clip_spec;
    two.out_path = dir_->file("two_video.mkv");
    two.two_video = true;
    make(two);

    ClipSpec ntsc = clip_spec;
    ntsc.out_path = dir_->file("ntsc.mp4");
    ntsc.fps_num = 30000;
    ntsc.fps_den = 1001;
    make(ntsc);

    ClipSpec audio_only = clip_spec;
    audio_only.out_path = dir_->file("tone.m4a");
    audio_only.video = false;
    audio_only.audio_codec = "aac";
    make(audio_only);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static void make(const ClipSpec &clip_spec) {
    std::string error;
    ASSERT_TRUE(generate_clip(clip_spec, &error)) << clip_spec.out_path << ": " << error;
  }
  static std::string path(const char *name) { return dir_->file(name); }

  static TempDir *dir_;
};

TempDir *ProbeTest::dir_ = nullptr;

TEST_F(ProbeTest, ReportOfAGeneratedClip) {
  std::string file = path("plain.mp4");
  set_err("stale message");
  ProbeResult r = probe(file);
  ASSERT_EQ(r.rc, 1) << r.error;
  EXPECT_EQ(r.json, g_probe_json);
  EXPECT_EQ(r.error, "") << "a successful probe leaves the error text empty";

  std::string json = r.json;
  // Members in their fixed order, "ok" a string, "has_audio" a bare boolean.
  const std::string prefix = "{\"ok\":\"true\",\"duration_s\":";
  EXPECT_EQ(json.substr(0, prefix.size()), prefix) << json;
  std::size_t last = 0;
  for (const char *key : {"duration_s", "width", "height", "fps", "has_audio", "codec", "size_bytes", "bitrate"}) {
    std::size_t at = json.find(std::string(",\"") + key + "\":");
    ASSERT_NE(at, std::string::npos) << key << " in " << json;
    EXPECT_GT(at, last) << key << " out of order in " << json;
    last = at;
  }
  EXPECT_EQ(json.back(), '}');
  EXPECT_EQ(json.find_first_of(" \n"), std::string::npos);

  EXPECT_EQ(member(json, "width"), "320");
  EXPECT_EQ(member(json, "height"), "240");
  EXPECT_EQ(member(json, "fps"), "30.000");
  EXPECT_EQ(member(json, "has_audio"), "false");
  EXPECT_EQ(member(json, "codec"), "\"h264\"");
  EXPECT_EQ(member(json, "size_bytes"), std::to_string(read_file(file).size()));
  EXPECT_EQ(member(json, "duration_s"), "0.400");  // 12 frames at 30 fps
  EXPECT_GT(std::stoll(member(json, "bitrate")), 0);
}

TEST_F(ProbeTest, FramesPerSecondKeepsThreeDecimals) {
  ProbeResult r = probe(path("ntsc.mp4"));
  ASSERT_EQ(r.rc, 1) << r.error;
  EXPECT_EQ(member(r.json, "fps"), "29.970");
}

TEST_F(ProbeTest, AudioBeforeVideoStillCountsAsAudio) {
  ProbeResult r = probe(path("audio_first.mkv"));
  ASSERT_EQ(r.rc, 1) << r.error;
  EXPECT_EQ(member(r.json, "has_audio"), "true");
  EXPECT_EQ(member(r.json, "width"), "320");
  EXPECT_EQ(member(r.json, "codec"), "\"h264\"");
}

TEST_F(ProbeTest, FirstOfTwoVideoStreamsIsReported) {
  ProbeResult r = probe(path("two_video.mkv"));
  ASSERT_EQ(r.rc, 1) << r.error;
  EXPECT_EQ(member(r.json, "width"), "320");  // the second stream is 160x120
  EXPECT_EQ(member(r.json, "height"), "240");
}

TEST_F(ProbeTest, BadInputsFailWithTheirMessageAndNoReport) {
  TempDir scratch;
  write_file(scratch.file("empty.mp4"), "");
  write_file(scratch.file("noise.bin"), random_bytes(8192));
  write_file(scratch.file("notes.txt"), "a plain text file\nwith two lines\n");
  std::string whole = read_file(path("plain.mp4"));
  write_file(scratch.file("cut.mp4"), whole.substr(0, whole.size() / 2));
  const std::string invalid = "open input: Invalid data found when processing input";

  struct Case {
    const char *what;
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {"missing file", scratch.file("missing.mp4"), "open input: No such file or directory"},
      {"missing directory", scratch.file("nowhere/clip.mp4"), "open input: No such file or directory"},
      {"path through a file", scratch.file("notes.txt/clip.mp4"), "open input: Not a directory"},
      {"directory", scratch.path(), "open input: " + scratch.path() + " is not a regular file"},
      {"empty file", scratch.file("empty.mp4"), invalid},
      // Some demuxer may claim random bytes and then give up with its own
      // code, so only the opener's prefix is certain.
      {"random bytes", scratch.file("noise.bin"), "open input: *"},
      {"text file", scratch.file("notes.txt"), invalid},
      {"mp4 cut before its index", scratch.file("cut.mp4"), invalid},
      {"audio only", path("tone.m4a"), "no video stream"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ProbeResult r = probe(c.path);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.json, nullptr);
    if (c.message.back() == '*') {
      EXPECT_EQ(r.error.substr(0, c.message.size() - 1), c.message.substr(0, c.message.size() - 1)) << r.error;
    } else {
      EXPECT_EQ(r.error, c.message);
    }
  }
}

TEST_F(ProbeTest, GeneratedMp4KeepsItsIndexAtTheEnd) {
  // The truncated-file case above relies on the moov box following mdat.
  std::string bytes = read_file(path("plain.mp4"));
  std::size_t mdat = bytes.find("mdat"), moov = bytes.find("moov");
  ASSERT_NE(mdat, std::string::npos);
  ASSERT_NE(moov, std::string::npos);
  EXPECT_LT(mdat, moov);
}

TEST(ProbeArguments, NullOutJsonIsCheckedFirst) {
  EXPECT_EQ(videostabilizer_probe("", nullptr), 0);
  EXPECT_STREQ(videostabilizer_last_error(), "out_json NULL");
  EXPECT_EQ(videostabilizer_probe(nullptr, nullptr), 0);
  EXPECT_STREQ(videostabilizer_last_error(), "out_json NULL");
}

TEST(ProbeArguments, EmptyOrNullPathIsRefused) {
  for (const char *path : {static_cast<const char *>(nullptr), ""}) {
    const char *json = "untouched";
    EXPECT_EQ(videostabilizer_probe(path, &json), 0);
    EXPECT_EQ(json, nullptr);
    EXPECT_STREQ(videostabilizer_last_error(), "empty input path");
  }
}

TEST(ProbeSharedMedia, Megamind) {
  REQUIRE_SHARED_MEDIA(file, "Megamind.avi");
  ProbeResult r = probe(file);
  ASSERT_EQ(r.rc, 1) << r.error;
  EXPECT_EQ(member(r.json, "width"), "720");
  EXPECT_EQ(member(r.json, "height"), "528");
  EXPECT_EQ(member(r.json, "codec"), "\"mpeg4\"");
  EXPECT_EQ(member(r.json, "has_audio"), "true");
  EXPECT_EQ(member(r.json, "size_bytes"), std::to_string(read_file(file).size()));
}

TEST(ProbeSharedMedia, MegamindWithoutAudio) {
  REQUIRE_SHARED_MEDIA(file, "Megamind_bugy.avi");
  ProbeResult r = probe(file);
  ASSERT_EQ(r.rc, 1) << r.error;
  EXPECT_EQ(member(r.json, "width"), "720");
  EXPECT_EQ(member(r.json, "height"), "528");
  EXPECT_EQ(member(r.json, "codec"), "\"mpeg4\"");
  EXPECT_EQ(member(r.json, "fps"), "30.000");
  EXPECT_EQ(member(r.json, "has_audio"), "false");
}

}  // namespace
