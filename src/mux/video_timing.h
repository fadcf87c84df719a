// The timing of the output video: its frame rate, its time base, and whether
// frames keep the input's timestamps.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/rational.h>
}

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
