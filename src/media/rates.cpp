#include "media/rates.h"

#include <climits>
#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

constexpr double kDefaultFps = 30.0;
constexpr double kMaxStabilizeFps = 120.0;

// A rate is usable when its denominator is at least 1 and the quotient is
// positive; the quotient is returned through *fps.
bool usable_rate(AVRational rate, double *fps) {
  if (rate.den < 1) return false;
  double value = static_cast<double>(rate.num) / static_cast<double>(rate.den);
  if (!(value > 0.0)) return false;
  *fps = value;
  return true;
}

// The stream's own duration in seconds; the time base quotient is formed in
// double precision first and then multiplied by the duration.
double stream_seconds(const AVStream *video) {
  double unit = static_cast<double>(video->time_base.num) / static_cast<double>(video->time_base.den);
  return unit * static_cast<double>(video->duration);
}

}  // namespace

double analysis_fps(const AVStream *video) {
  double fps = kDefaultFps;
  if (video && usable_rate(video->avg_frame_rate, &fps)) return fps;
  return kDefaultFps;
}

double stabilize_fps(const AVStream *video) {
  double fps = analysis_fps(video);
  return fps > kMaxStabilizeFps ? kDefaultFps : fps;
}

double probe_fps(const AVStream *video) {
  double fps = kDefaultFps;
  if (video == nullptr) return kDefaultFps;
  if (usable_rate(video->avg_frame_rate, &fps)) return fps;
  if (usable_rate(video->r_frame_rate, &fps)) return fps;
  return kDefaultFps;
}

double pass_duration(const AVFormatContext *input, const AVStream *video) {
  bool container_known = input && input->duration != AV_NOPTS_VALUE;
  double d = container_known ? static_cast<double>(input->duration) / 1000000.0 : 0.0;
  if ((!container_known || d <= 0.0) && video && video->duration != AV_NOPTS_VALUE) {
    d = stream_seconds(video);
  }
  return d;
}

double probe_duration(const AVFormatContext *input, const AVStream *video) {
  if (input && input->duration != AV_NOPTS_VALUE) return static_cast<double>(input->duration) / 1000000.0;
  if (video && video->duration != AV_NOPTS_VALUE) return stream_seconds(video);
  return 0.0;
}

int frame_estimate(double duration, double fps, double extra) {
  double e = duration * fps + extra;
  if (std::isnan(e)) return 0;
  if (e >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (e <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(e);
}
