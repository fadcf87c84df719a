// The encoded streams of a clip: video tracks rendered from the texture and
// an audio track carrying a tone.
#pragma once

#include <string>

#include "clipgen/av_output.h"
#include "clipgen/clipgen.h"
#include "clipgen/texture.h"

struct VideoTrack {
  ClipCodecPtr encoder;
  AVStream *stream = nullptr;
  ClipFramePtr frame;   // in the encoder's pixel format
  ClipFramePtr canvas;  // yuv444p picture converted by sws when frame is not planar 8-bit YUV
  ClipSwsPtr sws;
  int width = 0;
  int height = 0;
  double scale = 1.0;   // texture texels per luma pixel
};

// Adds a video stream of width x height to output and opens its encoder.
bool add_video_track(const ClipSpec &clip_spec, AVFormatContext *output, int width, int height, double scale,
                     VideoTrack *track, std::string *error);

// Renders (or blacks out) one frame at pose, stamps it with pts in the
// encoder's time base, encodes it and writes its packets.
bool write_video_frame(VideoTrack &track, const Texture &texture, const CameraPose &pose, bool black,
                       long long pts, AVFormatContext *output, AVPacket *packet, std::string *error);

struct AudioTrack {
  ClipCodecPtr encoder;
  AVStream *stream = nullptr;
  ClipFramePtr frame;
  long long next_sample = 0;
  long long pts_offset = 0;   // timestamp of sample 0 (audio_delay > 0)
  long long total_samples = 0;
  int frame_samples = 0;
  double tone_hz = 440.0;
};

// Adds an audio stream carrying duration_s seconds of tone and opens its encoder.
bool add_audio_track(const ClipSpec &clip_spec, AVFormatContext *output, double duration_s, AudioTrack *track,
                     std::string *error);

// Encodes and writes audio frames until sample `until` (cut at the track's
// end) is covered; every frame but the track's last has the encoder's frame size.
bool write_audio_until(AudioTrack &track, long long until, AVFormatContext *output, AVPacket *packet,
                       std::string *error);
