// Reading media files back in tests: what FFmpeg finds in a file we wrote.
#pragma once

#include <string>
#include <vector>

struct VideoReadback {
  bool opened = false;
  int streams = 0;
  int video_streams = 0;
  int audio_streams = 0;
  int width = 0;
  int height = 0;
  std::string codec;              // name of the first video stream's codec
  int frames = 0;                 // frames the decoder delivered (fully drained)
  int decode_errors = 0;          // packets or frames the decoder refused
  std::vector<double> times;      // presentation time of each frame, seconds, in output order
  double avg_fps = 0.0;           // the first video stream's avg_frame_rate
  int audio_packets = 0;
};

// Opens path, decodes its first video stream completely (every frame of every
// packet, then a full drain) and reports what it found.
VideoReadback read_video(const std::string &path);

// Luma planes of every decoded frame of the first video stream (packed,
// width x height each).
std::vector<std::vector<unsigned char>> read_luma_frames(const std::string &path, int *width, int *height);

// PSNR in dB of luma b against luma a over all frames they share (inf-like
// 99 when equal).
double luma_psnr(const std::vector<std::vector<unsigned char>> &a,
                 const std::vector<std::vector<unsigned char>> &b);
