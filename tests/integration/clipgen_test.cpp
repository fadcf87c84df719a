// The clip generator: what it writes must read back as asked, and the motion
// it reports must be the motion in the pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include "clipgen/clipgen.h"
#include "support/media_readback.h"
#include "support/test_support.h"

namespace {

const int kQuiet = (av_log_set_level(AV_LOG_FATAL), 0);

// What a stream of a clip holds, found by decoding all of it.
struct StreamFacts {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0;
  int height = 0;
  int video_delay = 0;       // reorder depth: > 0 when B-frames are used
  AVRational avg_rate{0, 1};
  AVRational r_rate{0, 1};
  int decoded_format = -1;   // pixel or sample format of the decoded frames
  int sample_rate = 0;
  int channels = 0;
  long long frames = 0;      // decoded frames
  long long samples = 0;     // decoded audio samples
  std::vector<double> times; // presentation times of decoded video frames, seconds
};

struct ClipFacts {
  std::vector<StreamFacts> streams;
  // Luma planes of the first video stream's frames, width x height each.
  std::vector<std::vector<std::uint8_t>> luma;
  std::string error;
};

struct Decoder {
  AVCodecContext *context = nullptr;
  ~Decoder() { avcodec_free_context(&context); }
};

void take_frames(AVCodecContext *decoder, AVFrame *frame, AVStream *stream, StreamFacts &facts,
                 std::vector<std::vector<std::uint8_t>> *luma) {
  while (avcodec_receive_frame(decoder, frame) >= 0) {
    ++facts.frames;
    facts.decoded_format = frame->format;
    if (facts.type == AVMEDIA_TYPE_AUDIO) facts.samples += frame->nb_samples;
    if (facts.type == AVMEDIA_TYPE_VIDEO) {
      facts.times.push_back(static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream->time_base));
      if (luma) {
        std::vector<std::uint8_t> plane(static_cast<std::size_t>(frame->width) * frame->height);
        for (int y = 0; y < frame->height; ++y) {
          std::copy_n(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0], frame->width,
                      plane.begin() + static_cast<std::ptrdiff_t>(y) * frame->width);
        }
        luma->push_back(std::move(plane));
      }
    }
    av_frame_unref(frame);
  }
}

ClipFacts read_clip(const std::string &path) {
  ClipFacts clip;
  AVFormatContext *input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) {
    clip.error = "cannot open " + path;
    return clip;
  }
  if (avformat_find_stream_info(input, nullptr) < 0) {
    avformat_close_input(&input);
    clip.error = "no stream info";
    return clip;
  }
  std::vector<Decoder> decoders(input->nb_streams);
  int first_video = -1;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream *st = input->streams[i];
    StreamFacts facts;
    facts.type = st->codecpar->codec_type;
    facts.codec = st->codecpar->codec_id;
    facts.width = st->codecpar->width;
    facts.height = st->codecpar->height;
    facts.video_delay = st->codecpar->video_delay;
    facts.avg_rate = st->avg_frame_rate;
    facts.r_rate = st->r_frame_rate;
    facts.sample_rate = st->codecpar->sample_rate;
    facts.channels = st->codecpar->ch_layout.nb_channels;
    clip.streams.push_back(facts);
    if (facts.type == AVMEDIA_TYPE_VIDEO && first_video < 0) first_video = static_cast<int>(i);
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    decoders[i].context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoders[i].context, st->codecpar);
    decoders[i].context->thread_count = 1;
    if (avcodec_open2(decoders[i].context, codec, nullptr) < 0) clip.error = "cannot open a decoder";
  }
  AVPacket *packet = av_packet_alloc();
  AVFrame *frame = av_frame_alloc();
  while (clip.error.empty() && av_read_frame(input, packet) >= 0) {
    int i = packet->stream_index;
    if (avcodec_send_packet(decoders[i].context, packet) < 0) clip.error = "decode error";
    take_frames(decoders[i].context, frame, input->streams[i], clip.streams[i], i == first_video ? &clip.luma : nullptr);
    av_packet_unref(packet);
  }
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    avcodec_send_packet(decoders[i].context, nullptr);
    take_frames(decoders[i].context, frame, input->streams[i], clip.streams[i],
                static_cast<int>(i) == first_video ? &clip.luma : nullptr);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&input);
  return clip;
}

ClipSpec small_spec(const TempDir &dir, const char *name) {
  ClipSpec clip_spec;
  clip_spec.out_path = dir.file(name);
  clip_spec.width = 160;
  clip_spec.height = 120;
  clip_spec.frames = 8;
  return clip_spec;
}

bool generate(const ClipSpec &clip_spec) {
  std::string error;
  bool ok = generate_clip(clip_spec, &error);
  EXPECT_TRUE(ok) << clip_spec.out_path << ": " << error;
  return ok;
}

// Bilinear sample of a luma plane; -1 outside.
double sample(const std::vector<std::uint8_t> &plane, int w, int h, double x, double y) {
  if (x < 0 || y < 0 || x > w - 1 || y > h - 1) return -1;
  int ix = std::min(static_cast<int>(x), w - 2), iy = std::min(static_cast<int>(y), h - 2);
  double ax = x - ix, ay = y - iy;
  auto at = [&](int xx, int yy) { return static_cast<double>(plane[static_cast<std::size_t>(yy) * w + xx]); };
  double top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * ax;
  double bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * ax;
  return top + (bottom - top) * ay;
}

// Mean absolute difference between the current frame and the previous frame
// looked up where the motion (dx, dy, angle) says each pixel came from.
double prediction_error(const std::vector<std::uint8_t> &previous, const std::vector<std::uint8_t> &current, int w,
                        int h, double dx, double dy, double angle) {
  double cx = (w - 1) * 0.5, cy = (h - 1) * 0.5, sum = 0;
  long long count = 0;
  for (int y = 8; y < h - 8; ++y) {
    for (int x = 8; x < w - 8; ++x) {
      double px = x - cx, py = y - cy;
      double qx = std::cos(angle) * px - std::sin(angle) * py + dx + cx;
      double qy = std::sin(angle) * px + std::cos(angle) * py + dy + cy;
      double v = sample(previous, w, h, qx, qy);
      if (v < 0) continue;
      sum += std::fabs(v - current[static_cast<std::size_t>(y) * w + x]);
      ++count;
    }
  }
  return count ? sum / static_cast<double>(count) : 1e9;
}

// ------------------------------------------------------------ video ---

TEST(ClipVideo, ReadsBackAsRequested) {
  TempDir dir;
  struct Case {
    const char *file;
    const char *codec;
    const char *pix_fmt;
    int fps_num, fps_den, frames, width, height;
    AVCodecID expect_codec;
    AVPixelFormat expect_format;
    bool b_frames;
  };
  const Case cases[] = {
      {"h264.mp4", "h264", "yuv420p", 30, 1, 24, 320, 240, AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, true},
      {"nob.mkv", "h264-nob", "yuv420p", 30000, 1001, 10, 176, 144, AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, false},
      {"mpeg4.avi", "mpeg4", "yuv420p", 25, 2, 8, 160, 120, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, false},
      {"h264_422.mov", "h264", "yuv422p", 24, 1, 6, 160, 120, AV_CODEC_ID_H264, AV_PIX_FMT_YUV422P, true},
      {"h264_444.ts", "h264", "yuv444p", 25, 1, 6, 160, 120, AV_CODEC_ID_H264, AV_PIX_FMT_YUV444P, true},
      {"rgb.mkv", "h264", "rgb24", 30, 1, 4, 160, 120, AV_CODEC_ID_H264, AV_PIX_FMT_GBRP, true},
      {"ffv1.mkv", "ffv1", "yuv420p", 30, 1, 4, 160, 120, AV_CODEC_ID_FFV1, AV_PIX_FMT_YUV420P, false},
      {"odd_444.mkv", "h264", "yuv444p", 30, 1, 4, 161, 121, AV_CODEC_ID_H264, AV_PIX_FMT_YUV444P, true},
      {"odd_420.avi", "mpeg4", "yuv420p", 30, 1, 3, 161, 121, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, false},
      {"one.mp4", "h264", "yuv420p", 30, 1, 1, 160, 120, AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, true},
      {"two.mp4", "h264", "yuv420p", 30, 1, 2, 160, 120, AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    if (video_encoder_name(c.codec, c.pix_fmt).empty()) {
      std::printf("skipping %s: no encoder for %s/%s in this FFmpeg\n", c.file, c.codec, c.pix_fmt);
      continue;
    }
    ClipSpec clip_spec = small_spec(dir, c.file);
    clip_spec.video_codec = c.codec;
    clip_spec.pix_fmt = c.pix_fmt;
    clip_spec.fps_num = c.fps_num;
    clip_spec.fps_den = c.fps_den;
    clip_spec.frames = c.frames;
    clip_spec.width = c.width;
    clip_spec.height = c.height;
    clip_spec.shake = 2;
    if (!generate(clip_spec)) continue;
    ClipFacts clip = read_clip(clip_spec.out_path);
    ASSERT_EQ(clip.error, "");
    ASSERT_EQ(clip.streams.size(), 1u);
    const StreamFacts &v = clip.streams[0];
    EXPECT_EQ(v.type, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(v.codec, c.expect_codec);
    EXPECT_EQ(v.width, c.width);
    EXPECT_EQ(v.height, c.height);
    EXPECT_EQ(v.frames, c.frames);
    EXPECT_EQ(v.decoded_format, c.expect_format) << av_get_pix_fmt_name(static_cast<AVPixelFormat>(v.decoded_format));
    EXPECT_EQ(v.video_delay > 0, c.b_frames);
    if (c.frames > 2) {
      EXPECT_EQ(av_cmp_q(v.r_rate, AVRational{c.fps_num, c.fps_den}), 0) << v.r_rate.num << "/" << v.r_rate.den;
    }
    ASSERT_EQ(v.times.size(), static_cast<std::size_t>(c.frames));
    for (int i = 0; i < c.frames; ++i) {
      EXPECT_NEAR(v.times[i] - v.times[0], i * static_cast<double>(c.fps_den) / c.fps_num, 1e-3) << i;
    }
  }
}

TEST(ClipVideo, IrregularFrameTimesSurviveTheContainer) {
  TempDir dir;
  for (const char *file : {"vfr.mkv", "vfr.mp4"}) {
    SCOPED_TRACE(file);
    ClipSpec clip_spec = small_spec(dir, file);
    clip_spec.vfr = true;
    clip_spec.frames = 20;
    clip_spec.video_codec = "h264-nob";
    if (!generate(clip_spec)) continue;
    std::vector<double> expected = clip_frame_times(clip_spec);
    ClipFacts clip = read_clip(clip_spec.out_path);
    ASSERT_EQ(clip.error, "");
    ASSERT_EQ(clip.streams[0].times.size(), expected.size());
    double shortest = 1e9, longest = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      // mkv keeps milliseconds.
      EXPECT_NEAR(clip.streams[0].times[i] - clip.streams[0].times[0], expected[i] - expected[0], 1e-3) << i;
      if (i > 0) {
        double step = expected[i] - expected[i - 1];
        EXPECT_GT(step, 0.0);
        shortest = std::min(shortest, step);
        longest = std::max(longest, step);
      }
    }
    EXPECT_GT(longest, shortest * 1.5) << "frame times should be irregular";
  }
}

TEST(ClipVideo, TextureHasNoFlatAreasAndBlackFramesAreFlat) {
  TempDir dir;
  ClipSpec clip_spec = small_spec(dir, "black.mkv");
  clip_spec.video_codec = "ffv1";
  clip_spec.frames = 4;
  clip_spec.black_frames = 2;
  clip_spec.shake = 3;
  ASSERT_TRUE(generate(clip_spec));
  ClipFacts clip = read_clip(clip_spec.out_path);
  ASSERT_EQ(clip.luma.size(), 4u);
  for (int f = 0; f < 4; ++f) {
    const std::vector<std::uint8_t> &luma = clip.luma[f];
    auto [lo, hi] = std::minmax_element(luma.begin(), luma.end());
    if (f < 2) {
      EXPECT_EQ(*lo, *hi) << "frame " << f << " should be flat";
      continue;
    }
    // Every 16x16 block has real contrast, so block matching can lock on.
    int weakest = 255;
    for (int by = 0; by + 16 <= clip_spec.height; by += 16) {
      for (int bx = 0; bx + 16 <= clip_spec.width; bx += 16) {
        int bmin = 255, bmax = 0;
        for (int y = by; y < by + 16; ++y) {
          for (int x = bx; x < bx + 16; ++x) {
            int v = luma[static_cast<std::size_t>(y) * clip_spec.width + x];
            bmin = std::min(bmin, v);
            bmax = std::max(bmax, v);
          }
        }
        weakest = std::min(weakest, bmax - bmin);
      }
    }
    EXPECT_GE(weakest, 40) << "frame " << f;
  }
}

// ------------------------------------------------------------ audio ---

TEST(ClipAudio, CodecsRatesAndLayoutsReadBack) {
  TempDir dir;
  struct Case {
    const char *file;
    const char *codec;
    int rate;
    const char *layout;
    AVCodecID expect_codec;
    int channels;
  };
  const Case cases[] = {
      {"aac.mp4", "aac", 48000, "stereo", AV_CODEC_ID_AAC, 2},
      {"mp3.avi", "mp3", 44100, "mono", AV_CODEC_ID_MP3, 1},
      {"ac3.ts", "ac3", 48000, "5.1", AV_CODEC_ID_AC3, 6},
      {"opus.mkv", "opus", 48000, "stereo", AV_CODEC_ID_OPUS, 2},
      {"pcm.mov", "pcm", 22050, "mono", AV_CODEC_ID_PCM_S16LE, 1},
      {"aac51.mkv", "aac", 44100, "5.1", AV_CODEC_ID_AAC, 6},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    if (audio_encoder_name(c.codec).empty()) {
      std::printf("skipping %s: no %s encoder in this FFmpeg\n", c.file, c.codec);
      continue;
    }
    ClipSpec clip_spec = small_spec(dir, c.file);
    clip_spec.frames = 15;  // half a second
    clip_spec.audio_codec = c.codec;
    clip_spec.audio_rate = c.rate;
    clip_spec.audio_layout = c.layout;
    if (!generate(clip_spec)) continue;
    ClipFacts clip = read_clip(clip_spec.out_path);
    ASSERT_EQ(clip.error, "");
    ASSERT_EQ(clip.streams.size(), 2u);
    EXPECT_EQ(clip.streams[0].type, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(clip.streams[0].frames, 15);
    const StreamFacts &a = clip.streams[1];
    EXPECT_EQ(a.type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(a.codec, c.expect_codec);
    EXPECT_EQ(a.sample_rate, c.rate);
    EXPECT_EQ(a.channels, c.channels);
    // Half a second of tone; encoders may add priming and pad the last frame.
    EXPECT_GE(a.samples, c.rate / 2 - 1);
    EXPECT_LE(a.samples, c.rate / 2 + 3 * 1152);
  }
}

TEST(ClipAudio, ToneStartsWhereTheDelaySays) {
  TempDir dir;
  for (double delay : {0.0, 0.25, -0.2}) {
    for (const char *file : {"delay.mov", "delay.mkv"}) {
      SCOPED_TRACE(std::string(file) + " " + std::to_string(delay));
      ClipSpec clip_spec = small_spec(dir, file);
      clip_spec.frames = 15;
      clip_spec.audio_codec = "pcm";
      clip_spec.audio_delay = delay;
      ASSERT_TRUE(generate(clip_spec));
      AudioReadback a = read_audio(clip_spec.out_path);
      ASSERT_EQ(a.codec, "pcm_s16le");
      // The tone rises from 0 within a few samples; Matroska rounds to milliseconds.
      EXPECT_NEAR(a.first_sound_time - a.video_start, delay, 0.002);
    }
  }
}

TEST(ClipAudio, AudioOnlyFile) {
  TempDir dir;
  ClipSpec clip_spec = small_spec(dir, "tone.m4a");
  clip_spec.video = false;
  clip_spec.audio_codec = "aac";
  ASSERT_TRUE(generate(clip_spec));
  ClipFacts clip = read_clip(clip_spec.out_path);
  ASSERT_EQ(clip.streams.size(), 1u);
  EXPECT_EQ(clip.streams[0].type, AVMEDIA_TYPE_AUDIO);
  EXPECT_GT(clip.streams[0].samples, 0);
}

// ---------------------------------------------------------- streams ---

TEST(ClipStreams, ChosenOrder) {
  TempDir dir;
  ClipSpec clip_spec = small_spec(dir, "order.mp4");
  clip_spec.width = 320;
  clip_spec.height = 240;
  clip_spec.audio_codec = "aac";
  clip_spec.audio_first = true;
  clip_spec.two_video = true;
  ASSERT_TRUE(generate(clip_spec));
  ClipFacts clip = read_clip(clip_spec.out_path);
  ASSERT_EQ(clip.error, "");
  ASSERT_EQ(clip.streams.size(), 3u);
  EXPECT_EQ(clip.streams[0].type, AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(clip.streams[1].type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(clip.streams[1].width, 320);
  EXPECT_EQ(clip.streams[2].type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(clip.streams[2].width, 160);
  EXPECT_EQ(clip.streams[2].height, 120);
  EXPECT_EQ(clip.streams[1].frames, clip_spec.frames);
  EXPECT_EQ(clip.streams[2].frames, clip_spec.frames);

  clip_spec.audio_first = false;
  clip_spec.two_video = false;
  clip_spec.out_path = dir.file("default_order.mp4");
  ASSERT_TRUE(generate(clip_spec));
  clip = read_clip(clip_spec.out_path);
  ASSERT_EQ(clip.streams.size(), 2u);
  EXPECT_EQ(clip.streams[0].type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(clip.streams[1].type, AVMEDIA_TYPE_AUDIO);
}

TEST(ClipStreams, Mp4IndexAtTheEndUnlessFaststart) {
  TempDir dir;
  for (bool faststart : {false, true}) {
    ClipSpec clip_spec = small_spec(dir, faststart ? "fast.mp4" : "slow.mp4");
    clip_spec.faststart = faststart;
    ASSERT_TRUE(generate(clip_spec));
    std::string bytes = read_file(clip_spec.out_path);
    EXPECT_EQ(bytes.find("moov") < bytes.find("mdat"), faststart);
  }
}

TEST(ClipStreams, RateControlOptionsReachTheEncoder) {
  // The benchmark clip uses --preset fast --bitrate 8000000; x264 records
  // its settings in the stream.
  TempDir dir;
  ClipSpec clip_spec = small_spec(dir, "abr.mp4");
  clip_spec.preset = "fast";
  clip_spec.bitrate = 800000;
  ASSERT_TRUE(generate(clip_spec));
  std::string bytes = read_file(clip_spec.out_path);
  EXPECT_NE(bytes.find("rc=abr"), std::string::npos);
  EXPECT_NE(bytes.find("bitrate=800 "), std::string::npos);
  EXPECT_NE(bytes.find("subme=6"), std::string::npos);  // what "fast" sets
}

// ----------------------------------------------------------- motion ---

TEST(ClipMotionCsv, OneRowPerFrameMatchingTheMotionApplied) {
  TempDir dir;
  ClipSpec clip_spec = small_spec(dir, "shaky.mp4");
  clip_spec.frames = 12;
  clip_spec.shake = 5;
  clip_spec.motion_csv = dir.file("shaky.csv");
  ASSERT_TRUE(generate(clip_spec));
  EXPECT_EQ(read_file(clip_spec.motion_csv).substr(0, 18), "frame,dx,dy,angle\n");
  std::vector<ClipMotion> rows = read_motion_csv(clip_spec.motion_csv);
  std::vector<ClipMotion> applied = clip_motion(clip_spec);
  ASSERT_EQ(rows.size(), 12u);
  ASSERT_EQ(applied.size(), 12u);
  EXPECT_EQ(rows[0].dx, 0.0);
  EXPECT_EQ(rows[0].dy, 0.0);
  EXPECT_EQ(rows[0].angle, 0.0);
  bool moved = false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].frame, static_cast<int>(i));
    EXPECT_EQ(rows[i].dx, applied[i].dx);  // the CSV round-trips exactly
    EXPECT_EQ(rows[i].dy, applied[i].dy);
    EXPECT_EQ(rows[i].angle, applied[i].angle);
    moved = moved || std::fabs(rows[i].dx) > 0.5;
    EXPECT_LT(std::fabs(rows[i].angle), 0.05);
  }
  EXPECT_TRUE(moved);
}

TEST(ClipMotionCsv, SameSeedSameMotionOtherSeedOtherMotion) {
  ClipSpec clip_spec;
  clip_spec.frames = 30;
  clip_spec.shake = 6;
  clip_spec.seed = 7;
  std::vector<ClipMotion> a = clip_motion(clip_spec), b = clip_motion(clip_spec);
  clip_spec.seed = 8;
  std::vector<ClipMotion> c = clip_motion(clip_spec);
  ASSERT_EQ(a.size(), 30u);
  int differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].dx, b[i].dx);
    EXPECT_EQ(a[i].dy, b[i].dy);
    EXPECT_EQ(a[i].angle, b[i].angle);
    differ += a[i].dx != c[i].dx;
  }
  EXPECT_GT(differ, 25);
}

TEST(ClipMotionCsv, StillAndFixedStep) {
  ClipSpec still;
  still.frames = 5;
  for (const ClipMotion &m : clip_motion(still)) {
    EXPECT_EQ(m.dx, 0.0);
    EXPECT_EQ(m.dy, 0.0);
    EXPECT_EQ(m.angle, 0.0);
  }
  ClipSpec step;
  step.frames = 5;
  step.step_dx = 4;
  step.step_dy = -2;
  std::vector<ClipMotion> rows = clip_motion(step);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].dx, 4.0);
    EXPECT_EQ(rows[i].dy, -2.0);
    EXPECT_EQ(rows[i].angle, 0.0);
  }
}

TEST(ClipMotionCsv, MalformedCsvReadsAsEmpty) {
  TempDir dir;
  EXPECT_TRUE(read_motion_csv(dir.file("missing.csv")).empty());
  write_file(dir.file("bad_header.csv"), "f,x,y,a\n0,0,0,0\n");
  EXPECT_TRUE(read_motion_csv(dir.file("bad_header.csv")).empty());
  write_file(dir.file("bad_row.csv"), "frame,dx,dy,angle\n0,0,0,0\n1,2,three,0\n");
  EXPECT_TRUE(read_motion_csv(dir.file("bad_row.csv")).empty());
}

TEST(ClipMotionPictures, FixedStepMovesTheContentLeftAndUpByTheStep) {
  // Lossless: a step of (4, 2) camera pixels means the current frame at
  // (x, y) shows exactly what the previous frame showed at (x + 4, y + 2).
  TempDir dir;
  ClipSpec clip_spec = small_spec(dir, "step.mkv");
  clip_spec.video_codec = "ffv1";
  clip_spec.frames = 3;
  clip_spec.step_dx = 4;
  clip_spec.step_dy = 2;
  ASSERT_TRUE(generate(clip_spec));
  ClipFacts clip = read_clip(clip_spec.out_path);
  ASSERT_EQ(clip.luma.size(), 3u);
  int w = clip_spec.width, h = clip_spec.height, mismatches = 0;
  for (int y = 0; y + 2 < h; ++y) {
    for (int x = 0; x + 4 < w; ++x) {
      mismatches += clip.luma[1][static_cast<std::size_t>(y) * w + x] !=
                    clip.luma[0][static_cast<std::size_t>(y + 2) * w + x + 4];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ClipMotionPictures, CsvMotionMapsEachFrameOntoThePreviousOne) {
  // With shake and turn, the reported (dx, dy, angle) predicts the current
  // frame from the previous one; the opposite signs do not.
  TempDir dir;
  ClipSpec clip_spec = small_spec(dir, "shake.mkv");
  clip_spec.video_codec = "ffv1";
  clip_spec.frames = 5;
  clip_spec.shake = 4;
  clip_spec.shake_angle = 0.03;
  ASSERT_TRUE(generate(clip_spec));
  ClipFacts clip = read_clip(clip_spec.out_path);
  std::vector<ClipMotion> motion = clip_motion(clip_spec);
  ASSERT_EQ(clip.luma.size(), 5u);
  for (int i = 1; i < 5; ++i) {
    SCOPED_TRACE(i);
    const ClipMotion &m = motion[i];
    double right = prediction_error(clip.luma[i - 1], clip.luma[i], clip_spec.width, clip_spec.height, m.dx, m.dy, m.angle);
    double wrong_shift =
        prediction_error(clip.luma[i - 1], clip.luma[i], clip_spec.width, clip_spec.height, -m.dx, -m.dy, m.angle);
    double wrong_turn =
        prediction_error(clip.luma[i - 1], clip.luma[i], clip_spec.width, clip_spec.height, m.dx, m.dy, -m.angle);
    EXPECT_LT(right, 1.5);
    EXPECT_GT(wrong_shift, 5 * right);
    EXPECT_GT(wrong_turn, 4 * right);
  }
}

// ---------------------------------------------------- determinism ---

TEST(ClipDeterminism, SameSpecSameBytes) {
  TempDir dir;
  for (const char *ext : {".mp4", ".mkv"}) {
    SCOPED_TRACE(ext);
    ClipSpec clip_spec = small_spec(dir, "");
    clip_spec.shake = 4;
    clip_spec.audio_codec = "aac";
    clip_spec.out_path = dir.file(std::string("a") + ext);
    ASSERT_TRUE(generate(clip_spec));
    std::string first = read_file(clip_spec.out_path);
    clip_spec.out_path = dir.file(std::string("b") + ext);
    ASSERT_TRUE(generate(clip_spec));
    EXPECT_FALSE(first.empty());
    EXPECT_TRUE(first == read_file(clip_spec.out_path));
    clip_spec.seed = 2;
    clip_spec.out_path = dir.file(std::string("c") + ext);
    ASSERT_TRUE(generate(clip_spec));
    EXPECT_FALSE(first == read_file(clip_spec.out_path));
  }
}

// --------------------------------------------------------- failures ---

TEST(ClipFailures, ReportedWithoutLeavingAFile) {
  TempDir dir;
  write_file(dir.file("plain_file"), "x");
  struct Case {
    const char *what;
    const char *file;
    void (*edit)(ClipSpec &);
  };
  const Case cases[] = {
      {"unknown container", "clip.nosuchext", [](ClipSpec &) {}},
      {"missing directory", "nowhere/clip.mp4", [](ClipSpec &) {}},
      {"path through a file", "plain_file/clip.mp4", [](ClipSpec &) {}},
      {"unknown video codec", "clip.mp4", [](ClipSpec &s) { s.video_codec = "nosuchcodec"; }},
      {"pixel format the codec lacks", "clip.mp4", [](ClipSpec &s) { s.video_codec = "mpeg4", s.pix_fmt = "yuv444p"; }},
      {"unknown pixel format", "clip.mp4", [](ClipSpec &s) { s.pix_fmt = "nosuchformat"; }},
      {"odd 4:2:0 width for x264", "clip.mp4", [](ClipSpec &s) { s.width = 161; }},
      {"odd 4:2:2 width for x264", "clip.mp4", [](ClipSpec &s) { s.width = 161, s.pix_fmt = "yuv422p"; }},
      {"unknown audio codec", "clip.mp4", [](ClipSpec &s) { s.audio_codec = "nosuchcodec"; }},
      {"rate the audio codec lacks", "clip.mp4", [](ClipSpec &s) { s.audio_codec = "ac3", s.audio_rate = 22050; }},
      {"unknown layout", "clip.mp4", [](ClipSpec &s) { s.audio_codec = "aac", s.audio_layout = "nosuchlayout"; }},
      {"no video and no audio", "clip.mp4", [](ClipSpec &s) { s.video = false; }},
      {"no frames", "clip.mp4", [](ClipSpec &s) { s.frames = 0; }},
      {"zero frame rate", "clip.mp4", [](ClipSpec &s) { s.fps_num = 0; }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ClipSpec clip_spec = small_spec(dir, c.file);
    c.edit(clip_spec);
    std::string error;
    EXPECT_FALSE(generate_clip(clip_spec, &error));
    EXPECT_FALSE(error.empty());
    if (std::string(c.file) == "clip.mp4") {
      EXPECT_FALSE(file_exists(clip_spec.out_path));
    }
  }
  EXPECT_EQ(read_file(dir.file("plain_file")), "x");
  EXPECT_FALSE(generate_clip(ClipSpec{}, nullptr)) << "no output path";
}

}  // namespace
