// Frame-rate and duration rules shared by the probe and both passes.
#pragma once

struct AVFormatContext;
struct AVStream;

// avg_frame_rate when usable (den >= 1, quotient > 0), else 30.
double analysis_fps(const AVStream *video);

// analysis_fps, with anything above 120 replaced by 30.
double stabilize_fps(const AVStream *video);

// avg_frame_rate, else r_frame_rate, else 30.
double probe_fps(const AVStream *video);

// Container duration, falling back to the stream's when the container's is
// unknown or not positive; 0 when neither is known.
double pass_duration(const AVFormatContext *input, const AVStream *video);

// Container duration whenever known (even 0), else the stream's, else 0.
double probe_duration(const AVFormatContext *input, const AVStream *video);

// Frame estimate of a pass: trunc(duration * fps + extra), limited to the
// int range (a bogus duration must not overflow the conversion).
int frame_estimate(double duration, double fps, double extra);
