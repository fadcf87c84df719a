// The analysis pass end to end: generated clips with a known camera motion,
// the real sample films, and the ways an analysis ends without success.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "api/registry.h"
#include "api/session.h"
#include "formats/transforms_file.h"
#include "media/rates.h"
#include "motion/analysis_size.h"
#include "support/clips.h"
#include "support/json_fields.h"
#include "support/media_readback.h"
#include "support/test_support.h"
#include "videostabilizer.h"

namespace {

struct Analysis {
  int ok = 0;
  std::string report;
  std::string error;
};

Analysis analyze(const std::string &path, const char *settings = nullptr) {
  Analysis a;
  const char *json = nullptr;
  a.ok = videostabilizer_analyze(path.c_str(), settings, &json);
  if (json) a.report = json;
  a.error = videostabilizer_last_error();
  return a;
}

std::vector<PathPoint> load_path(const std::string &report) {
  std::vector<PathPoint> path;
  JobError error;
  EXPECT_TRUE(load_transforms(json_string(report, "transforms_path").c_str(), path, &error));
  return path;
}

// Runs an analysis through the polling interface; returns its final state.
int run_to_end(int id) {
  int state;
  while ((state = videostabilizer_status(id)) == SESSION_RUNNING) usleep(2000);
  return state;
}

}  // namespace

TEST(AnalysisSize, ShortSideBecomes256) {
  struct Case {
    int w, h, aw, ah;
  } cases[] = {{1920, 1080, 454, 256}, {1280, 720, 454, 256}, {640, 480, 340, 256}, {720, 576, 320, 256},
               {1080, 1920, 256, 454}, {64, 64, 256, 256},    {174, 98, 454, 254}};
  for (const Case &c : cases) {
    AnalysisSize s = analysis_size(c.w, c.h);
    EXPECT_EQ(s.width, c.aw) << c.w << "x" << c.h;
    EXPECT_EQ(s.height, c.ah) << c.w << "x" << c.h;
  }
}

TEST(FrameEstimate, TruncatesAndNeverOverflows) {
  EXPECT_EQ(frame_estimate(0.0, 30.0, 2.0), 2);
  EXPECT_EQ(frame_estimate(12 * 3600.0, 30.0, 2.0), 1296002);
  EXPECT_EQ(frame_estimate(1e300, 30.0, 2.0), INT32_MAX);
}

TEST(AnalysisPass, PathFollowsAPureTranslation) {
  ClipSpec clip_spec = small_clip(20);
  clip_spec.width = 320;
  clip_spec.height = 240;
  clip_spec.step_dx = 3.0;
  clip_spec.step_dy = -2.0;
  clip_spec.video_codec = "h264-nob";
  std::string clip = make_clip("translate.mp4", clip_spec);
  Analysis a = analyze(clip);
  ASSERT_EQ(a.ok, 1) << a.error;
  std::vector<PathPoint> path = load_path(a.report);
  std::vector<ClipMotion> truth = clip_motion(clip_spec);
  ASSERT_EQ(path.size(), truth.size());
  ASSERT_EQ(json_number(a.report, "frames"), static_cast<double>(truth.size()));
  // One analysis pixel is 240/256 full-resolution pixels here.
  const double tolerance = 1.0 + 240.0 / 256.0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    EXPECT_NEAR(path[i].x - path[i - 1].x, truth[i].dx, tolerance) << "frame " << i;
    EXPECT_NEAR(path[i].y - path[i - 1].y, truth[i].dy, tolerance) << "frame " << i;
  }
  EXPECT_EQ(path[0].x, 0.0);
  EXPECT_EQ(path[0].y, 0.0);
}

TEST(AnalysisPass, ShakinessOfStillAndShakenClips) {
  ClipSpec still = small_clip(20);
  Analysis a = analyze(make_clip("still.mp4", still));
  ASSERT_EQ(a.ok, 1) << a.error;
  ClipSpec shaken = small_clip(20);
  shaken.shake = 8.0;
  shaken.shake_angle = 0.02;
  Analysis b = analyze(make_clip("shaken.mp4", shaken));
  ASSERT_EQ(b.ok, 1) << b.error;
  double calm = json_number(a.report, "shakiness");
  double shaky = json_number(b.report, "shakiness");
  EXPECT_LT(calm, 0.02);
  EXPECT_GT(shaky, 0.2);
  EXPECT_GT(json_number(b.report, "max_shift_px"), 1.0);
}

TEST(AnalysisPass, EveryDecodedFrameOfABFrameClipCounts) {
  ClipSpec clip_spec = small_clip(23);
  clip_spec.video_codec = "h264";  // with B-frames: the decoder holds frames back
  clip_spec.shake = 3.0;
  std::string clip = make_clip("bframes.mp4", clip_spec);
  VideoReadback rb = read_video(clip);
  ASSERT_EQ(rb.frames, 23);
  Analysis a = analyze(clip);
  ASSERT_EQ(a.ok, 1) << a.error;
  EXPECT_EQ(json_number(a.report, "frames"), 23.0);
  EXPECT_EQ(load_path(a.report).size(), 23u);
}

TEST(AnalysisPass, PicturesOfAnyFormatAreAnalysed) {
  // The scaler follows the decoder's real picture format.
  const char *formats[][3] = {{"rgb.mkv", "libx264rgb", "rgb24"},
                              {"yuv444.mkv", "h264-nob", "yuv444p"},
                              {"yuv422.mkv", "h264-nob", "yuv422p"},
                              {"jpeg.mkv", "mjpeg", "yuvj420p"},
                              {"gray10.mkv", "ffv1", "gray10le"}};
  for (auto &f : formats) {
    if (video_encoder_name(f[1], f[2]).empty()) continue;
    ClipSpec clip_spec = small_clip(8);
    clip_spec.video_codec = f[1];
    clip_spec.pix_fmt = f[2];
    clip_spec.step_dx = 2.0;
    Analysis a = analyze(make_clip(f[0], clip_spec));
    EXPECT_EQ(a.ok, 1) << f[0] << ": " << a.error;
    EXPECT_EQ(json_number(a.report, "frames"), 8.0) << f[0];
  }
}

TEST(AnalysisPass, ClipsTooShortOrTooSmallFail) {
  ClipSpec one = small_clip(1);
  Analysis a = analyze(make_clip("one.mp4", one));
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.error, "no frames decoded");

  ClipSpec two = small_clip(2);
  two.step_dx = 4.0;
  Analysis b = analyze(make_clip("two.mp4", two));
  ASSERT_EQ(b.ok, 1) << b.error;
  EXPECT_EQ(json_number(b.report, "frames"), 2.0);
  std::vector<PathPoint> path = load_path(b.report);
  ASSERT_EQ(path.size(), 2u);
  EXPECT_EQ(path[0].x, 0.0);
  EXPECT_NEAR(path[1].x, 4.0, 2.0);

  ClipSpec small = small_clip(4);
  small.width = 64;
  small.height = 62;
  Analysis c = analyze(make_clip("small.mp4", small));
  EXPECT_EQ(c.ok, 0);
  EXPECT_EQ(c.error, "video too small to stabilize");
}

TEST(AnalysisPass, InputsThatAreNotVideos) {
  TempDir dir;
  write_file(dir.file("notes.txt"), "this is not a video\n");
  Analysis a = analyze(dir.file("notes.txt"));
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.error.rfind("open input: ", 0), 0u) << a.error;
  Analysis b = analyze(dir.file("missing.mp4"));
  EXPECT_EQ(b.ok, 0);
  EXPECT_EQ(b.error, "open input: No such file or directory");
}

TEST(AnalysisPass, SettingsPathInAMissingDirectory) {
  ClipSpec clip_spec = small_clip(6);
  std::string clip = make_clip("settings_fail.mp4", clip_spec);
  int id = videostabilizer_analyze_start(clip.c_str(), "/nonexistent-dir/%d/settings.json");
  ASSERT_GE(id, 0);
  ASSERT_EQ(run_to_end(id), SESSION_FAILED);
  std::string result = videostabilizer_result(id);
  EXPECT_EQ(json_string(result, "error"), "cannot write settings /nonexistent-dir/%d/settings.json");
  Session *s = session_lookup(id);
  ASSERT_NE(s, nullptr);
  std::string trf = s->trf_path;
  EXPECT_TRUE(file_exists(trf));  // the transforms file was written first
  EXPECT_EQ(s->frames, 6);
  videostabilizer_free(id);
  EXPECT_FALSE(file_exists(trf));  // freeing the failed job removes it

  // The blocking call hands the job's text over unchanged, percent signs included.
  Analysis b = analyze(clip, "/nonexistent-dir/%d/settings.json");
  EXPECT_EQ(b.ok, 0);
  EXPECT_EQ(b.error, "cannot write settings /nonexistent-dir/%d/settings.json");
}

TEST(AnalysisPass, CancelDuringThePass) {
  ClipSpec clip_spec = small_clip(120);
  clip_spec.shake = 4.0;
  std::string clip = make_clip("long.mp4", clip_spec);
  int id = videostabilizer_analyze_start(clip.c_str(), nullptr);
  ASSERT_GE(id, 0);
  Session *s = session_lookup(id);
  ASSERT_NE(s, nullptr);
  while (videostabilizer_status(id) == SESSION_RUNNING && s->frames_done.load() < 2) usleep(500);
  videostabilizer_cancel(id);
  int state = run_to_end(id);
  // A very fast machine may finish first; the cancel then changes nothing.
  if (state == SESSION_CANCELLED) {
    EXPECT_STREQ(s->error, "");
    EXPECT_FALSE(file_exists(s->trf_path));
    EXPECT_FALSE(file_exists(s->tmp_settings_path));
    char found[1024];
    EXPECT_FALSE(registry_lookup(clip.c_str(), found));
    EXPECT_EQ(std::string(videostabilizer_result(id)), "{\"ok\":false,\"error\":\"\"}");
  } else {
    EXPECT_EQ(state, SESSION_DONE);
  }
  videostabilizer_free(id);
}

TEST(AnalysisPass, ProcessesRunningAtOnceWriteFilesOfTheirOwn) {
  ClipSpec clip_spec = small_clip(12);
  std::string clip = make_clip("two_process.mp4", clip_spec);
  TempDir tmp;
  std::string old_tmpdir = getenv("TMPDIR") ? getenv("TMPDIR") : "";
  setenv("TMPDIR", tmp.path().c_str(), 1);
  // Both processes number their temporary files from 1 and analyze at the
  // same moment; each must end with files of its own, untouched by the other.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    const char *json = nullptr;
    int ok = videostabilizer_analyze(clip.c_str(), nullptr, &json);
    std::string line = ok ? json : "";
    ssize_t wrote = write(fds[1], line.data(), line.size());
    _exit(ok == 1 && wrote == static_cast<ssize_t>(line.size()) ? 0 : 1);
  }
  close(fds[1]);
  Analysis a = analyze(clip);
  std::string theirs;
  char buf[4096];
  ssize_t got;
  while ((got = read(fds[0], buf, sizeof buf)) > 0) theirs.append(buf, static_cast<std::size_t>(got));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(a.ok, 1) << a.error;
  for (const char *key : {"transforms_path", "settings_path"}) {
    std::string mine_path = json_string(a.report, key), their_path = json_string(theirs, key);
    EXPECT_NE(mine_path, their_path) << key;
    EXPECT_TRUE(file_exists(mine_path));
    EXPECT_TRUE(file_exists(their_path));
  }
  EXPECT_EQ(load_path(a.report).size(), 12u);
  EXPECT_EQ(load_path(theirs).size(), 12u);
  if (old_tmpdir.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", old_tmpdir.c_str(), 1);
}

TEST(AnalysisPass, PlantedLinkIsNotFollowed) {
  ClipSpec clip_spec = small_clip(6);
  std::string clip = make_clip("link.mp4", clip_spec);
  TempDir tmp;
  std::string old_tmpdir = getenv("TMPDIR") ? getenv("TMPDIR") : "";
  setenv("TMPDIR", tmp.path().c_str(), 1);
  std::string victim = tmp.file("victim");
  write_file(victim, "keep me");
  // Links at the names of the next numbers: the generator skips taken names,
  // so none of them is written through.
  for (int n = 1; n < 400; ++n) {
    std::string base = tmp.file("vsb_" + std::to_string(n));
    ASSERT_EQ(symlink(victim.c_str(), (base + ".trf").c_str()), 0);
  }
  Analysis a = analyze(clip);
  EXPECT_EQ(read_file(victim), "keep me");
  if (a.ok) {
    struct stat st;
    ASSERT_EQ(lstat(json_string(a.report, "transforms_path").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
  }
  if (old_tmpdir.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", old_tmpdir.c_str(), 1);
}

TEST(AnalysisPass, MegamindAnalyzesEveryDecodedFrame) {
  REQUIRE_SHARED_MEDIA(film, "Megamind.avi");
  VideoReadback rb = read_video(film);
  ASSERT_GT(rb.frames, 2);
  Analysis a = analyze(film);
  ASSERT_EQ(a.ok, 1) << a.error;
  EXPECT_EQ(json_number(a.report, "frames"), static_cast<double>(rb.frames));
}

TEST(AnalysisPass, DamagedFilmEndsCleanly) {
  REQUIRE_SHARED_MEDIA(film, "Megamind_bugy.avi");
  Analysis a = analyze(film);
  if (a.ok) {
    EXPECT_TRUE(json_valid(a.report));
  } else {
    EXPECT_FALSE(a.error.empty());
  }
}
