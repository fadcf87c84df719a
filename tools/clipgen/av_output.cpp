#include "clipgen/av_output.h"

std::string av_failure(const char *what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof text);
  return std::string(what) + ": " + text;
}

bool encode_and_write(AVCodecContext *encoder, const AVFrame *frame, AVStream *stream, AVFormatContext *output,
                      AVPacket *packet, std::string *error) {
  int rc = avcodec_send_frame(encoder, frame);
  if (rc < 0) {
    *error = av_failure("encode", rc);
    return false;
  }
  for (;;) {
    rc = avcodec_receive_packet(encoder, packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) {
      *error = av_failure("encode", rc);
      return false;
    }
    av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
    packet->stream_index = stream->index;
    rc = av_interleaved_write_frame(output, packet);
    av_packet_unref(packet);
    if (rc < 0) {
      *error = av_failure("write packet", rc);
      return false;
    }
  }
}
