// Owners of FFmpeg objects: each releases its object with the matching FFmpeg
// call when it goes out of scope, so every path out of a pass releases what
// it created. Declare them in creation order; where a pass needs a fixed
// release order it calls reset() explicitly.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "media/open_file.h"

// An input context, with the file open_media_file opened for it.
struct InputContextCloser {
  void operator()(AVFormatContext *c) const { close_media_file(&c); }
};
struct CodecContextFreer {
  void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct SwsFreer {
  void operator()(SwsContext *s) const { sws_freeContext(s); }
};
struct SwrFreer {
  void operator()(SwrContext *s) const { swr_free(&s); }
};
struct AudioFifoFreer {
  void operator()(AVAudioFifo *f) const { av_audio_fifo_free(f); }
};
struct DictFreer {
  void operator()(AVDictionary *d) const { av_dict_free(&d); }
};

using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsFreer>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrFreer>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFreer>;

// av_strerror into a caller buffer, returning it.
inline const char *av_error_text(int code, char *buf, std::size_t size) {
  buf[0] = '\0';
  av_strerror(code, buf, size);
  return buf;
}
