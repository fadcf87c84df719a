// The stabilize pass end to end: analysis then stabilization of generated
// clips and the real sample film, the transforms sources, the containers, the
// timing of the output, and the ways a stabilization ends without success.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include <unistd.h>

#include "api/session.h"
#include "formats/transforms_file.h"
#include "support/clips.h"
#include "support/json_fields.h"
#include "support/media_readback.h"
#include "support/test_support.h"
#include "videostabilizer.h"

namespace {

const std::string kNoTransforms = "no transforms \xE2\x80\x94 run analyze first";

struct Job {
  int ok = 0;
  std::string report;
  std::string error;
};

Job analyze(const std::string &input) {
  Job j;
  const char *json = nullptr;
  j.ok = videostabilizer_analyze(input.c_str(), nullptr, &json);
  if (json) j.report = json;
  j.error = videostabilizer_last_error();
  return j;
}

Job stabilize(const std::string &input, const std::string &output, const char *options = nullptr) {
  Job j;
  const char *json = nullptr;
  j.ok = videostabilizer_stabilize(input.c_str(), output.c_str(), options, &json);
  if (json) j.report = json;
  j.error = videostabilizer_last_error();
  return j;
}

int run_to_end(int id) {
  int state;
  while ((state = videostabilizer_status(id)) == SESSION_RUNNING) usleep(2000);
  return state;
}

// Mean of |dx| + |dy| per frame step of a clip, as the library's own analysis
// measures it.
double measured_motion(const std::string &clip) {
  Job a = analyze(clip);
  EXPECT_EQ(a.ok, 1) << a.error;
  std::vector<PathPoint> path;
  JobError error;
  EXPECT_TRUE(load_transforms(json_string(a.report, "transforms_path").c_str(), path, &error));
  double sum = 0.0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    sum += std::fabs(path[i].x - path[i - 1].x) + std::fabs(path[i].y - path[i - 1].y);
  }
  return path.size() > 1 ? sum / static_cast<double>(path.size() - 1) : 0.0;
}

}  // namespace

TEST(StabilizePass, ShakenClipComesOutSteady) {
  ClipSpec clip_spec;
  clip_spec.width = 320;
  clip_spec.height = 240;
  clip_spec.frames = 60;
  clip_spec.shake = 6.4;  // translation steps of about 2% of the width
  clip_spec.shake_angle = 0.017;
  std::string clip = make_clip("shaky.mp4", clip_spec);
  TempDir dir;
  std::string out = dir.file("steady.mp4");
  double before = measured_motion(clip);
  Job s = stabilize(clip, out);
  ASSERT_EQ(s.ok, 1) << s.error;
  EXPECT_EQ(json_string(s.report, "output"), out);
  EXPECT_EQ(json_number(s.report, "frames"), 60.0);
  EXPECT_GT(json_number(s.report, "crop_percent"), 0.0);
  double after = measured_motion(out);
  std::printf("mean |dx|+|dy| per frame: input %.3f, stabilized %.3f (%.0f%%)\n", before, after,
              100.0 * after / before);
  EXPECT_LE(after, 0.3 * before) << "before " << before << " after " << after;
}

TEST(StabilizePass, StillClipWithFullFrameKeepsItsPixels) {
  ClipSpec clip_spec;
  clip_spec.width = 320;
  clip_spec.height = 240;
  clip_spec.frames = 20;
  clip_spec.video_codec = "h264-nob";
  std::string clip = make_clip("still.mp4", clip_spec);
  TempDir dir;
  std::string out = dir.file("same.mp4");
  ASSERT_EQ(analyze(clip).ok, 1);
  Job s = stabilize(clip, out, "{\"crop\":\"max\",\"sharpen\":false}");
  ASSERT_EQ(s.ok, 1) << s.error;
  EXPECT_EQ(json_number(s.report, "crop_percent"), 0.0);
  int w = 0, h = 0, w2 = 0, h2 = 0;
  auto in_frames = read_luma_frames(clip, &w, &h);
  auto out_frames = read_luma_frames(out, &w2, &h2);
  ASSERT_EQ(out_frames.size(), in_frames.size());
  EXPECT_EQ(w2, w);
  EXPECT_GT(luma_psnr(in_frames, out_frames), 40.0);
}

TEST(StabilizePass, EveryContainerReadsBackWithEveryFrame) {
  ClipSpec clip_spec;
  clip_spec.width = 160;
  clip_spec.height = 120;
  clip_spec.frames = 24;
  clip_spec.video_codec = "h264";  // B-frames: the decoder holds frames back
  clip_spec.shake = 3.0;
  std::string clip = make_clip("containers.mp4", clip_spec);
  ASSERT_EQ(analyze(clip).ok, 1);
  TempDir dir;
  for (const char *name : {"o.mp4", "o.m4v", "o.mov", "o.MKV", "o.avi", "o.ts", "noext"}) {
    std::string out = dir.file(name);
    Job s = stabilize(clip, out);
    ASSERT_EQ(s.ok, 1) << name << ": " << s.error;
    VideoReadback rb = read_video(out);
    EXPECT_EQ(rb.frames, 24) << name;
    EXPECT_EQ(rb.decode_errors, 0) << name;
    EXPECT_EQ(rb.codec, "h264") << name;
    EXPECT_EQ(rb.width, 160) << name;
  }
  std::string webm = dir.file("o.webm");
  Job w = stabilize(clip, webm);
  EXPECT_EQ(w.ok, 0);
  EXPECT_EQ(w.error, "write header failed");
  EXPECT_FALSE(file_exists(webm));
}

TEST(StabilizePass, OutputKeepsTheInputTiming) {
  struct Case {
    const char *name;
    int num, den;
    bool vfr;
  } cases[] = {{"rate12_5.mkv", 25, 2, false}, {"ntsc.mp4", 30000, 1001, false}, {"vfr.mkv", 30, 1, true}};
  TempDir dir;
  for (const Case &c : cases) {
    ClipSpec clip_spec;
    clip_spec.width = 160;
    clip_spec.height = 120;
    clip_spec.frames = 30;
    clip_spec.fps_num = c.num;
    clip_spec.fps_den = c.den;
    clip_spec.vfr = c.vfr;
    clip_spec.video_codec = "h264-nob";
    clip_spec.shake = 2.0;
    std::string clip = make_clip(c.name, clip_spec);
    ASSERT_EQ(analyze(clip).ok, 1) << c.name;
    std::string out = dir.file(std::string("out_") + c.name);
    Job s = stabilize(clip, out);
    ASSERT_EQ(s.ok, 1) << c.name << ": " << s.error;
    VideoReadback in = read_video(clip), res = read_video(out);
    ASSERT_EQ(res.frames, in.frames) << c.name;
    double frame = static_cast<double>(c.den) / c.num;
    for (std::size_t i = 0; i < in.times.size(); ++i) {
      EXPECT_NEAR(res.times[i] - res.times[0], in.times[i] - in.times[0], 0.002) << c.name << " frame " << i;
    }
    double in_len = in.times.back() - in.times.front(), out_len = res.times.back() - res.times.front();
    EXPECT_NEAR(out_len, in_len, frame) << c.name;
  }
}

TEST(StabilizePass, PicturesOfOtherFormatsAreConverted) {
  const char *formats[][3] = {{"yuv444.mkv", "h264-nob", "yuv444p"}, {"rgb.mkv", "libx264rgb", "rgb24"}};
  TempDir dir;
  for (auto &f : formats) {
    if (video_encoder_name(f[1], f[2]).empty()) continue;
    ClipSpec clip_spec;
    clip_spec.width = 160;
    clip_spec.height = 120;
    clip_spec.frames = 8;
    clip_spec.video_codec = f[1];
    clip_spec.pix_fmt = f[2];
    clip_spec.shake = 2.0;
    std::string clip = make_clip(f[0], clip_spec);
    ASSERT_EQ(analyze(clip).ok, 1) << f[0];
    Job s = stabilize(clip, dir.file(std::string("out_") + f[0]));
    EXPECT_EQ(s.ok, 1) << f[0] << ": " << s.error;
    EXPECT_EQ(read_video(dir.file(std::string("out_") + f[0])).frames, 8) << f[0];
  }
}

TEST(StabilizePass, SizesItCannotRender) {
  struct Case {
    const char *name;
    int w, h;
    const char *codec, *pix;
    const char *message;
  } cases[] = {{"odd.mkv", 65, 64, "ffv1", "yuv444p", "unsupported video 65x64 (need even, >=64)"},
               {"narrow.mkv", 62, 100, "h264-nob", "yuv420p", "unsupported video 62x100 (need even, >=64)"}};
  TempDir dir;
  for (const Case &c : cases) {
    ClipSpec clip_spec;
    clip_spec.width = c.w;
    clip_spec.height = c.h;
    clip_spec.frames = 3;
    clip_spec.video_codec = c.codec;
    clip_spec.pix_fmt = c.pix;
    std::string clip = make_clip(c.name, clip_spec);
    Job s = stabilize(clip, dir.file("out.mp4"));
    EXPECT_EQ(s.ok, 0);
    EXPECT_EQ(s.error, c.message);
  }
  // 64 x 64 is the smallest accepted size.
  ClipSpec tiny;
  tiny.width = 64;
  tiny.height = 64;
  tiny.frames = 6;
  std::string clip = make_clip("tiny.mp4", tiny);
  ASSERT_EQ(analyze(clip).ok, 1);
  EXPECT_EQ(stabilize(clip, dir.file("tiny_out.mp4")).ok, 1);
}

TEST(StabilizePass, EachTransformsSourceAndItsFailure) {
  ClipSpec clip_spec;
  clip_spec.width = 160;
  clip_spec.height = 120;
  clip_spec.frames = 10;
  std::string clip = make_clip("sources.mp4", clip_spec);
  TempDir dir;
  std::string out = dir.file("out.mp4");

  // No analysis of this input in this process: the job's own temporary name
  // is reported, and a file there is never read.
  int id = videostabilizer_stabilize_start(clip.c_str(), out.c_str(), nullptr);
  ASSERT_GE(id, 0);
  std::string own = g_sessions[id].trf_path;
  ASSERT_EQ(run_to_end(id), SESSION_FAILED);
  EXPECT_EQ(json_string(videostabilizer_result(id), "error"), kNoTransforms);
  EXPECT_EQ(std::string(videostabilizer_last_error()), "cannot read transforms " + own + " (run analyze first)");
  videostabilizer_free(id);

  // A named transforms file that does not exist.
  std::string missing = dir.file("missing.trf");
  std::string options = "{\"transforms\":\"" + missing + "\"}";
  Job a = stabilize(clip, out, options.c_str());
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.error, kNoTransforms);

  // A transforms file of one row.
  std::string one = dir.file("one.trf");
  write_file(one, "VID.STAB 1\nF 1 0 0 0\n");
  options = "{\"transforms\":\"" + one + "\"}";
  int id2 = videostabilizer_stabilize_start(clip.c_str(), out.c_str(), options.c_str());
  ASSERT_EQ(run_to_end(id2), SESSION_FAILED);
  EXPECT_EQ(std::string(videostabilizer_last_error()),
            "transforms file " + one + " has < 2 frames (run analyze first)");
  videostabilizer_free(id2);

  // A settings file without a transforms line: nothing else is tried.
  std::string empty_settings = dir.file("settings.json");
  write_file(empty_settings, "{\n  \"engine\": \"x\"\n}\n");
  options = "{\"settings\":\"" + empty_settings + "\"}";
  Job c = stabilize(clip, out, options.c_str());
  EXPECT_EQ(c.ok, 0);
  EXPECT_EQ(c.error, kNoTransforms);

  // A settings file naming a good transforms file works; so does the
  // transforms option itself, and the registry after an analysis.
  Job an = analyze(clip);
  ASSERT_EQ(an.ok, 1);
  options = "{\"settings\":\"" + json_string(an.report, "settings_path") + "\"}";
  EXPECT_EQ(stabilize(clip, out, options.c_str()).ok, 1);
  options = "{\"transforms\":\"" + json_string(an.report, "transforms_path") + "\"}";
  EXPECT_EQ(stabilize(clip, out, options.c_str()).ok, 1);
  EXPECT_EQ(stabilize(clip, out).ok, 1);
}

TEST(StabilizePass, OutputInAMissingDirectory) {
  ClipSpec clip_spec;
  clip_spec.width = 160;
  clip_spec.height = 120;
  clip_spec.frames = 6;
  std::string clip = make_clip("nodir.mp4", clip_spec);
  ASSERT_EQ(analyze(clip).ok, 1);
  Job s = stabilize(clip, "/nonexistent-dir/out.mp4");
  EXPECT_EQ(s.ok, 0);
  EXPECT_EQ(s.error, "cannot open output file /nonexistent-dir/out.mp4");
}

TEST(StabilizePass, CancelBeforeAndDuringTheFrameLoop) {
  ClipSpec clip_spec;
  clip_spec.width = 160;
  clip_spec.height = 120;
  clip_spec.frames = 150;
  clip_spec.shake = 3.0;
  std::string clip = make_clip("cancel.mp4", clip_spec);
  ASSERT_EQ(analyze(clip).ok, 1);
  TempDir dir;
  std::string out = dir.file("cancelled.mp4");
  int id = videostabilizer_stabilize_start(clip.c_str(), out.c_str(), nullptr);
  ASSERT_GE(id, 0);
  videostabilizer_cancel(id);  // most likely before the frame loop
  EXPECT_EQ(run_to_end(id), SESSION_CANCELLED);
  EXPECT_EQ(std::string(videostabilizer_result(id)), "{\"ok\":false,\"error\":\"\"}");
  videostabilizer_free(id);
  EXPECT_FALSE(file_exists(out));  // the job opened it, so freeing removes it

  // Freeing the cancelled job also forgot the analysis of its input.
  ASSERT_EQ(analyze(clip).ok, 1);
  id = videostabilizer_stabilize_start(clip.c_str(), out.c_str(), nullptr);
  Session *s = session_lookup(id);
  while (videostabilizer_status(id) == SESSION_RUNNING && s->frames_done.load() < 3) usleep(500);
  std::string progress = videostabilizer_progress(id);
  videostabilizer_cancel(id);
  int state = run_to_end(id);
  EXPECT_TRUE(state == SESSION_CANCELLED || state == SESSION_DONE);
  if (state == SESSION_CANCELLED) {
    EXPECT_LT(s->frames, 150);
  }
  videostabilizer_free(id);
}

TEST(StabilizePass, FreeingAFailedJobKeepsAFileItNeverOpened) {
  ClipSpec clip_spec;
  clip_spec.width = 160;
  clip_spec.height = 120;
  clip_spec.frames = 6;
  std::string clip = make_clip("keep.mp4", clip_spec);
  TempDir dir;
  std::string out = dir.file("precious.mp4");
  write_file(out, "not ours");
  // No transforms: the job fails before it opens the output.
  std::string options = "{\"transforms\":\"" + dir.file("none.trf") + "\"}";
  Job s = stabilize(clip, out, options.c_str());
  EXPECT_EQ(s.ok, 0);
  EXPECT_EQ(read_file(out), "not ours");
}

TEST(StabilizePass, MegamindKeepsEveryFrame) {
  REQUIRE_SHARED_MEDIA(film, "Megamind.avi");
  VideoReadback in = read_video(film);
  ASSERT_EQ(analyze(film).ok, 1);
  TempDir dir;
  std::string out = dir.file("megamind.mp4");
  Job s = stabilize(film, out, "{\"keep_audio\":false}");
  ASSERT_EQ(s.ok, 1) << s.error;
  VideoReadback res = read_video(out);
  EXPECT_EQ(res.frames, in.frames);
  EXPECT_EQ(res.decode_errors, 0);
}
