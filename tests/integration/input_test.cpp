// open_input: which streams the passes get, and its failures.
#include <gtest/gtest.h>

#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "clipgen/clipgen.h"
#include "media/input.h"
#include "media/open_file.h"
#include "support/test_support.h"

namespace {

const int kQuiet = (av_log_set_level(AV_LOG_FATAL), 0);

struct Opened {
  int rc;
  AVFormatContext *context;
  int video;
  int audio;
  std::string error;
  ~Opened() {
    if (context) close_media_file(&context);
  }
};

void open(const std::string &path, Opened *out) {
  out->context = reinterpret_cast<AVFormatContext *>(0x1);  // must be replaced
  out->video = 7;
  out->audio = 7;
  JobError error;
  out->rc = open_input(path.c_str(), &out->context, &out->video, &out->audio, &error);
  out->error = error.process;
  EXPECT_STREQ(error.job, error.process);
}

class OpenInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    ClipSpec base;
    base.frames = 6;
    base.width = 160;
    base.height = 120;

    make(base, "video_only.mp4", [](ClipSpec &) {});
    make(base, "audio_first.mkv", [](ClipSpec &s) {
      s.audio_codec = "aac";
      s.audio_first = true;
    });
    make(base, "two_video_audio.mkv", [](ClipSpec &s) {
      s.two_video = true;
      s.audio_codec = "ac3";
    });
    make(base, "tone.mka", [](ClipSpec &s) {
      s.video = false;
      s.audio_codec = "pcm";
    });
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  template <typename Edit>
  static void make(ClipSpec clip_spec, const char *name, Edit edit) {
    edit(clip_spec);
    clip_spec.out_path = dir_->file(name);
    std::string error;
    ASSERT_TRUE(generate_clip(clip_spec, &error)) << name << ": " << error;
  }
  static std::string path(const char *name) { return dir_->file(name); }

  static TempDir *dir_;
};

TempDir *OpenInputTest::dir_ = nullptr;

TEST_F(OpenInputTest, PicksTheFirstVideoAndTheFirstAudioStream) {
  struct Case {
    const char *file;
    int video;
    int audio;
    int width;
  };
  const Case cases[] = {
      {"video_only.mp4", 0, -1, 160},
      {"audio_first.mkv", 1, 0, 160},
      {"two_video_audio.mkv", 0, 2, 160},  // stream 1 is the 80x60 second video
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    Opened o;
    open(path(c.file), &o);
    ASSERT_EQ(o.rc, 0) << o.error;
    ASSERT_NE(o.context, nullptr);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.video, c.video);
    EXPECT_EQ(o.audio, c.audio);
    EXPECT_EQ(o.context->streams[o.video]->codecpar->width, c.width);
  }
}

TEST_F(OpenInputTest, FailuresReturnMinusThreeWithNoContext) {
  TempDir scratch;
  std::string whole = read_file(path("video_only.mp4"));
  write_file(scratch.file("cut.mp4"), whole.substr(0, whole.size() / 2));
  struct Case {
    const char *what;
    std::string path;
    const char *message;
  };
  const Case cases[] = {
      {"missing file", scratch.file("missing.mp4"), "open input: No such file or directory"},
      {"mp4 cut before its index", scratch.file("cut.mp4"), "open input: Invalid data found when processing input"},
      {"audio only", path("tone.mka"), "no video stream"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Opened o;
    open(c.path, &o);
    EXPECT_EQ(o.rc, -3);
    EXPECT_EQ(o.context, nullptr);
    EXPECT_EQ(o.video, -1);
    EXPECT_EQ(o.audio, -1);
    EXPECT_EQ(o.error, c.message);
  }
}

}  // namespace
