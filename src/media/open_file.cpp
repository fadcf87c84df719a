#include "media/open_file.h"

#include <string>

#include "base/text.h"
#include "media/ffmpeg_holders.h"

void file_url(char *url, unsigned long size, const char *path) {
  format_text(url, size, "file:%s", path ? path : "");
}

int open_media_file(AVFormatContext **context, const char *path) {
  std::string url = std::string("file:") + (path ? path : "");
  AVDictionary *raw = nullptr;
  av_dict_set(&raw, "protocol_whitelist", "file", 0);
  int rc = avformat_open_input(context, url.c_str(), nullptr, &raw);
  av_dict_free(&raw);
  return rc;
}
