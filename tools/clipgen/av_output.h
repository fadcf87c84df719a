// FFmpeg owners and the encode-and-write step shared by the clip's tracks.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

struct ClipOutputFreer {
  void operator()(AVFormatContext *c) const {
    if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
struct ClipCodecFreer {
  void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct ClipFrameFreer {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct ClipPacketFreer {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct ClipSwsFreer {
  void operator()(SwsContext *s) const { sws_freeContext(s); }
};
struct ClipDictFreer {
  void operator()(AVDictionary *d) const { av_dict_free(&d); }
};

using ClipOutputPtr = std::unique_ptr<AVFormatContext, ClipOutputFreer>;
using ClipCodecPtr = std::unique_ptr<AVCodecContext, ClipCodecFreer>;
using ClipFramePtr = std::unique_ptr<AVFrame, ClipFrameFreer>;
using ClipPacketPtr = std::unique_ptr<AVPacket, ClipPacketFreer>;
using ClipSwsPtr = std::unique_ptr<SwsContext, ClipSwsFreer>;

// "what: <FFmpeg's text for code>".
std::string av_failure(const char *what, int code);

// Sends frame (null to flush) to the encoder and writes every packet it
// gives back to stream of output. False with *error set on failure.
bool encode_and_write(AVCodecContext *encoder, const AVFrame *frame, AVStream *stream, AVFormatContext *output,
                      AVPacket *packet, std::string *error);
