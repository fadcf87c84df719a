// The output side of a stabilization: the H.264 encoder, the container chosen
// by the output file's extension with its video stream, the timestamps of the
// encoded frames, and the finishing, closing and measuring of the file.
//
// The stabilize pass drives it in this order:
//
//   OutputContext out;
//   OutputVideoParams video = output_video_params(input, input_video_stream, fps);
//   if (!open_output(&out, video, output_path, audio_hooks_or_null, &control, &error)) {
//     ... error is set; the job fails (nothing to close) ...
//   }
//   ... set up the decoders (a failure here goes straight to close and free) ...
//   per decoded frame:   if (!output_encode_frame(&out, frame, ts)) stop the loop at once;
//                        after the input packet is done, stop too when out.encode_error is set
//   at end of input:     every frame the drained decoder still gives goes through
//                        output_encode_frame like a loop frame (a caller that takes
//                        only one last frame uses output_encode_last_frame);
//                        output_finish(&out);            (video flush, audio flush hook, trailer)
//   after a cancelled or failed loop: output_trailer(&out);
//   output_close_file(&out);                              (false: the file is not complete)
//   ... release the frames, the input packet, the decoders and the resampler ...
//   when the job succeeded: output_commit(&out);          (the file takes the output path's place)
//   output_free(&out);                                    (an uncommitted file is removed)
//   on success: size_bytes = output_size(output_path, size_bytes);
//
// `ts` is the decoded frame's best-effort timestamp (AVFrame::best_effort_timestamp)
// in the input video stream's time base, or AV_NOPTS_VALUE; this module decides
// which timestamp the frame is encoded with (see OutputTiming).
//
// All of it runs on the job's worker thread. It reports through the JobError
// and reads the JobControl that open_output was given.
#pragma once

#include <cstdint>
#include <memory>

#include "base/job_control.h"
#include "base/job_error.h"
#include "media/ffmpeg_holders.h"
#include "mux/container_rules.h"
#include "mux/output_file.h"
#include "mux/video_timing.h"

// Releases a muxer context: closes its file first when it is still open.
struct OutputFormatCloser {
  void operator()(AVFormatContext *c) const;
};
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatCloser>;

struct OutputContext;

// The audio stage of the output, filled in by the audio module. Either
// function may be null.
struct OutputAudioHooks {
  // Called by open_output after the video stream exists and before the file
  // is opened: sets up the audio encoder and stream 1 (out->audio_encoder,
  // out->audio_stream, out->audio_enabled), or leaves them empty for no audio.
  void (*add_stream)(OutputContext *out, void *arg);
  // Called by output_finish after the video flush and before the trailer.
  void (*flush)(OutputContext *out, void *arg);
  void *arg;
};

// One job's output. Owns every FFmpeg object in it; the destructor releases
// whatever is left, in the order output_free uses.
struct OutputContext {
  OutputFormatPtr muxer;                    // the container; owns its streams
  std::unique_ptr<OutputFile> file;         // the file the muxer writes, beside the output path
  CodecContextPtr video_encoder;
  CodecContextPtr audio_encoder;            // set up by the audio hooks, else empty
  PacketPtr packet;                         // receives every encoded packet, video and audio
  AVStream *video_stream = nullptr;         // stream 0 of muxer
  AVStream *audio_stream = nullptr;         // stream 1 of muxer, when audio_enabled
  int audio_enabled = 0;
  OutputAudioHooks audio_hooks{};

  OutputTiming timing;
  AVRational input_time_base{0, 1};         // the input video stream's time base

  std::int64_t submitted = 0;               // frames accepted by the encoder in the loop
  int encode_error = 0;                     // a frame was refused or a packet write failed

  // The input timestamp (input_time_base units) that output time 0 stands for:
  // set by the first frame that has a timestamp; AV_NOPTS_VALUE until then.
  // Audio subtracts the same start.
  std::int64_t start_pts = AV_NOPTS_VALUE;

  // Timestamp state of the video frames (encoder time base).
  std::int64_t last_pts = AV_NOPTS_VALUE;   // the previous frame's timestamp
  std::int64_t origin = AV_NOPTS_VALUE;     // input timestamp of output 0 (variable rate)

  // The job the output belongs to: where its messages go, and its stop
  // request (a trailer that fails after a cancel is not reported).
  JobError *error = nullptr;
  const JobControl *control = nullptr;
};

// Creates the encoder, the container chosen by output_format_name(path) and
// its video stream, runs the audio hook's add_stream (hooks may be null),
// creates the file and writes the header. The file is new, beside `path`
// (see OutputFile); nothing at `path` itself is touched before
// output_commit. On failure returns false with every object released, the
// file removed, and the message in both texts of `error`, or in the job's
// text alone for "no output stream". `error` must not be null; `control` may
// be. The functions below need a context opened successfully.
//
// Messages: "unknown output format for %s", "encoder %s not available", "oom",
// "encoder open: %s", "cannot create output context", "no output stream",
// "cannot open output file %s", "write header failed".
bool open_output(OutputContext *out, const OutputVideoParams &video, const char *path,
                 const OutputAudioHooks *audio, const JobControl *control, JobError *error);

// Encodes one frame of the frame loop and writes the packets that come out.
// `frame` is YUV420P at the input's size; its pts is set here. Returns false
// when the encoder refused the frame: encode_error is set and the loop must
// stop at once. A failed write also sets encode_error (with "write frame
// failed" in the process-wide error text) but returns true: the loop
// finishes its input packet first.
bool output_encode_frame(OutputContext *out, AVFrame *frame, std::int64_t input_pts);

// Encodes the one frame the decoder gives when drained at end of input.
// Any refusal or failed write sets encode_error without a message; the frame
// counter is not advanced. Returns true when the encoder took the frame.
bool output_encode_last_frame(OutputContext *out, AVFrame *frame, std::int64_t input_pts);

// End of input: flushes the video encoder (a failed write sets encode_error
// silently), runs the audio hook's flush, then output_trailer, whose result
// it gives.
bool output_finish(OutputContext *out);

// Writes the trailer. False when it failed; that also records "write trailer
// failed" in the process-wide error text unless the job has been asked to
// stop. The caller decides what it means for the job.
bool output_trailer(OutputContext *out);

// Writes out and closes the output file (when the container has one and it
// is open). False when a write or the close failed: the file is incomplete.
bool output_close_file(OutputContext *out);

// Moves the closed, complete file over the output path. False when that
// fails (the old file at the path, if any, then stays).
bool output_commit(OutputContext *out);

// Releases the output packet, the audio encoder, the video encoder and the
// container, in this order, then the file, which is removed unless
// committed. The context can be opened again afterwards.
void output_free(OutputContext *out);

// Size of the finished file, or `keep` when it cannot be read.
std::int64_t output_size(const char *path, std::int64_t keep);
