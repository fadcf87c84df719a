#include "pipeline/analysis_pass.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "base/text.h"
#include "dsp/box_blur.h"
#include "formats/settings_file.h"
#include "formats/transforms_file.h"
#include "media/ffmpeg_holders.h"
#include "media/input.h"
#include "media/luma_scaling.h"
#include "media/rates.h"
#include "motion/analysis_size.h"
#include "motion/motion_estimator.h"

namespace {

// Motion samples a pass may take; the frame estimate is checked against it
// before decoding starts.
constexpr int kFrameCap = 1200000;

// What the pass accumulates from the motion samples.
struct Accumulator {
  std::vector<PathPoint> path;  // one point per sample, absolute
  double sum_t = 0.0;           // sum of |fx| + |fy|, full-resolution pixels
  double sum_r = 0.0;           // sum of |angle|
  double max_s = 0.0;           // largest block shift, analysis pixels
  int n() const { return static_cast<int>(path.size()); }
};

// Everything one analysis owns; the holders release it on every path out.
struct AnalysisJob {
  const AnalysisRequest *request = nullptr;
  const JobControl *control = nullptr;
  AnalysisResult *result = nullptr;
  int width = 0, height = 0;
  double fps = 30.0;
  int estimate = 0;
  AnalysisSize size{};
  double sx = 1.0, sy = 1.0;
  InputContextPtr input;
  int video_index = -1;
  CodecContextPtr decoder;
  SwsContextPtr scaler;
  FramePtr decoded, scaled;
  PacketPtr packet;
  std::vector<std::uint8_t> previous, current;
  bool have_prev = false;
  Accumulator acc;
  bool failed = false;  // the error text is set; the job ends failed (or cancelled)
};

// Records the failure; the outcome is decided once, when the pass ends.
void fail(AnalysisJob &job, const char *message) {
  job.result->error.fail_job("%s", message);
  job.failed = true;
}

// Formats a message through a 128-byte buffer, as the short set-up messages are.
template <typename... Args>
void fail_format(AnalysisJob &job, const char *format, Args... args) {
  char text[128];
  format_text(text, sizeof text, format, args...);
  fail(job, text);
}

bool setup(AnalysisJob &job) {
  AVFormatContext *raw = nullptr;
  int audio_index = -1;
  if (open_input(job.request->input_path, &raw, &job.video_index, &audio_index, &job.result->error) != 0) {
    job.failed = true;
    return false;
  }
  job.input.reset(raw);
  AVStream *video = job.input->streams[job.video_index];
  job.width = video->codecpar->width;
  job.height = video->codecpar->height;
  if (job.width < 64 || job.height < 64) {
    fail(job, "video too small to stabilize");
    return false;
  }
  job.fps = analysis_fps(video);
  job.estimate = frame_estimate(pass_duration(job.input.get(), video), job.fps, 2.0);
  if (job.estimate > kFrameCap) {
    fail_format(job, "too many frames (~%d) - supported up to %d", job.estimate, kFrameCap);
    return false;
  }
  const AVCodec *codec = avcodec_find_decoder(video->codecpar->codec_id);
  if (codec == nullptr) {
    const char *name = avcodec_get_name(video->codecpar->codec_id);
    fail_format(job, "no decoder for %s", name ? name : "?");
    return false;
  }
  job.decoder.reset(avcodec_alloc_context3(codec));
  if (!job.decoder) {
    fail(job, "oom");
    return false;
  }
  avcodec_parameters_to_context(job.decoder.get(), video->codecpar);
  // Every decoded frame is taken and the decoder is drained completely, so
  // the delay of frame threads costs nothing: let FFmpeg pick the threads.
  job.decoder->thread_count = 0;
  if (avcodec_open2(job.decoder.get(), codec, nullptr) < 0) {
    fail(job, "decoder open failed");
    return false;
  }
  job.size = analysis_size(job.width, job.height);
  job.sx = static_cast<double>(job.width) / job.size.width;
  job.sy = static_cast<double>(job.height) / job.size.height;
  job.scaler.reset(sws_getContext(job.width, job.height, AV_PIX_FMT_YUV420P, job.size.width,
                                  job.size.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr,
                                  nullptr));
  if (!job.scaler) {
    fail(job, "sws init failed");
    return false;
  }
  job.decoded.reset(av_frame_alloc());
  job.scaled.reset(av_frame_alloc());
  if (!job.decoded || !job.scaled) {
    fail(job, "oom");
    return false;
  }
  job.scaled->format = AV_PIX_FMT_YUV420P;
  job.scaled->width = job.size.width;
  job.scaled->height = job.size.height;
  if (av_frame_get_buffer(job.scaled.get(), 0) < 0) {
    fail(job, "oom");
    return false;
  }
  std::size_t pixels = static_cast<std::size_t>(job.size.width) * job.size.height;
  job.previous.resize(pixels);
  job.current.resize(pixels);
  job.packet.reset(av_packet_alloc());
  if (!job.packet) {
    fail(job, "oom");
    return false;
  }
  job.control->set_frames_total(std::max(job.estimate, 0));
  return true;
}

// The scaler is made for the pictures the decoder actually delivers: another
// pixel format (RGB, 4:2:2, 10-bit, full-range, palette) or a size change
// mid-stream gets a scaler of its own, rebuilt only when they change.
// 8-bit 4:2:0 pictures at the stream's size keep the scaler made at set-up.
//
// Only the luma of the scaled picture is used. For 8-bit limited-range YUV
// its luma is the source's first plane scaled on its own, so those pictures
// are scaled as a single gray plane: the same samples, without the cost of
// scaling two chroma planes nobody reads.
bool fit_scaler(AnalysisJob &job, const AVFrame *frame) {
  AVPixelFormat source = static_cast<AVPixelFormat>(frame->format);
  AVPixelFormat target = AV_PIX_FMT_YUV420P;
  if (luma_plane_scales_alone(source)) source = target = AV_PIX_FMT_GRAY8;
  job.scaler.reset(sws_getCachedContext(job.scaler.release(), frame->width, frame->height, source,
                                        job.size.width, job.size.height, target, SWS_BILINEAR, nullptr,
                                        nullptr, nullptr));
  return job.scaler != nullptr;
}

// Scales, packs and blurs one decoded picture into job.current.
bool make_analysis_image(AnalysisJob &job, const AVFrame *frame) {
  if (frame->width <= 0 || frame->height <= 0 || !fit_scaler(job, frame)) return false;
  sws_scale(job.scaler.get(), frame->data, frame->linesize, 0, frame->height, job.scaled->data,
            job.scaled->linesize);
  const int aw = job.size.width, ah = job.size.height;
  for (int y = 0; y < ah; ++y) {
    std::memcpy(job.current.data() + static_cast<std::size_t>(y) * aw,
                job.scaled->data[0] + static_cast<std::ptrdiff_t>(y) * job.scaled->linesize[0], aw);
  }
  boxblur3(job.current.data(), aw, ah);
  return true;
}

// Adds one motion sample to the path and the metrics; false on out of memory.
bool accumulate(AnalysisJob &job, const FrameMotion &m) {
  Accumulator &acc = job.acc;
  if (acc.path.size() == acc.path.capacity()) {
    try {
      acc.path.reserve(acc.path.capacity() == 0 ? 256 : acc.path.capacity() * 2);
    } catch (const std::bad_alloc &) {
      return false;
    }
  }
  double fx = m.dx * job.sx, fy = m.dy * job.sy;
  PathPoint base = acc.path.empty() ? PathPoint{0.0, 0.0, 0.0} : acc.path.back();
  acc.path.push_back({base.x + fx, base.y + fy, base.angle + m.angle});
  acc.sum_t += std::fabs(fx) + std::fabs(fy);
  acc.sum_r += std::fabs(m.angle);
  acc.max_s = std::max(acc.max_s, m.max_shift);
  return true;
}

void publish_progress(AnalysisJob &job) {
  int n = job.acc.n();
  int d = job.estimate > 0 ? job.estimate : n;
  int percent = static_cast<int>(100.0 * n / d);
  job.control->set_progress(n, std::min(99, percent));
}

// Analyses one decoded frame: compares it with the previous one and moves the
// camera path. A failure (scaler, memory, frame cap) marks the job failed,
// which ends the frame loop.
void analyse_frame(AnalysisJob &job, const AVFrame *frame) {
  if (!make_analysis_image(job, frame)) {
    fail(job, "sws init failed");
    return;
  }
  if (job.have_prev) {
    FrameMotion m = detect_frame_motion(job.previous.data(), job.current.data(), job.size.width,
                                        job.size.height);
    if (!accumulate(job, m)) {
      fail(job, "oom");
      return;
    }
    publish_progress(job);
    if (job.acc.n() > kFrameCap - 1) {
      fail(job, "frame cap exceeded");
      return;
    }
  }
  job.previous.swap(job.current);
  job.have_prev = true;
}

// Takes every frame the decoder has ready.
void receive_frames(AnalysisJob &job) {
  while (!job.failed && avcodec_receive_frame(job.decoder.get(), job.decoded.get()) == 0) {
    analyse_frame(job, job.decoded.get());
    av_frame_unref(job.decoded.get());
  }
}

void send_packet(AnalysisJob &job, const AVPacket *packet) {
  int rc = avcodec_send_packet(job.decoder.get(), packet);
  if (rc < 0 && packet && !(packet->flags & AV_PKT_FLAG_KEY)) {
    char text[64] = {0};
    av_strerror(rc, text, sizeof text);
    av_log(nullptr, AV_LOG_DEBUG, "send_packet: %s\n", text);
  }
}

void decode_all(AnalysisJob &job) {
  const JobControl &control = *job.control;
  if (control.cancelled()) return;
  while (av_read_frame(job.input.get(), job.packet.get()) >= 0) {
    if (job.packet->stream_index == job.video_index) {
      send_packet(job, job.packet.get());
      receive_frames(job);
    }
    av_packet_unref(job.packet.get());
    if (control.cancelled() || job.failed) return;
  }
  if (control.cancelled()) return;
  // A file that cannot be read further is no end of the input: a path of
  // what was read so far would stand for the whole video.
  if (int e = input_read_error(job.input.get())) {
    report_read_failure(e, &job.result->error);
    job.failed = true;
    return;
  }
  // End of input: drain the decoder completely, so frames it held back
  // (B-frames, frame threads) are analysed too.
  send_packet(job, nullptr);
  receive_frames(job);
}

// Ends the pass: writes the files when it finished, and gives its outcome.
PassOutcome finish(AnalysisJob &job) {
  const AnalysisRequest &request = *job.request;
  AnalysisResult &result = *job.result;
  const int n = job.acc.n();
  if (n == 0 || job.control->cancelled() || job.failed) {
    // A cancel request replaces a failure recorded earlier; its text stays.
    if (job.control->cancelled()) return PassOutcome::Cancelled;
    if (!job.failed) result.error.fail_job("no frames decoded");
    return PassOutcome::Failed;
  }
  const int rows = n + 1;
  std::vector<PathPoint> out;
  try {
    out.reserve(static_cast<std::size_t>(rows));
  } catch (const std::bad_alloc &) {
    result.error.fail_job("oom");
    return PassOutcome::Failed;
  }
  out.push_back({0.0, 0.0, 0.0});
  out.insert(out.end(), job.acc.path.begin(), job.acc.path.end());

  double shake = 0.6 * (job.acc.sum_t / n) / (0.0625 * std::min(job.width, job.height)) +
                 0.4 * (job.acc.sum_r / n) / 0.02;
  result.shakiness = std::clamp(shake, 0.0, 1.0);
  result.max_shift_px = job.sx * job.acc.max_s;
  result.frames = rows;
  result.elapsed_ms = perf_elapsed_ms(request.start);

  if (!write_transforms_file(request.trf_path, out.data(), rows, job.width, job.height, job.fps,
                             request.trf_mode)) {
    result.error.fail("cannot write transforms %s", request.trf_path);
    return PassOutcome::Failed;
  }
  result.trf_written = true;

  SettingsInfo info{request.input_path, job.width,          job.height,      job.fps, rows,
                    result.shakiness,   result.max_shift_px, request.trf_path};
  if (!write_settings_file(request.settings_path, info, request.settings_mode)) {
    char text[128];
    format_text(text, sizeof text, "cannot write settings %s", request.settings_path);
    result.error.fail_job("%s", text);
    return PassOutcome::Failed;
  }
  result.settings_written = true;
  return PassOutcome::Done;
}

}  // namespace

AnalysisResult run_analysis(const AnalysisRequest &request, const JobControl &control) {
  AnalysisResult result;
  try {
    AnalysisJob job;
    job.request = &request;
    job.control = &control;
    job.result = &result;
    if (setup(job)) {
      decode_all(job);
      result.outcome = finish(job);
    } else {
      result.outcome = PassOutcome::Failed;
    }
  } catch (const std::bad_alloc &) {
    // Whatever the pass wrote before is not trusted: the caller removes it.
    result.error.fail_job("oom");
    result.outcome = control.cancelled() ? PassOutcome::Cancelled : PassOutcome::Failed;
    result.trf_written = false;
  } catch (...) {
    // Nothing may end the worker without an outcome: the host waits for it.
    result.error.fail_job("internal error");
    result.outcome = control.cancelled() ? PassOutcome::Cancelled : PassOutcome::Failed;
    result.trf_written = false;
  }
  return result;
}
