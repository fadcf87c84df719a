#include "pipeline/stabilize_pass.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "motion/analysis_size.h"
#include "api/error.h"
#include "api/session.h"
#include "base/text.h"
#include "media/ffmpeg_holders.h"
#include "media/input.h"
#include "media/rates.h"
#include "platform/clock.h"
#include "mux/audio.h"
#include "mux/output.h"
#include "motion/smoothing.h"
#include "pipeline/transforms_source.h"
#include "dsp/warp.h"

namespace {

// Everything one stabilization owns besides the output. Members are declared
// so that destruction releases the frames and packet, then the decoders, then
// (last) the input, after the output has been closed and freed explicitly.
struct StabilizeJob {
  Session *s = nullptr;
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
  FramePtr decoded, rendered, converted;
  PacketPtr packet;
  SwsContextPtr converter;
  int frame_counter = 0;
  bool failed = false;  // the error text is set; the job ends failed (or cancelled)
};

void fail(StabilizeJob &job, const char *message) {
  session_set_error(job.s, message);
  job.failed = true;
}

bool open_job_input(StabilizeJob &job) {
  Session *s = job.s;
  AVFormatContext *raw = nullptr;
  if (open_input(s->input_path, &raw, &job.video_index, &job.audio_index) != 0) {
    char text[kErrSize];
    copy_err(text, sizeof text);
    fail(job, text);
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
  Session *s = job.s;
  std::vector<PathPoint> path;
  if (!load_job_transforms(s, path)) {
    fail(job, "no transforms \xE2\x80\x94 run analyze first");
    return false;
  }
  const int n = static_cast<int>(path.size());
  std::vector<PathPoint> smoothed;
  if (!smooth_path(path.data(), n, s->options.strength, smoothed) ||
      !form_corrections(path.data(), smoothed.data(), n, job.corrections)) {
    fail(job, "oom");
    return false;
  }
  job.zoom = fit_zoom(job.corrections, job.width, job.height, s->options.crop_max, &s->crop_percent);
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

// The warp reads 8-bit 4:2:0 pictures at the stream's size; a decoder that
// delivers another format or size gets its pictures converted first.
const AVFrame *as_yuv420(StabilizeJob &job, const AVFrame *frame) {
  if (frame->format == AV_PIX_FMT_YUV420P && frame->width == job.width && frame->height == job.height) {
    return frame;
  }
  if (!job.converted) {
    job.converted.reset(av_frame_alloc());
    if (!job.converted) return nullptr;
    job.converted->format = AV_PIX_FMT_YUV420P;
    job.converted->width = job.width;
    job.converted->height = job.height;
    if (av_frame_get_buffer(job.converted.get(), 0) < 0) {
      job.converted.reset();
      return nullptr;
    }
  }
  job.converter.reset(sws_getCachedContext(job.converter.release(), frame->width, frame->height,
                                           static_cast<AVPixelFormat>(frame->format), job.width, job.height,
                                           AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!job.converter) return nullptr;
  sws_scale(job.converter.get(), frame->data, frame->linesize, 0, frame->height, job.converted->data,
            job.converted->linesize);
  return job.converted.get();
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
  // The warp writes every sample of the output picture, so the frame needs no
  // clearing first.
  warp_yuv420(src->data[0], job.width, job.height, src->linesize[0], src->data[1], src->linesize[1],
              src->data[2], src->linesize[2], c.tx, c.ty, c.angle, job.zoom, out->data[0], out->data[1],
              out->data[2], job.width, job.height, out->linesize[0], out->linesize[1], out->linesize[2]);
  if (job.s->options.sharpen) unsharp_y(out->data[0], job.width, job.height, out->linesize[0]);
}

void publish_progress(StabilizeJob &job) {
  Session *s = job.s;
  s->frames_done.store(job.frame_counter, std::memory_order_relaxed);
  int total = s->frames_total.load(std::memory_order_relaxed);
  int percent = static_cast<int>(100.0 * job.frame_counter / total);
  s->percent.store(std::min(99, percent), std::memory_order_relaxed);
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
  const AVFrame *src = as_yuv420(job, decoded);
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
  Session *s = job.s;
  if (session_cancelled(s)) return false;
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
    if (!go_on || session_cancelled(s) || job.out.encode_error) return false;
  }
  if (session_cancelled(s)) return false;
  // End of input: drain the decoder completely, so every frame it still holds
  // (B-frames, frame threads) reaches the output.
  avcodec_send_packet(job.decoder.get(), nullptr);
  receive_frames(job);
  return true;
}

void store_outcome(StabilizeJob &job, PerfStamp start) {
  Session *s = job.s;
  if (session_cancelled(s)) {
    session_finish(s, SESSION_CANCELLED);
    return;
  }
  if (job.failed) {
    session_finish(s, SESSION_FAILED);
    return;
  }
  if (job.out.encode_error) {
    session_set_error(s, "encode error");
    session_finish(s, SESSION_FAILED);
    return;
  }
  if (job.frame_counter <= 1) {
    session_set_error(s, "no frames encoded");
    session_finish(s, SESSION_FAILED);
    return;
  }
  s->elapsed_ms = perf_elapsed_ms(start);
  s->size_bytes = output_size(s->output_path, s->size_bytes);
  session_finish(s, SESSION_DONE);
}

// Runs the job from the opened output to its outcome.
void run_frames(StabilizeJob &job, PerfStamp start) {
  Session *s = job.s;
  bool decoders_ready = open_video_decoder(job) && open_audio_decoder(job) && allocate_frame_objects(job);
  if (decoders_ready) {
    int n = static_cast<int>(job.corrections.size());
    s->frames_total.store(std::max(frame_estimate(job.duration, job.fps, 4.0), n), std::memory_order_relaxed);
    s->pass.store(1, std::memory_order_relaxed);
    if (frame_loop(job)) {
      output_finish(&job.out, s);
    } else {
      output_trailer(&job.out, s);
    }
    s->frames = job.frame_counter;
    s->duration_s = job.frame_counter / (job.fps > 0.0 ? job.fps : 30.0);
  }
  // Close and free: the file first, then the frames, packets and decoders,
  // the resampler, then the encoders and the container.
  output_close_file(&job.out);
  job.decoded.reset();
  job.rendered.reset();
  job.converted.reset();
  job.packet.reset();
  job.decoder.reset();
  audio_release(&job.audio);
  job.converter.reset();
  output_free(&job.out);
  job.corrections.clear();
  job.input.reset();
  store_outcome(job, start);
}

}  // namespace

void stabilize_thread(void *arg) {
  Session *s = static_cast<Session *>(arg);
  PerfStamp start = perf_now();
  try {
    StabilizeJob job;
    job.s = s;
    if (!open_job_input(job) || !plan_corrections(job)) {
      session_finish(s, SESSION_FAILED);
      return;
    }
    OutputVideoParams video = output_video_params(job.input.get(), job.input->streams[job.video_index], job.fps);
    audio_stage_prepare(&job.audio, job.input.get(), job.audio_index, job.video_index, s->options.keep_audio);
    OutputAudioHooks audio_hooks = audio_output_hooks(&job.audio);
    if (!open_output(&job.out, video, s->output_path, &audio_hooks, s)) {
      session_finish(s, SESSION_FAILED);
      return;
    }
    run_frames(job, start);
  } catch (const std::bad_alloc &) {
    session_set_error(s, "oom");
    session_finish(s, session_cancelled(s) ? SESSION_CANCELLED : SESSION_FAILED);
  } catch (...) {
    // Nothing may end the worker without a final state: the host waits for it.
    session_set_error(s, "internal error");
    session_finish(s, session_cancelled(s) ? SESSION_CANCELLED : SESSION_FAILED);
  }
}
