// Deterministic test clips for the tests and benchmarks.
//
// A clip shows a large textured image (multi-scale value noise, no flat
// areas) seen through a virtual camera that moves by a known amount every
// frame. Frames are rendered with bilinear sampling, encoded with the FFmpeg
// libraries and muxed into the container named by the output's extension
// (.mp4, .mkv, .mov, .avi, .ts, ...). Optional audio is a tone.
//
// Camera motion. Each frame i has a camera pose (x_i, y_i, theta_i): the
// texture point seen at the frame centre and the camera's turn. A frame
// pixel p (relative to the frame centre, x right, y down) shows the texture
// at (x_i, y_i) + R(theta_i) p, with R(t) = [cos t, -sin t; sin t, cos t].
//
// The motion written for frame i (ClipMotion, and one CSV row) is the
// motion from frame i-1 to frame i in the convention of the motion
// estimator:
//   the content at p in frame i is found at q = R(angle) p + (dx, dy) in
//   frame i-1 (both relative to the frame centre), exactly.
// So dx > 0 means the content moved LEFT, dy > 0 that it moved UP, and a
// positive angle that the content turned counter-clockwise on the screen
// (x right, y down); a pure turn by a gives a block at (px, py) the
// displacement a * (-py, px). Units are pixels of the (first) video stream
// and radians. Frame 0 has no previous frame: its row is 0, 0, 0.
//
// The CSV file has the header line "frame,dx,dy,angle" and one row per
// frame.
//
// Determinism: the texture, the motion and the frame times come from fixed
// seeds, the encoders run on one thread with bit-exact flags, and the muxer
// writes no random identifiers, so the same ClipSpec gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ClipSpec {
  std::string out_path;          // container chosen from the extension

  // Video.
  bool video = true;             // false: an audio-only file (needs audio)
  int width = 320;
  int height = 240;
  int fps_num = 30;              // nominal frame rate fps_num / fps_den
  int fps_den = 1;
  int frames = 30;               // video frames (1 or more)
  // "h264" (libx264 with B-frames; libx264rgb for RGB pixel formats),
  // "h264-nob" (libx264 without B-frames), "mpeg4", or any other FFmpeg
  // video encoder name ("ffv1", "png", "libx264rgb", ...).
  std::string video_codec = "h264";
  std::string pix_fmt = "yuv420p";  // any FFmpeg pixel format the encoder takes
  std::string preset = "ultrafast"; // libx264 preset
  std::int64_t bitrate = 0;      // bits per second; 0 = the encoder's quality default
  int threads = 1;               // encoder threads (1 keeps the output bit-exact)
  bool vfr = false;              // irregular frame times (jitter and gaps)
  int black_frames = 0;          // the first N frames are flat black
  bool two_video = false;        // a second video stream at half size follows the first
  bool faststart = false;        // mp4/mov: index (moov) at the front instead of the end

  // Camera motion: a fixed step per frame plus a seeded shake (a
  // mean-reverting random walk plus jitter). All zero = still camera.
  // The step is taken along the scene's axes: without a turn every frame's
  // motion is exactly (step_dx, step_dy, 0), so the content moves by -step;
  // with a turn the per-frame (dx, dy) in the frame's axes rotate with the
  // camera (clip_motion and the CSV give the exact values).
  double step_dx = 0.0;          // camera step per frame, pixels
  double step_dy = 0.0;
  double step_angle = 0.0;       // radians per frame
  double shake = 0.0;            // shake amplitude, pixels
  double shake_angle = 0.005;    // turn amplitude of the shake, radians (used when shake > 0)
  std::uint64_t seed = 1;

  // Audio.
  std::string audio_codec;       // "" none, "aac", "mp3", "ac3", "opus", "pcm", or an encoder name
  int audio_rate = 48000;
  std::string audio_layout = "stereo";  // "mono", "stereo", "5.1", or any FFmpeg layout name
  double tone_hz = 440.0;
  bool audio_first = false;      // put the audio stream before the video streams
  // Where the tone starts relative to the first video frame, seconds: > 0
  // the audio starts that much later; < 0 the video starts that much later
  // (rounded to the video's time base), so the audio comes first in time.
  double audio_delay = 0.0;

  std::string motion_csv;        // where to write the true motion ("" = nowhere)
};

struct ClipMotion {
  int frame;
  double dx;
  double dy;
  double angle;
};

// Writes the clip (and the motion CSV when asked). On failure returns false
// with a short reason in *error (when error is not null) and removes the
// partial output.
bool generate_clip(const ClipSpec &clip_spec, std::string *error);

// The motion generate_clip applies for clip_spec, one entry per frame.
std::vector<ClipMotion> clip_motion(const ClipSpec &clip_spec);

// Presentation time in seconds of every video frame of clip_spec: i / fps for a
// constant rate, jittered times with gaps for vfr.
std::vector<double> clip_frame_times(const ClipSpec &clip_spec);

// Writes motion rows as CSV ("frame,dx,dy,angle" then one row each).
bool write_motion_csv(const std::string &path, const std::vector<ClipMotion> &motion);

// Reads a CSV written by write_motion_csv; empty when the file cannot be
// read or is malformed.
std::vector<ClipMotion> read_motion_csv(const std::string &path);

// The FFmpeg encoder name a ClipSpec video_codec / audio_codec stands for
// with the given pixel format, or "" when this build has no such encoder.
std::string video_encoder_name(const std::string &video_codec, const std::string &pix_fmt);
std::string audio_encoder_name(const std::string &audio_codec);
