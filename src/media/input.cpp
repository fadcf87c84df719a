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

int input_read_error(const AVFormatContext *input) {
  if (input == nullptr || input->pb == nullptr) return 0;
  int e = input->pb->error;
  return e < 0 && e != AVERROR(EAGAIN) && e != AVERROR_EOF ? e : 0;
}

void report_read_failure(int code, JobError *error) {
  char text[160];
  error->fail("read failed: %s", av_error_text(code, text, sizeof text));
}
