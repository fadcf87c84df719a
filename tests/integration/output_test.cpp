// Output encoding and muxing: the rules as pure functions, and real files
// written through the module and read back with FFmpeg.
#include "mux/output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "support/output_job.h"
#include "support/test_support.h"

namespace {

constexpr int kW = 128, kH = 96;

// The encoder's statistics are not wanted in the test log.
const int kQuiet = (av_log_set_level(AV_LOG_ERROR), 0);

// ------------------------------------------------------------------ rules ---

TEST(OutputRules, FormatFollowsTheLastDotOfThePath) {
  const struct {
    const char *path, *format;
  } cases[] = {
      {"out.mp4", "mp4"},         {"out.m4v", "mp4"},         {"out.mov", "mov"},
      {"out.mkv", "matroska"},    {"out.MKV", "matroska"},    {"out.Mkv", "matroska"},
      {"out.webm", "webm"},       {"out.WebM", "webm"},       {"out.avi", "avi"},
      {"out.ts", "mpegts"},       {"clip.tar.ts", "mpegts"},  {"out.flv", "mp4"},
      {"out", "mp4"},             {"out.", "mp4"},            {"C:\\clips.old\\out", "mp4"},
      {"/tmp/a.mkv/out", "mp4"},  {"out.mkv.bak", "mp4"},     {".ts", "mpegts"},
  };
  for (const auto &c : cases) EXPECT_STREQ(output_format_name(c.path), c.format) << c.path;
}

TEST(OutputRules, BitRate) {
  const struct {
    std::int64_t container;
    int w, h;
    double fps;
    std::int64_t expected;
  } cases[] = {
      {3000000, 1920, 1080, 25, 3000000},   {200000, 1920, 1080, 25, 500000},
      {40000000, 320, 240, 25, 10000000},   {0, 1920, 1080, 25, 10000000},
      {-1, 320, 240, 5, 500000},            {0, 640, 480, 25, 7680000},
      {0, 640, 480, 0, 1228800},            // no rate: 4 x width x height
      {0, 640, 480, -3, 1228800},           {0, 640, 480, NAN, 1228800},
      {0, 1 << 30, 1 << 30, 1e300, 10000000},
  };
  for (const auto &c : cases)
    EXPECT_EQ(output_bit_rate(c.container, c.w, c.h, c.fps), c.expected)
        << c.container << " " << c.w << "x" << c.h << "@" << c.fps;
}

TEST(OutputRules, VariableRateDetection) {
  const struct {
    AVRational avg, r;
    bool vfr;
  } cases[] = {
      {{30000, 1001}, {30000, 1001}, false}, {{25, 1}, {50, 2}, false},
      {{30000, 1001}, {30, 1}, true},        {{1800000, 60061}, {30000, 1001}, true},
      {{0, 0}, {30, 1}, true},               {{30, 1}, {0, 0}, true},
      {{1000, 1}, {1000, 1}, true},          // rates above 120 are not believed
  };
  for (const auto &c : cases)
    EXPECT_EQ(input_is_variable_rate(c.avg, c.r), c.vfr) << c.avg.num << "/" << c.avg.den;
}

bool same(AVRational a, AVRational b) { return av_cmp_q(a, b) == 0; }

TEST(OutputRules, Timing) {
  const struct {
    const char *what;
    AVRational avg;
    double fps;
    AVRational stream_tb;
    bool vfr, cfr_only;
    AVRational frame_rate, time_base;
    bool keep;
    std::int64_t ticks;
  } cases[] = {
      {"29.97 rational", {30000, 1001}, 29.97, {1, 90000}, false, false, {30000, 1001}, {1001, 30000}, false, 1},
      {"12.5 rational", {25, 2}, 12.5, {1, 1000}, false, false, {25, 2}, {2, 25}, false, 1},
      {"unreduced", {60, 2}, 30, {1, 1000}, false, false, {30, 1}, {1, 30}, false, 1},
      {"no rational, 29.97", {0, 0}, 29.97, {1, 1000}, false, false, {30, 1}, {1, 30}, false, 1},
      {"no rational, 23.976", {0, 1}, 23.976, {1, 1000}, false, false, {24, 1}, {1, 24}, false, 1},
      {"no rational, 12.5", {0, 0}, 12.5, {1, 1000}, false, false, {13, 1}, {1, 13}, false, 1},
      {"no rational, 0.3", {0, 0}, 0.3, {1, 1000}, false, false, {30, 1}, {1, 30}, false, 1},
      {"above 120", {1000, 1}, 30, {1, 1000}, false, false, {30, 1}, {1, 30}, false, 1},
      {"vfr", {30, 1}, 30, {1, 1000}, true, false, {30, 1}, {1, 1000}, true, 33},
      {"vfr 90k", {30000, 1001}, 29.97, {1, 90000}, true, false, {30000, 1001}, {1, 90000}, true, 3003},
      {"vfr into avi", {30, 1}, 30, {1, 1000}, true, true, {30, 1}, {1, 30}, false, 1},
      {"vfr, coarse tb", {30, 1}, 30, {1, 10}, true, false, {30, 1}, {1, 30}, false, 1},
      {"vfr, no tb", {30, 1}, 30, {0, 1}, true, false, {30, 1}, {1, 30}, false, 1},
  };
  for (const auto &c : cases) {
    OutputVideoParams v;
    v.width = kW;
    v.height = kH;
    v.avg_frame_rate = c.avg;
    v.fps = c.fps;
    v.time_base = c.stream_tb;
    v.variable_rate = c.vfr;
    OutputTiming t = choose_output_timing(v, c.cfr_only);
    EXPECT_TRUE(same(t.frame_rate, c.frame_rate)) << c.what << ": " << t.frame_rate.num << "/" << t.frame_rate.den;
    EXPECT_TRUE(same(t.time_base, c.time_base)) << c.what << ": " << t.time_base.num << "/" << t.time_base.den;
    EXPECT_EQ(t.keep_timestamps, c.keep) << c.what;
    EXPECT_EQ(t.frame_ticks, c.ticks) << c.what;
  }
}

TEST(OutputRules, RescaleConvertsTimestampsAndDuration) {
  PacketPtr p(av_packet_alloc());
  p->pts = 1;
  p->dts = AV_NOPTS_VALUE;
  p->duration = 1;
  vs_rescale(p.get(), AVRational{1, 30}, AVRational{1, 15360});
  EXPECT_EQ(p->pts, 512);
  EXPECT_EQ(p->dts, AV_NOPTS_VALUE);
  EXPECT_EQ(p->duration, 512);

  p->pts = AV_NOPTS_VALUE;
  p->dts = 3003;
  p->duration = 0;
  vs_rescale(p.get(), AVRational{1, 90000}, AVRational{1001, 30000});
  EXPECT_EQ(p->pts, AV_NOPTS_VALUE);
  EXPECT_EQ(p->dts, 1);
  EXPECT_EQ(p->duration, 0);
}

TEST(OutputRules, SizeOfTheFile) {
  TempDir dir;
  write_file(dir.file("f"), std::string(1234, 'x'));
  EXPECT_EQ(output_size(dir.file("f").c_str(), 7), 1234);
  EXPECT_EQ(output_size(dir.file("missing").c_str(), 7), 7);
}

// ---------------------------------------------------------------- writing ---

std::unique_ptr<OutputJob> new_job() { return std::make_unique<OutputJob>(); }

OutputVideoParams cfr_params(AVRational rate) {
  OutputVideoParams v;
  v.width = kW;
  v.height = kH;
  v.avg_frame_rate = rate;
  v.fps = av_q2d(rate);
  v.time_base = av_inv_q(rate);
  v.variable_rate = false;
  return v;
}

// A moving gradient, different for every frame.
FramePtr make_frame() {
  FramePtr f(av_frame_alloc());
  f->format = AV_PIX_FMT_YUV420P;
  f->width = kW;
  f->height = kH;
  if (av_frame_get_buffer(f.get(), 0) < 0) return nullptr;
  return f;
}

void paint(AVFrame *f, int k) {
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) f->data[0][y * f->linesize[0] + x] = static_cast<std::uint8_t>(x * 2 + y + k * 3);
  for (int y = 0; y < kH / 2; ++y)
    for (int x = 0; x < kW / 2; ++x) {
      f->data[1][y * f->linesize[1] + x] = static_cast<std::uint8_t>(128 + x - k);
      f->data[2][y * f->linesize[2] + x] = static_cast<std::uint8_t>(128 - y + k);
    }
}

// Encodes one frame per timestamp (the last one as the decoder's drained
// frame), finishes and closes the file the way the stabilize pass does.
void encode_all(OutputContext *out, const std::vector<std::int64_t> &input_pts) {
  FramePtr frame = make_frame();
  ASSERT_TRUE(frame);
  for (std::size_t k = 0; k < input_pts.size(); ++k) {
    paint(frame.get(), static_cast<int>(k));
    if (k + 1 < input_pts.size())
      ASSERT_TRUE(output_encode_frame(out, frame.get(), input_pts[k]));
    else
      ASSERT_TRUE(output_encode_last_frame(out, frame.get(), input_pts[k]));
    ASSERT_EQ(out->encode_error, 0);
  }
  output_finish(out);
  output_close_file(out);
  output_commit(out);
  frame.reset();
  output_free(out);
}

std::vector<std::int64_t> indices(int n) {
  std::vector<std::int64_t> v;
  for (int k = 0; k < n; ++k) v.push_back(1000 + k);
  return v;
}

// Counts FFmpeg's error messages while a file is read back.
int g_logged_errors = 0;
void count_errors(void *, int level, const char *, va_list) {
  if (level <= AV_LOG_ERROR) ++g_logged_errors;
}

struct ReadBack {
  bool opened = false;
  std::string format;
  std::string codec;
  int width = 0, height = 0;
  int frames = 0;
  int errors = 0;                   // refused packets, corrupt frames, logged errors
  AVRational time_base{0, 1};
  AVRational avg_frame_rate{0, 1};
  double duration = 0;              // the stream's, in seconds
  std::vector<double> seconds;      // frame timestamps relative to the first
};

ReadBack read_back(const std::string &path) {
  ReadBack rb;
  g_logged_errors = 0;
  av_log_set_callback(count_errors);
  AVFormatContext *raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
    av_log_set_callback(av_log_default_callback);
    return rb;
  }
  InputContextPtr in(raw);
  rb.opened = avformat_find_stream_info(in.get(), nullptr) >= 0;
  int vi = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (!rb.opened || vi < 0) {
    rb.opened = false;
    av_log_set_callback(av_log_default_callback);
    return rb;
  }
  AVStream *st = in->streams[vi];
  rb.format = in->iformat->name;
  rb.codec = avcodec_get_name(st->codecpar->codec_id);
  rb.width = st->codecpar->width;
  rb.height = st->codecpar->height;
  rb.time_base = st->time_base;
  rb.avg_frame_rate = st->avg_frame_rate;
  if (st->duration != AV_NOPTS_VALUE)
    rb.duration = st->duration * av_q2d(st->time_base);
  else if (in->duration != AV_NOPTS_VALUE)
    rb.duration = in->duration / static_cast<double>(AV_TIME_BASE);  // Matroska keeps only the file's

  const AVCodec *dec = avcodec_find_decoder(st->codecpar->codec_id);
  CodecContextPtr ctx(avcodec_alloc_context3(dec));
  avcodec_parameters_to_context(ctx.get(), st->codecpar);
  if (avcodec_open2(ctx.get(), dec, nullptr) < 0) ++rb.errors;
  PacketPtr pkt(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  std::int64_t first = AV_NOPTS_VALUE;
  auto take_frames = [&] {
    while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
      ++rb.frames;
      if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT)) ++rb.errors;
      std::int64_t ts = frame->best_effort_timestamp;
      if (first == AV_NOPTS_VALUE) first = ts;
      rb.seconds.push_back(ts == AV_NOPTS_VALUE ? NAN : (ts - first) * av_q2d(st->time_base));
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(in.get(), pkt.get()) >= 0) {
    if (pkt->stream_index == vi && avcodec_send_packet(ctx.get(), pkt.get()) < 0) ++rb.errors;
    av_packet_unref(pkt.get());
    take_frames();
  }
  avcodec_send_packet(ctx.get(), nullptr);
  take_frames();
  rb.errors += g_logged_errors;
  av_log_set_callback(av_log_default_callback);
  return rb;
}

TEST(OutputFile, EveryContainerOfTheTableGivesAPlayableFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("in.a.dir"));
  const struct {
    const char *name, *demuxer;
  } cases[] = {
      {"out.mp4", "mov,mp4,m4a,3gp,3g2,mj2"}, {"out.m4v", "mov,mp4,m4a,3gp,3g2,mj2"},
      {"out.mov", "mov,mp4,m4a,3gp,3g2,mj2"}, {"out.mkv", "matroska,webm"},
      {"out.MKV", "matroska,webm"},           {"out.avi", "avi"},
      {"out.ts", "mpegts"},                   {"clip.tar.ts", "mpegts"},
      {"noextension", "mov,mp4,m4a,3gp,3g2,mj2"}, {"in.a.dir/out", "mov,mp4,m4a,3gp,3g2,mj2"},
  };
  const int n = 40;
  const AVRational rate{30000, 1001};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.file(c.name);
    auto job = new_job();
    OutputContext out;
    ASSERT_TRUE(open_output(&out, cfr_params(rate), path.c_str(), nullptr, job.get())) << job->error.process;
    EXPECT_STREQ(out.video_encoder->codec->name, "libx264");
    ASSERT_NO_FATAL_FAILURE(encode_all(&out, indices(n)));
    EXPECT_STREQ(job->error.process, "");

    ReadBack rb = read_back(path);
    ASSERT_TRUE(rb.opened);
    EXPECT_EQ(rb.format, c.demuxer);
    EXPECT_EQ(rb.codec, "h264");
    EXPECT_EQ(rb.width, kW);
    EXPECT_EQ(rb.height, kH);
    EXPECT_EQ(rb.frames, n);
    EXPECT_EQ(rb.errors, 0);
    EXPECT_GT(rb.time_base.num, 0);
    EXPECT_GT(rb.time_base.den, 0);
    EXPECT_NEAR(av_q2d(rb.avg_frame_rate), 30000.0 / 1001, 0.01)
        << rb.avg_frame_rate.num << "/" << rb.avg_frame_rate.den;
    ASSERT_EQ(rb.seconds.size(), static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) EXPECT_NEAR(rb.seconds[k], k * 1001.0 / 30000, 0.002) << "frame " << k;
    EXPECT_GT(output_size(path.c_str(), 0), 1000);
  }
}

TEST(OutputFile, EncoderSettings) {
  TempDir dir;
  auto job = new_job();
  OutputContext out;
  OutputVideoParams v = cfr_params(AVRational{25, 1});
  v.container_bit_rate = 200000;
  ASSERT_TRUE(open_output(&out, v, dir.file("s.mkv").c_str(), nullptr, job.get())) << job->error.process;
  const AVCodecContext *enc = out.video_encoder.get();
  EXPECT_EQ(enc->pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(enc->gop_size, 30);
  EXPECT_EQ(enc->max_b_frames, 0);
  EXPECT_EQ(enc->profile, FF_PROFILE_H264_MAIN);
  EXPECT_EQ(enc->bit_rate, 500000);
  EXPECT_TRUE(enc->flags & AV_CODEC_FLAG_GLOBAL_HEADER);
  EXPECT_TRUE(same(enc->time_base, AVRational{1, 25}));
  EXPECT_EQ(out.video_stream->index, 0);
  output_trailer(&out);
  output_close_file(&out);
  output_free(&out);
  EXPECT_EQ(out.video_encoder, nullptr);
  EXPECT_EQ(out.muxer, nullptr);
}

TEST(OutputFile, Mp4KeepsTheExactRate) {
  TempDir dir;
  std::string path = dir.file("rate.mp4");
  auto job = new_job();
  OutputContext out;
  ASSERT_TRUE(open_output(&out, cfr_params(AVRational{30, 1}), path.c_str(), nullptr, job.get())) << job->error.process;
  ASSERT_NO_FATAL_FAILURE(encode_all(&out, indices(60)));
  ReadBack rb = read_back(path);
  EXPECT_EQ(rb.frames, 60);
  EXPECT_TRUE(same(rb.avg_frame_rate, AVRational{30, 1})) << rb.avg_frame_rate.num << "/" << rb.avg_frame_rate.den;
  EXPECT_NEAR(rb.duration, 2.0, 1e-6);
}

TEST(OutputFile, ConstantRateOf12_5HasTheRightDuration) {
  TempDir dir;
  for (const char *name : {"slow.mp4", "slow.mkv", "slow.avi"}) {
    SCOPED_TRACE(name);
    std::string path = dir.file(name);
    auto job = new_job();
    OutputContext out;
    ASSERT_TRUE(open_output(&out, cfr_params(AVRational{25, 2}), path.c_str(), nullptr, job.get())) << job->error.process;
    ASSERT_NO_FATAL_FAILURE(encode_all(&out, indices(25)));
    ReadBack rb = read_back(path);
    EXPECT_EQ(rb.frames, 25);
    EXPECT_EQ(rb.errors, 0);
    EXPECT_NEAR(av_q2d(rb.avg_frame_rate), 12.5, 1e-6);
    EXPECT_NEAR(rb.duration, 2.0, 0.002);
    ASSERT_EQ(rb.seconds.size(), 25u);
    EXPECT_NEAR(rb.seconds[24], 24 / 12.5, 0.002);
  }
}

TEST(OutputFile, VariableRateKeepsTheTimestampsFromZero) {
  // Input timestamps in milliseconds: irregular spacing, one frame without a
  // timestamp (placed one frame after its predecessor) and one that goes
  // backwards (placed the same way, with the later frames keeping their
  // spacing from it).
  const std::int64_t N = AV_NOPTS_VALUE;
  const std::vector<std::int64_t> input = {5000, 5033, 5100, 5133, 5250, N,    5400, 5433,
                                           5500, 5600, 5566, 5640, 5700, 5900, 5933, 6000};
  const std::vector<double> expected = {0.000, 0.033, 0.100, 0.133, 0.250, 0.283, 0.400, 0.433,
                                        0.500, 0.600, 0.633, 0.707, 0.767, 0.967, 1.000, 1.067};
  TempDir dir;
  for (AVRational tb : {AVRational{1, 1000}, AVRational{1, 90000}}) {
    for (const char *name : {"vfr.mkv", "vfr.mp4", "vfr.ts", "vfr.mov"}) {
      SCOPED_TRACE(std::string(name) + " tb 1/" + std::to_string(tb.den));
      std::string path = dir.file(name);
      OutputVideoParams v = cfr_params(AVRational{30, 1});
      v.variable_rate = true;
      v.time_base = tb;
      std::vector<std::int64_t> ts;
      for (std::int64_t t : input) ts.push_back(t == N ? N : av_rescale_q(t, AVRational{1, 1000}, tb));
      auto job = new_job();
      OutputContext out;
      ASSERT_TRUE(open_output(&out, v, path.c_str(), nullptr, job.get())) << job->error.process;
      EXPECT_TRUE(out.timing.keep_timestamps);
      OutputContext *o = &out;
      FramePtr frame = make_frame();
      for (std::size_t k = 0; k < ts.size(); ++k) {
        paint(frame.get(), static_cast<int>(k));
        ASSERT_TRUE(output_encode_frame(o, frame.get(), ts[k]));
        if (k == 0) {
          EXPECT_EQ(out.start_pts, ts[0]);
        }
      }
      output_finish(o);
      output_close_file(o);
      output_commit(o);
      output_free(o);

      ReadBack rb = read_back(path);
      EXPECT_EQ(rb.errors, 0);
      ASSERT_EQ(rb.seconds.size(), expected.size());
      // Within one tick of the coarser of the two time bases (1 ms).
      for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_NEAR(rb.seconds[k], expected[k], 0.0011) << "frame " << k;
    }
  }
}

TEST(OutputFile, VariableRateIntoAviFallsBackToFrameNumbers) {
  TempDir dir;
  std::string path = dir.file("vfr.avi");
  OutputVideoParams v = cfr_params(AVRational{30, 1});
  v.variable_rate = true;
  v.time_base = AVRational{1, 1000};
  auto job = new_job();
  OutputContext out;
  ASSERT_TRUE(open_output(&out, v, path.c_str(), nullptr, job.get())) << job->error.process;
  EXPECT_FALSE(out.timing.keep_timestamps);
  ASSERT_NO_FATAL_FAILURE(encode_all(&out, {0, 100, 110, 500, 501, 502, 900, 990, 1000, 1400}));
  ReadBack rb = read_back(path);
  EXPECT_EQ(rb.frames, 10);
  EXPECT_EQ(rb.errors, 0);
  ASSERT_EQ(rb.seconds.size(), 10u);
  EXPECT_NEAR(rb.seconds[9], 9 / 30.0, 1e-6);
}

TEST(OutputFile, WebmCannotHoldH264) {
  TempDir dir;
  std::string path = dir.file("out.webm");
  auto job = new_job();
  OutputContext out;
  EXPECT_FALSE(open_output(&out, cfr_params(AVRational{30, 1}), path.c_str(), nullptr, job.get()));
  EXPECT_STREQ(job->error.process, "write header failed");
  EXPECT_STREQ(job->error.job, "write header failed");
  EXPECT_TRUE(dir.names().empty());  // the file it had begun beside the path is gone
  EXPECT_EQ(out.muxer, nullptr);
  EXPECT_EQ(out.video_encoder, nullptr);
  EXPECT_EQ(out.packet, nullptr);
}

TEST(OutputFile, UnopenableOutputPath) {
  TempDir dir;
  write_file(dir.file("plain"), "x");
  for (std::string path : {dir.file("missing/out.mp4"), dir.file("plain/out.mkv")}) {
    auto job = new_job();
    OutputContext out;
    EXPECT_FALSE(open_output(&out, cfr_params(AVRational{30, 1}), path.c_str(), nullptr, job.get()));
    std::string message = "cannot open output file " + path;
    EXPECT_EQ(std::string(job->error.process), message);
    EXPECT_EQ(std::string(job->error.job), message);
    EXPECT_FALSE(file_exists(path));
  }
}

TEST(OutputFile, AFailedOpenLeavesTheContextReusable) {
  TempDir dir;
  auto job = new_job();
  OutputContext out;
  EXPECT_FALSE(open_output(&out, cfr_params(AVRational{30, 1}), dir.file("no/dir.mp4").c_str(), nullptr, job.get()));
  std::string path = dir.file("second.mp4");
  ASSERT_TRUE(open_output(&out, cfr_params(AVRational{30, 1}), path.c_str(), nullptr, job.get())) << job->error.process;
  ASSERT_NO_FATAL_FAILURE(encode_all(&out, indices(5)));
  EXPECT_EQ(read_back(path).frames, 5);
}

// The audio hooks run at their places: the stream before the file is opened,
// the flush after every video packet is written and before the trailer.
struct HookLog {
  std::string path;
  std::vector<std::string> calls;
};

void add_stream_hook(OutputContext *out, void *arg) {
  auto *log = static_cast<HookLog *>(arg);
  log->calls.push_back(file_exists(log->path) ? "add_stream after open" : "add_stream");
  EXPECT_NE(out->video_stream, nullptr);
}

void flush_hook(OutputContext *out, void *arg) {
  auto *log = static_cast<HookLog *>(arg);
  // Drained: the encoder has nothing more to give.
  int r = avcodec_receive_packet(out->video_encoder.get(), out->packet.get());
  log->calls.push_back(r == AVERROR_EOF ? "flush" : "flush before video drained");
}

TEST(OutputFile, AudioHooksRunInOrder) {
  TempDir dir;
  HookLog log;
  log.path = dir.file("hooks.mp4");
  OutputAudioHooks hooks{add_stream_hook, flush_hook, &log};
  auto job = new_job();
  OutputContext out;
  ASSERT_TRUE(open_output(&out, cfr_params(AVRational{30, 1}), log.path.c_str(), &hooks, job.get())) << job->error.process;
  ASSERT_NO_FATAL_FAILURE(encode_all(&out, indices(8)));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"add_stream", "flush"}));
  EXPECT_EQ(read_back(log.path).frames, 8);
}

TEST(OutputFile, FramesAfterTheEndAreRefused) {
  // An encoder that has been flushed refuses further frames: the loop is told
  // to stop and the error flag is set, without a message.
  TempDir dir;
  auto job = new_job();
  OutputContext out;
  ASSERT_TRUE(open_output(&out, cfr_params(AVRational{30, 1}), dir.file("r.mkv").c_str(), nullptr, job.get()));
  FramePtr frame = make_frame();
  paint(frame.get(), 0);
  ASSERT_TRUE(output_encode_frame(&out, frame.get(), 0));
  EXPECT_EQ(out.submitted, 1);
  avcodec_send_frame(out.video_encoder.get(), nullptr);
  EXPECT_FALSE(output_encode_frame(&out, frame.get(), 1));
  EXPECT_EQ(out.encode_error, 1);
  EXPECT_EQ(out.submitted, 1);
  out.encode_error = 0;
  EXPECT_FALSE(output_encode_last_frame(&out, frame.get(), 1));
  EXPECT_EQ(out.encode_error, 1);
  EXPECT_STREQ(job->error.process, "");
  output_trailer(&out);
  output_close_file(&out);
  output_free(&out);
}

}  // namespace

namespace {

TEST(OutputRules, ParamsOfARealConstantRateInput) {
  REQUIRE_SHARED_MEDIA(path, "Megamind.avi");
  AVFormatContext *raw = nullptr;
  ASSERT_EQ(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), 0);
  InputContextPtr in(raw);
  ASSERT_GE(avformat_find_stream_info(in.get(), nullptr), 0);
  int vi = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  ASSERT_GE(vi, 0);
  const AVStream *st = in->streams[vi];
  OutputVideoParams v = output_video_params(in.get(), st, av_q2d(st->avg_frame_rate));
  EXPECT_EQ(v.width, st->codecpar->width);
  EXPECT_EQ(v.height, st->codecpar->height);
  EXPECT_EQ(v.container_bit_rate, in->bit_rate);
  EXPECT_FALSE(v.variable_rate);
  OutputTiming t = choose_output_timing(v, false);
  EXPECT_FALSE(t.keep_timestamps);
  EXPECT_TRUE(same(t.frame_rate, st->avg_frame_rate));
}

}  // namespace

namespace {

// A full disk, in a child whose files may not grow at all. The MPEG-TS
// muxer's header and the first small packets stay in the output's buffer,
// so the refusal only shows when the trailer flushes them. Returns a bit per
// expectation that failed.
int write_to_full_disk(const std::string &path, bool cancel) {
  auto job = new_job();
  OutputContext out;
  if (!open_output(&out, cfr_params(AVRational{30, 1}), path.c_str(), nullptr, job.get())) return 1;
  FramePtr frame = make_frame();
  for (int k = 0; k < 3; ++k) {
    paint(frame.get(), k);
    if (!output_encode_frame(&out, frame.get(), k)) return 2;
  }
  if (out.encode_error != 0) return 4;
  if (cancel) job->cancel_requested = 1;
  int failed = 0;
  if (output_finish(&out)) failed |= 8;
  if (std::string(job->error.process) != (cancel ? "" : "write trailer failed")) failed |= 16;
  if (out.encode_error != 0) failed |= 32;
  if (output_close_file(&out)) failed |= 64;
  output_free(&out);
  return failed;
}

void trailer_on_full_disk(bool cancel) {
  TempDir dir;
  std::string path = dir.file("full.ts");
  EXPECT_EQ(run_with_file_size_limit(0, [&] { return write_to_full_disk(path, cancel); }), 0);
  EXPECT_TRUE(dir.names().empty());  // nothing stands at the path, no partial file beside it
}

TEST(OutputFile, AFailedTrailerIsReported) { trailer_on_full_disk(false); }
TEST(OutputFile, AFailedTrailerIsSilentWhenCancelled) { trailer_on_full_disk(true); }

}  // namespace

namespace {

int write_noise_to_full_disk(const std::string &path) {
  auto job = new_job();
  OutputContext out;
  if (!open_output(&out, cfr_params(AVRational{30, 1}), path.c_str(), nullptr, job.get())) return 1;
  // Noise does not compress: the output's buffer fills within a few frames.
  FramePtr frame = make_frame();
  std::uint32_t seed = 1;
  int k = 0;
  for (; k < 500 && out.encode_error == 0; ++k) {
    for (int p = 0; p < 3; ++p)
      for (int i = 0; i < frame->linesize[p] * (p == 0 ? kH : kH / 2); ++i) {
        seed = seed * 1664525u + 1013904223u;
        frame->data[p][i] = static_cast<std::uint8_t>(seed >> 24);
      }
    // The write fails, but the loop is told to go on with its packet.
    if (!output_encode_frame(&out, frame.get(), k)) return 2;
  }
  int failed = 0;
  if (out.encode_error != 1) failed |= 4;
  if (std::string(job->error.process) != "write frame failed") failed |= 8;
  if (out.submitted != k) failed |= 16;
  output_trailer(&out);
  if (output_close_file(&out)) failed |= 32;
  output_free(&out);
  return failed;
}

TEST(OutputFile, AFailedWriteInTheLoopIsReported) {
  TempDir dir;
  std::string path = dir.file("full.ts");
  EXPECT_EQ(run_with_file_size_limit(20000, [&] { return write_noise_to_full_disk(path); }), 0);
  EXPECT_TRUE(dir.names().empty());
}

}  // namespace
