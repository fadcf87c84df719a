// The output side of a stabilization: the H.264 encoder, the container chosen
// by the output file's extension with its video stream, the timestamps of the
// encoded frames, and the finishing, closing and measuring of the file.
//
// The stabilize pass drives it in this order:
//
//   OutputContext out;
//   OutputVideoParams video = output_video_params(input, input_video_stream, fps);
//   if (!open_output(&out, video, output_path, audio_hooks_or_null, &control, &error, &file_opened)) {
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
//   output_close_file(&out);
//   ... release the frames, the input packet, the decoders and the resampler ...
//   output_free(&out);
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

// Releases a muxer context: closes its file first when it is still open.
struct OutputFormatCloser {
  void operator()(AVFormatContext *c) const;
};
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatCloser>;

// ------------------------------------------------------------------ rules ---

// FFmpeg's muxer name for an output path, chosen by the text from the path's
// last '.' to its end, compared ignoring ASCII case: ".mov" "mov", ".mkv"
// "matroska", ".webm" "webm", ".m4v" "mp4", ".avi" "avi", ".ts" "mpegts",
// anything else (or no dot at all) "mp4". A dot in a directory name counts,
// so "a.b/out" gives "mp4".
const char *output_format_name(const char *path);

// The encoder's bit rate: the input container's bit rate when it is positive,
// else width x height x fps; 4 x width x height when that comes to nothing;
// then limited to 500000 .. 10000000.
std::int64_t output_bit_rate(std::int64_t container_bit_rate, int width, int height, double fps);

// The fallback rate R/1 with R = llround(fps) (halves away from zero), or
// 30/1 when that is not positive.
AVRational rounded_frame_rate(double fps);

// True when a stream's rate can be the output's: a positive fraction of at
// most 120 frames per second (the stabilize frame rate treats anything above
// as unknown and uses 30).
bool usable_frame_rate(AVRational rate);

// Variable-rate input: the demuxer's average rate and its guess of the base
// rate (r_frame_rate) are not the same usable fraction. A constant-rate input
// has both equal; when they differ, or either is unknown, the frames' own
// timestamps are the only trustworthy timing, and keeping them is also
// harmless for an input that was constant after all.
bool input_is_variable_rate(AVRational avg_frame_rate, AVRational r_frame_rate);

// What the output needs to know about the input video, as plain values.
struct OutputVideoParams {
  int width = 0;
  int height = 0;
  double fps = 0.0;                        // the stabilize frame rate of the pass
  AVRational avg_frame_rate{0, 1};         // the input video stream's average rate
  AVRational time_base{0, 1};              // the input video stream's time base
  bool variable_rate = false;              // see input_is_variable_rate
  std::int64_t container_bit_rate = 0;     // the input container's bit rate, <= 0 unknown
  // How players must turn the picture (phones record portrait video as a
  // turned landscape picture): the input's display matrix, passed on to the
  // output stream unchanged.
  bool has_display_matrix = false;
  std::int32_t display_matrix[9] = {};
};

// Fills the values from the opened input and its video stream; `fps` is the
// stabilize frame rate the pass computed.
OutputVideoParams output_video_params(const AVFormatContext *input, const AVStream *video, double fps);

// The timing of the output video.
//
// Constant rate (the input is not variable-rate, or the container holds only
// constant rates, like AVI): the rate is the input's average rate when usable,
// else rounded_frame_rate(fps); the time base is its inverse and frame k gets
// timestamp k.
//
// Variable rate: the time base is the input stream's own (when it is a
// positive fraction no coarser than one frame), and every frame keeps its
// timestamp, shifted so that the first frame is at 0. A frame without a
// timestamp, or with one not after its predecessor's, is placed one frame
// duration after its predecessor, and the frames after it keep their spacing
// from it, so timestamps always increase strictly.
struct OutputTiming {
  AVRational frame_rate{30, 1};    // encoder framerate and the stream's avg_frame_rate
  AVRational time_base{1, 30};     // encoder time base
  bool keep_timestamps = false;    // variable rate: frames keep their own timestamps
  std::int64_t frame_ticks = 1;    // one frame duration in time_base units (at least 1)
};

// The timing for an input; `constant_rate_only` is set for a container that
// cannot hold variable rates.
OutputTiming choose_output_timing(const OutputVideoParams &video, bool constant_rate_only);

// Converts a packet's pts, dts and duration from one time base to another;
// a pts or dts that is AV_NOPTS_VALUE stays so.
void vs_rescale(AVPacket *packet, AVRational from, AVRational to);

// ----------------------------------------------------------------- output ---

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
  OutputFormatPtr muxer;                    // the container; owns its streams and its file
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
// opens the file and writes the header. Sets *file_opened as soon as the
// file is opened. On failure returns false with every object released, the
// file closed, and the message in both texts of `error`, or in the job's text
// alone for "no output stream". `error` must not be null; `control` may be.
// The functions below need a context opened successfully.
//
// Messages: "unknown output format for %s", "encoder %s not available", "oom",
// "encoder open: %s", "cannot create output context", "no output stream",
// "cannot open output file %s", "write header failed".
bool open_output(OutputContext *out, const OutputVideoParams &video, const char *path,
                 const OutputAudioHooks *audio, const JobControl *control, JobError *error,
                 bool *file_opened);

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
// silently), runs the audio hook's flush, then output_trailer.
void output_finish(OutputContext *out);

// Writes the trailer. A failure records "write trailer failed" in the
// process-wide error text unless the job has been asked to stop; it changes
// neither encode_error nor the job.
void output_trailer(OutputContext *out);

// Closes the output file (when the container has one and it is open).
void output_close_file(OutputContext *out);

// Releases the output packet, the audio encoder, the video encoder and the
// container, in this order. The context can be opened again afterwards.
void output_free(OutputContext *out);

// Size of the finished file, or `keep` when it cannot be read.
std::int64_t output_size(const char *path, std::int64_t keep);
