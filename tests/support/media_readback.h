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

struct AudioReadback {
  bool opened = false;
  int streams = 0;
  int audio_index = -1;           // the first audio stream, -1 when none
  std::string codec;              // its codec's name
  int sample_rate = 0;
  int channels = 0;
  int packets = 0;
  long long samples = 0;          // samples the decoder delivered (fully drained), per channel
  int decode_errors = 0;          // packets or frames the decoder refused
  double first_packet_time = 0.0; // seconds: pts of the first audio packet (NAN when none)
  double first_frame_time = 0.0;  // seconds: timestamp of the first decoded audio frame (NAN when none)
  double video_start = 0.0;       // seconds: smallest pts (dts where none) of the first video stream's packets (NAN when none)
  // Seconds: time of the first sample of the first channel whose magnitude
  // reaches `sound_level` of full scale (NAN when none does), counted from
  // the first decoded frame's timestamp along the decoded samples.
  double first_sound_time = 0.0;
  double seconds() const { return sample_rate > 0 ? static_cast<double>(samples) / sample_rate : 0.0; }
};

// Opens path and decodes its first audio stream completely (every frame of
// every packet, then a full drain); notes where the first video stream starts.
AudioReadback read_audio(const std::string &path, double sound_level = 0.05);

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
