#include "media/input.h"

#include "media/ffmpeg_holders.h"
#include "media/open_file.h"
#include "media/stream_choice.h"

int open_input(const char *path, AVFormatContext **context, int *video_index, int *audio_index,
               JobError *error) {
  *video_index = -1;
  *audio_index = -1;
  *context = nullptr;

  AVFormatContext *opened = nullptr;
  int rc = open_media_file(&opened, path);
  if (rc < 0) {
    report_open_failure(rc, path, error);
    return -3;
  }
  InputContextPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) {
    error->fail("no stream info");
    return -3;
  }
  StreamChoice choice = choose_streams(input.get());
  if (choice.video < 0) {
    error->fail("no video stream");
    return -3;
  }
  *video_index = choice.video;
  *audio_index = choice.audio;
  *context = input.release();
  return 0;
}
