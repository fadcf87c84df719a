#include "pipeline/stabilize_pass.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "base/text.h"
#include "media/ffmpeg_holders.h"
#include "media/input.h"
#include "media/rates.h"
#include "media/yuv420_converter.h"
#include "motion/smoothing.h"
#include "mux/audio.h"
#include "mux/output.h"
#include "pipeline/path_checks.h"
#include "pipeline/threaded_kernels.h"

namespace {

// Everything one stabilization owns besides the output. Members are declared
// so that destruction releases the frames and packet, then the decoders, then
// (last) the input, after the output has been closed and freed explicitly.
struct StabilizeJob {
  const StabilizeRequest *request = nullptr;
  const JobControl *control = nullptr;
  StabilizeResult *result = nullptr;
  InputContextPtr input;
  int video_index = -1;
  int audio_index = -1;  // the input's first audio stream, -1 when none
  int width = 0, height = 0;
  double fps = 30.0;
  double duration = 0.0;
  std::vector<Correction> corrections;
  double zoom = 1.0;
  AudioStage audio;
  OutputContext out;
  CodecContextPtr decoder;
  FramePtr decoded, rendered;
  PacketPtr packet;
  Yuv420Converter converter;
  int frame_counter = 0;
  int frames_total = 0;
  bool failed = false;  // the error text is set; the job ends failed (or cancelled)
};

void fail(StabilizeJob &job, const char *message) {
  job.result->error.fail_job("%s", message);
  job.failed = true;
}

bool open_job_input(StabilizeJob &job) {
  AVFormatContext *raw = nullptr;
  if (open_input(job.request->input_path, &raw, &job.video_index, &job.audio_index, &job.result->error) != 0) {
    job.failed = true;
    return false;
  }
  job.input.reset(raw);
  const AVStream *video = job.input->streams[job.video_index];
  job.width = video->codecpar->width;
  job.height = video->codecpar->height;
  if (job.width <= 63 || job.height <= 63 || job.width % 2 || job.height % 2) {
    char text[128];
    format_text(text, sizeof text, "unsupported video %dx%d (need even, >=64)", job.width, job.height);
    fail(job, text);
    return false;
  }
  job.fps = stabilize_fps(video);
  job.duration = pass_duration(job.input.get(), video);
  return true;
}

bool plan_corrections(StabilizeJob &job) {
  const StabilizeRequest &request = *job.request;
  StabilizeResult &result = *job.result;
  std::vector<PathPoint> path;
  if (!load_job_transforms(request.transforms, path, result.trf_path, &result.error)) {
    fail(job, "no transforms \xE2\x80\x94 run analyze first");
    return false;
  }
  const int n = static_cast<int>(path.size());
  std::vector<PathPoint> smoothed;
  if (!smooth_path(path.data(), n, request.strength, smoothed) ||
      !form_corrections(path.data(), smoothed.data(), n, job.corrections)) {
    fail(job, "oom");
    return false;
  }
  job.zoom = fit_zoom(job.corrections, job.width, job.height, request.crop_max, &result.crop_percent);
  return true;
}

bool open_video_decoder(StabilizeJob &job) {
  const AVCodecParameters *par = job.input->streams[job.video_index]->codecpar;
  const AVCodec *codec = avcodec_find_decoder(par->codec_id);
  if (codec == nullptr) {
    fail(job, "no decoder");
    return false;
  }
  job.decoder.reset(avcodec_alloc_context3(codec));
  if (!job.decoder) {
    fail(job, "oom");
    return false;
  }
  avcodec_parameters_to_context(job.decoder.get(), par);
  // Every decoded frame is taken and the decoder drained completely, so frame
  // threads add no loss: let FFmpeg choose the thread count.
  job.decoder->thread_count = 0;
  if (avcodec_open2(job.decoder.get(), codec, nullptr) < 0) {
    fail(job, "vdec open failed");
    return false;
  }
  return true;
}

// The input's audio decoder and the resampler, once the output has an audio
// stream; their failures end the job before the frame loop.
bool open_audio_decoder(StabilizeJob &job) {
  if (const char *message = audio_open_decoder(&job.audio, &job.out)) {
    fail(job, message);
    return false;
  }
  return true;
}

bool allocate_frame_objects(StabilizeJob &job) {
  job.decoded.reset(av_frame_alloc());
  job.rendered.reset(av_frame_alloc());
  job.packet.reset(av_packet_alloc());
  if (!job.decoded || !job.rendered || !job.packet) {
    fail(job, "oom");
    return false;
  }
  return true;
}

// The output frame is allocated on first use and reused; it is made writable
// before each frame because the encoder may still hold the previous one.
bool prepare_output_frame(StabilizeJob &job) {
  AVFrame *out = job.rendered.get();
  if (!out->buf[0] || out->width != job.width) {
    av_frame_unref(out);
    out->format = AV_PIX_FMT_YUV420P;
    out->width = job.width;
    out->height = job.height;
    if (av_frame_get_buffer(out, 0) < 0) return false;
  }
  return av_frame_make_writable(out) >= 0;
}

void render(StabilizeJob &job, const AVFrame *src, const Correction &c) {
  AVFrame *out = job.rendered.get();
  const RenderKernels &kernels = frame_kernels();
  // The warp writes every sample of the output picture, so the frame needs no
  // clearing first.
  kernels.warp(src->data[0], job.width, job.height, src->linesize[0], src->data[1], src->linesize[1],
               src->data[2], src->linesize[2], c.tx, c.ty, c.angle, job.zoom, out->data[0], out->data[1],
               out->data[2], job.width, job.height, out->linesize[0], out->linesize[1], out->linesize[2]);
  if (job.request->sharpen) kernels.unsharp(out->data[0], job.width, job.height, out->linesize[0]);
}

void publish_progress(StabilizeJob &job) {
  int percent = static_cast<int>(100.0 * job.frame_counter / job.frames_total);
  job.control->set_progress(job.frame_counter, std::min(99, percent));
}

// Renders and encodes one decoded frame with the next path row. Returns false
// when the frame loop must end at once.
bool render_and_encode(StabilizeJob &job, const AVFrame *decoded) {
  const int n = static_cast<int>(job.corrections.size());
  int row = std::min(job.frame_counter, n - 1);
  job.frame_counter = row;
  if (!prepare_output_frame(job)) {
    fail(job, "oom");
    job.out.encode_error = 1;
    return false;
  }
  const AVFrame *src = job.converter.convert(decoded, job.width, job.height);
  if (src == nullptr) {
    fail(job, "oom");
    job.out.encode_error = 1;
    return false;
  }
  render(job, src, job.corrections[static_cast<std::size_t>(row)]);
  if (!output_encode_frame(&job.out, job.rendered.get(), decoded->best_effort_timestamp)) return false;
  ++job.frame_counter;
  publish_progress(job);
  return true;
}

// Takes every frame the decoder has ready. Returns false when the loop must end.
bool receive_frames(StabilizeJob &job) {
  while (avcodec_receive_frame(job.decoder.get(), job.decoded.get()) == 0) {
    bool go_on = render_and_encode(job, job.decoded.get());
    av_frame_unref(job.decoded.get());
    if (!go_on) return false;
  }
  return true;
}

// Reads the input once. Returns true when it reached the end of the input
// (the caller then finishes the output), false when it stopped early
// (cancellation or an encoding failure: only the trailer follows).
bool frame_loop(StabilizeJob &job) {
  const JobControl &control = *job.control;
  if (control.cancelled()) return false;
  AVPacket *packet = job.packet.get();
  while (av_read_frame(job.input.get(), packet) >= 0) {
    bool go_on = true;
    if (packet->stream_index == job.video_index) {
      avcodec_send_packet(job.decoder.get(), packet);
      go_on = receive_frames(job);
    } else if (packet->stream_index == job.audio_index) {
      audio_packet(&job.audio, &job.out, packet);
    }
    av_packet_unref(packet);
    if (!go_on || control.cancelled() || job.out.encode_error) return false;
  }
  if (control.cancelled()) return false;
  // A file that cannot be read further is no end of the input: the output
  // would lack the rest of the video.
  if (int e = input_read_error(job.input.get())) {
    report_read_failure(e, &job.result->error);
    job.failed = true;
    return false;
  }
  // End of input: drain the decoder completely, so every frame it still holds
  // (B-frames, frame threads) reaches the output.
  avcodec_send_packet(job.decoder.get(), nullptr);
  receive_frames(job);
  return true;
}

// Decides how the job ended, once the output file is closed; a job that
// succeeded moves its file over the output path here.
PassOutcome outcome(StabilizeJob &job, bool file_complete) {
  StabilizeResult &result = *job.result;
  if (job.control->cancelled()) return PassOutcome::Cancelled;
  if (job.failed) return PassOutcome::Failed;
  if (job.out.encode_error) {
    result.error.fail_job("encode error");
    return PassOutcome::Failed;
  }
  if (!file_complete) {
    // The trailer or the last writes did not reach the file (a full disk):
    // it is not a playable output.
    result.error.fail("write trailer failed");
    return PassOutcome::Failed;
  }
  if (job.frame_counter <= 1) {
    result.error.fail_job("no frames encoded");
    return PassOutcome::Failed;
  }
  if (!output_commit(&job.out)) {
    result.error.fail("cannot replace output file %s", job.request->output_path);
    return PassOutcome::Failed;
  }
  return PassOutcome::Done;
}

// Runs the job from the opened output to its outcome.
PassOutcome run_frames(StabilizeJob &job) {
  StabilizeResult &result = *job.result;
  bool decoders_ready = open_video_decoder(job) && open_audio_decoder(job) && allocate_frame_objects(job);
  bool trailer_written = false;
  if (decoders_ready) {
    int n = static_cast<int>(job.corrections.size());
    job.frames_total = std::max(frame_estimate(job.duration, job.fps, 4.0), n);
    job.control->set_frames_total(job.frames_total);
    job.control->set_pass(1);
    trailer_written = frame_loop(job) ? output_finish(&job.out) : output_trailer(&job.out);
    result.frames = job.frame_counter;
    result.duration_s = job.frame_counter / (job.fps > 0.0 ? job.fps : 30.0);
  }
  // Close and free: the file first, then the frames, packets and decoders,
  // the resampler, then the encoders and the container (and with them the
  // output file, unless it took the output path's place).
  bool file_complete = output_close_file(&job.out) && trailer_written;
  job.decoded.reset();
  job.rendered.reset();
  job.converter.release();
  job.packet.reset();
  job.decoder.reset();
  audio_release(&job.audio);
  PassOutcome ended = outcome(job, file_complete);
  output_free(&job.out);
  job.corrections.clear();
  job.input.reset();
  if (ended == PassOutcome::Done) {
    result.elapsed_ms = perf_elapsed_ms(job.request->start);
    result.size_bytes = output_size(job.request->output_path, result.size_bytes);
  }
  return ended;
}

// Opens the input, plans the corrections and the output, then renders.
PassOutcome run(StabilizeJob &job) {
  const StabilizeRequest &request = *job.request;
  if (!open_job_input(job) || !plan_corrections(job)) return PassOutcome::Failed;
  // A transforms file found through the registry or a settings file may be
  // the very file the output would replace.
  if (const char *problem = transforms_output_problem(job.result->trf_path, request.output_path)) {
    job.result->error.fail("%s", problem);
    return PassOutcome::Failed;
  }
  OutputVideoParams video = output_video_params(job.input.get(), job.input->streams[job.video_index], job.fps);
  audio_stage_prepare(&job.audio, job.input.get(), job.audio_index, job.video_index, request.keep_audio);
  OutputAudioHooks audio_hooks = audio_output_hooks(&job.audio);
  if (!open_output(&job.out, video, request.output_path, &audio_hooks, job.control, &job.result->error))
    return PassOutcome::Failed;
  return run_frames(job);
}

}  // namespace

StabilizeResult run_stabilize(const StabilizeRequest &request, const JobControl &control) {
  StabilizeResult result;
  try {
    StabilizeJob job;
    job.request = &request;
    job.control = &control;
    job.result = &result;
    result.outcome = run(job);
  } catch (const std::bad_alloc &) {
    result.error.fail_job("oom");
    result.outcome = control.cancelled() ? PassOutcome::Cancelled : PassOutcome::Failed;
  } catch (...) {
    // Nothing may end the worker without an outcome: the host waits for it.
    result.error.fail_job("internal error");
    result.outcome = control.cancelled() ? PassOutcome::Cancelled : PassOutcome::Failed;
  }
  return result;
}
