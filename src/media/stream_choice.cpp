#include "media/stream_choice.h"

extern "C" {
#include <libavformat/avformat.h>
}

StreamChoice choose_streams(const AVFormatContext *input) {
  StreamChoice choice{-1, -1};
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVCodecParameters *par = input->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && choice.video < 0) choice.video = static_cast<int>(i);
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && choice.audio < 0) choice.audio = static_cast<int>(i);
  }
  return choice;
}
