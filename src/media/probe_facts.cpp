#include "media/probe_facts.h"

#include "base/text.h"
#include "media/ffmpeg_holders.h"
#include "media/open_file.h"
#include "media/rates.h"
#include "media/stream_choice.h"
#include "platform/files.h"

namespace {

// Reads the facts of an open input whose stream information is known.
// Returns false when it has no video stream.
bool read_facts(const char *path, const AVFormatContext *input, ProbeFacts *facts) {
  StreamChoice choice = choose_streams(input);
  if (choice.video < 0) return false;
  const AVStream *video = input->streams[choice.video];
  const AVCodecParameters *par = video->codecpar;

  facts->fps = probe_fps(video);
  facts->duration_s = probe_duration(input, video);
  facts->width = par->width;
  facts->height = par->height;
  const char *name = avcodec_get_name(par->codec_id);
  copy_text(facts->codec, name ? name : "?");
  facts->has_audio = choice.audio >= 0;
  // Read while FFmpeg still holds the file open.
  facts->size_bytes = file_size(path);
  if (input->bit_rate > 0) {
    facts->bitrate = input->bit_rate;
  } else if (par->bit_rate >= 0) {
    facts->bitrate = par->bit_rate;
  } else {
    facts->bitrate = 0;
  }
  return true;
}

}  // namespace

bool read_probe_facts(const char *path, ProbeFacts *facts, JobError *error) {
  AVFormatContext *opened = nullptr;
  int rc = open_media_file(&opened, path);
  if (rc < 0) {
    report_open_failure(rc, path, error);
    return false;
  }
  InputContextPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) {
    error->fail("no stream info in %s", path);
    return false;
  }
  if (!read_facts(path, input.get(), facts)) {
    error->fail("no video stream");
    return false;
  }
  return true;
}
