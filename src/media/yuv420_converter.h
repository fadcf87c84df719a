// Brings decoded pictures to the layout the warp reads: 8-bit YUV 4:2:0 at
// the video stream's size. Decoders may deliver another pixel format (RGB,
// 4:2:2, 10-bit, full range) or change the picture size mid-stream.
#pragma once

#include "media/ffmpeg_holders.h"

class Yuv420Converter {
 public:
  // The picture itself when it already is YUV420P at width x height; else a
  // converted copy, owned by the converter and valid until the next call.
  // Null when the conversion cannot be set up (no memory).
  const AVFrame *convert(const AVFrame *frame, int width, int height);

  // Releases the copy and the scaler.
  void release();

 private:
  FramePtr converted_;
  SwsContextPtr scaler_;
};
