// Frame-rate and duration rules, on stream metadata set by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media/rates.h"

namespace {

struct FormatFreer {
  void operator()(AVFormatContext *c) const { avformat_free_context(c); }
};

// A format context with one video stream carrying the given metadata.
struct FakeInput {
  std::unique_ptr<AVFormatContext, FormatFreer> context{avformat_alloc_context()};
  AVStream *video = nullptr;

  FakeInput(AVRational avg, AVRational r, int64_t container_us, int64_t stream_duration, AVRational time_base) {
    video = avformat_new_stream(context.get(), nullptr);
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->avg_frame_rate = avg;
    video->r_frame_rate = r;
    video->time_base = time_base;
    video->duration = stream_duration;
    context->duration = container_us;
  }
};

constexpr int64_t kUnknown = AV_NOPTS_VALUE;

struct RateCase {
  const char *name;
  AVRational avg;
  AVRational r;
  double probe;
  double analysis;
  double stabilize;
};

const RateCase kRateCases[] = {
    {"plain 30", {30, 1}, {30, 1}, 30.0, 30.0, 30.0},
    {"ntsc", {30000, 1001}, {30000, 1001}, 30000.0 / 1001.0, 30000.0 / 1001.0, 30000.0 / 1001.0},
    {"avg unset, r 25", {0, 0}, {25, 1}, 25.0, 30.0, 30.0},
    {"avg zero over one, r 25", {0, 1}, {25, 1}, 25.0, 30.0, 30.0},
    {"both unset", {0, 0}, {0, 0}, 30.0, 30.0, 30.0},
    {"negative avg, r 24", {-24, 1}, {24, 1}, 24.0, 30.0, 30.0},
    {"negative denominator", {30, -1}, {50, -2}, 30.0, 30.0, 30.0},
    {"240 fps", {240, 1}, {240, 1}, 240.0, 240.0, 30.0},
    {"exactly 120 stays", {120, 1}, {120, 1}, 120.0, 120.0, 120.0},
    {"just above 120", {241, 2}, {241, 2}, 120.5, 120.5, 30.0},
    {"12.5 fps", {25, 2}, {25, 2}, 12.5, 12.5, 12.5},
    {"tiny rate, no lower limit", {1, 1000}, {1, 1000}, 0.001, 0.001, 0.001},
};

TEST(FrameRateRules, Table) {
  for (const RateCase &c : kRateCases) {
    SCOPED_TRACE(c.name);
    FakeInput input(c.avg, c.r, kUnknown, kUnknown, {1, 90000});
    EXPECT_DOUBLE_EQ(probe_fps(input.video), c.probe);
    EXPECT_DOUBLE_EQ(analysis_fps(input.video), c.analysis);
    EXPECT_DOUBLE_EQ(stabilize_fps(input.video), c.stabilize);
  }
}

struct DurationCase {
  const char *name;
  int64_t container_us;
  int64_t stream_duration;
  AVRational time_base;
  double probe;
  double pass;
};

const DurationCase kDurationCases[] = {
    {"container known", 12'500'000, 900, {1, 90}, 12.5, 12.5},
    {"container 0, stream known", 0, 900, {1, 90}, 0.0, 10.0},
    {"container negative, stream known", -2'000'000, 450, {1, 90}, -2.0, 5.0},
    {"container unknown, stream known", kUnknown, 900, {1, 90}, 10.0, 10.0},
    {"both unknown", kUnknown, kUnknown, {1, 90}, 0.0, 0.0},
    {"container 0, stream unknown", 0, kUnknown, {1, 90}, 0.0, 0.0},
    {"container negative, stream unknown", -1'000'000, kUnknown, {1, 90}, -1.0, -1.0},
    {"ntsc time base", kUnknown, 3003, {1001, 30000}, 3003.0 * (1001.0 / 30000.0), 3003.0 * (1001.0 / 30000.0)},
};

TEST(DurationRules, Table) {
  for (const DurationCase &c : kDurationCases) {
    SCOPED_TRACE(c.name);
    FakeInput input({30, 1}, {30, 1}, c.container_us, c.stream_duration, c.time_base);
    EXPECT_DOUBLE_EQ(probe_duration(input.context.get(), input.video), c.probe);
    EXPECT_DOUBLE_EQ(pass_duration(input.context.get(), input.video), c.pass);
  }
}

TEST(DurationRules, StreamDurationFormsTheTimeBaseQuotientFirst) {
  // (1 / 3) * 5 is 1.6666666666666665 in double precision while 5 / 3 is
  // 1.6666666666666667: the rule is quotient first, then the product.
  FakeInput input({30, 1}, {30, 1}, kUnknown, 5, {1, 3});
  double expected = 1.6666666666666665;
  ASSERT_NE(expected, 5.0 / 3.0);
  EXPECT_EQ(probe_duration(input.context.get(), input.video), expected);
  EXPECT_EQ(pass_duration(input.context.get(), input.video), expected);
}

}  // namespace
