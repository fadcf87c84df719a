// How the passes end when they do not succeed: stopped at each point where
// they look at the cancel request, on a full disk, and when the input cannot
// be read to its end. Each way leaves no file behind but what stood there
// before, and (in the sanitizer build) nothing allocated.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/open_file.h"
#include "pipeline/analysis_pass.h"
#include "pipeline/stabilize_pass.h"
#include "support/clips.h"
#include "support/test_support.h"
#include "videostabilizer.h"

namespace {

std::string clip_with_audio(const char *name) {
  ClipSpec clip_spec = small_clip(12);
  clip_spec.shake = 3;
  clip_spec.audio_codec = "aac";
  return make_clip(name, clip_spec);
}

AnalysisResult analyze(const std::string &input, const std::string &trf, const std::string &settings,
                       const JobControl &control = JobControl{}) {
  AnalysisRequest request;
  request.input_path = input.c_str();
  request.trf_path = trf.c_str();
  request.trf_mode = CreateMode::Exclusive;
  request.settings_path = settings.c_str();
  request.settings_mode = CreateMode::Replace;
  request.start = perf_now();
  return run_analysis(request, control);
}

StabilizeResult stabilize(const std::string &input, const std::string &output, const std::string &trf,
                          const JobControl &control = JobControl{}) {
  StabilizeRequest request;
  request.input_path = input.c_str();
  request.output_path = output.c_str();
  request.transforms.option = trf.c_str();
  request.start = perf_now();
  return run_stabilize(request, control);
}

// Stops a pass at its first, second, third ... look at the cancel request
// until it runs to its end; every stopped run ends cancelled with nothing
// written. Returns how many looks the whole run made.
template <typename Run>
int cancel_at_every_look(TempDir &dir, const std::vector<std::string> &before, Run run) {
  for (int look = 1; look < 10000; ++look) {
    JobControl control;
    control.cancel_at_look = look;
    PassOutcome outcome = run(control);
    if (outcome == PassOutcome::Done) return look - 1;
    EXPECT_EQ(outcome, PassOutcome::Cancelled) << "look " << look;
    EXPECT_EQ(dir.names(), before) << "look " << look;
  }
  ADD_FAILURE() << "the pass never got to its end";
  return 0;
}

TEST(JobFailures, AnAnalysisCancelledAtEachLookWritesNothing) {
  const std::string input = clip_with_audio("cancel.mp4");
  TempDir dir;
  const std::string trf = dir.file("a.trf"), settings = dir.file("a.json");
  int looks = cancel_at_every_look(dir, {}, [&](const JobControl &control) {
    return analyze(input, trf, settings, control).outcome;
  });
  // Before the first packet, after each packet, at the end of the input, at the finish.
  EXPECT_GT(looks, 12);
}

TEST(JobFailures, AStabilizationCancelledAtEachLookLeavesTheOutputAsItWas) {
  const std::string input = clip_with_audio("cancel.mp4");
  TempDir dir;
  const std::string trf = dir.file("a.trf"), output = dir.file("out.mkv");
  ASSERT_EQ(analyze(input, trf, dir.file("a.json")).outcome, PassOutcome::Done);
  write_file(output, "an earlier file");
  const std::vector<std::string> before = dir.names();
  int looks = cancel_at_every_look(dir, before, [&](const JobControl &control) {
    PassOutcome outcome = stabilize(input, output, trf, control).outcome;
    if (outcome != PassOutcome::Done) {
      EXPECT_EQ(read_file(output), "an earlier file");
    }
    return outcome;
  });
  EXPECT_GT(looks, 12);
  EXPECT_NE(read_file(output), "an earlier file");
}

// A full disk, in a child whose files cannot grow past a limit.
TEST(JobFailures, AFullDiskFailsTheStabilizationAndKeepsTheOldOutput) {
  const std::string input = clip_with_audio("full.mp4");
  TempDir dir;
  const std::string trf = dir.file("a.trf");
  ASSERT_EQ(analyze(input, trf, dir.file("a.json")).outcome, PassOutcome::Done);
  struct Case {
    const char *name;
    long long limit;
  } cases[] = {{"nothing can be written", 0}, {"the disk fills before the end", 4000}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    for (const char *ext : {".mp4", ".mkv", ".ts"}) {
      SCOPED_TRACE(ext);
      const std::string output = dir.file(std::string("out") + ext);
      write_file(output, "an earlier file");
      const std::vector<std::string> before = dir.names();
      int rc = run_with_file_size_limit(c.limit, [&] {
        StabilizeResult r = stabilize(input, output, trf);
        if (r.outcome != PassOutcome::Failed) return 1;
        std::string message = r.error.job;
        // Where the disk runs full decides which write sees it first.
        if (message == "write header failed" || message == "encode error" || message == "write trailer failed")
          return 0;
        std::fprintf(stderr, "failed with: %s\n", message.c_str());
        return 2;
      });
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(read_file(output), "an earlier file");
      EXPECT_EQ(dir.names(), before);
    }
  }
}

// The transforms file is written first, then the settings file: a disk that
// holds the one but not the other.
TEST(JobFailures, AFullDiskFailsTheAnalysisWithoutPartialFiles) {
  const std::string input = make_clip("analysis_full.mp4", small_clip(10));
  TempDir dir;
  const std::string trf = dir.file("a.trf"), settings = dir.file("a.json");
  ASSERT_EQ(analyze(input, trf, settings).outcome, PassOutcome::Done);
  const long long trf_size = static_cast<long long>(read_file(trf).size());
  const long long settings_size = static_cast<long long>(read_file(settings).size());
  std::remove(trf.c_str());
  std::remove(settings.c_str());
  // A long input path makes the settings file the larger of the two.
  std::string deep = dir.path();
  while (deep.size() < 700) deep += "/" + std::string(100, 'd');
  std::filesystem::create_directories(deep);
  const std::string long_input = deep + "/clip.mp4";
  std::filesystem::copy_file(input, long_input);
  ASSERT_GT(settings_size + 700, trf_size);

  struct Case {
    const char *name;
    long long limit;
    std::string message;
    bool trf_stays;
  } cases[] = {
      {"the transforms file does not fit", trf_size - 1, "cannot write transforms " + trf, false},
      {"the settings file does not fit", trf_size, "cannot write settings " + settings, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    write_file(settings, "an earlier settings file");
    int rc = run_with_file_size_limit(c.limit, [&] {
      AnalysisResult r = analyze(long_input, trf, settings);
      if (r.outcome != PassOutcome::Failed) return 1;
      return std::string(r.error.job) == c.message ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(file_exists(trf), c.trf_stays);
    EXPECT_EQ(read_file(settings), "an earlier settings file");
    std::remove(trf.c_str());
  }
}

// A read error in the middle of the file is no end of the input: the job
// fails instead of passing off what it read so far as the whole video.
TEST(JobFailures, AReadErrorMidFileFailsBothPasses) {
  ClipSpec clip_spec = small_clip(40);
  clip_spec.shake = 3;
  const std::string input = make_clip("read_error.ts", clip_spec);
  TempDir dir;
  const std::string trf = dir.file("a.trf");
  ASSERT_EQ(analyze(input, trf, dir.file("a.json")).outcome, PassOutcome::Done);
  std::remove(dir.file("a.json").c_str());
  const long long half = static_cast<long long>(read_file(input).size()) / 2;

  set_media_read_failure_after(half);
  AnalysisResult a = analyze(input, dir.file("b.trf"), dir.file("b.json"));
  StabilizeResult s = stabilize(input, dir.file("out.mp4"), trf);
  set_media_read_failure_after(-1);

  EXPECT_EQ(a.outcome, PassOutcome::Failed);
  EXPECT_STREQ(a.error.job, "read failed: Input/output error");
  EXPECT_STREQ(a.error.process, "read failed: Input/output error");
  EXPECT_EQ(s.outcome, PassOutcome::Failed);
  EXPECT_STREQ(s.error.job, "read failed: Input/output error");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"a.trf"});
}

}  // namespace

namespace {

// Through the interface, as a host sees it: an 8 MB clip whose output may
// not grow past 300 KB is a failed stabilization, not a short one reported
// as done.
TEST(JobFailures, AStabilizationOnAFullDiskIsNotReportedAsDone) {
  const std::string input = big_clip();
  ASSERT_GT(read_file(input).size(), 5u * 1024 * 1024);
  TempDir dir;
  const std::string output = dir.file("out.mp4");
  const std::string options = "{\"transforms\":\"" + dir.file("a.trf") + "\"}";
  ASSERT_EQ(analyze(input, dir.file("a.trf"), dir.file("a.json")).outcome, PassOutcome::Done);
  int rc = run_with_file_size_limit(300 * 1024, [&] {
    const char *json = nullptr;
    if (videostabilizer_stabilize(input.c_str(), output.c_str(), options.c_str(), &json) != 0) return 1;
    return std::string(videostabilizer_last_error()) == "encode error" ? 0 : 2;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(file_exists(output));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.json", "a.trf"}));
}

}  // namespace
