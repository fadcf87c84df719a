// videostabilizer_probe: opens a file on the caller's thread and reports its
// duration, picture size, frame rate, codec, audio presence, file size and
// bit rate as one line of JSON in g_probe_json.
#include "api/probe_export.h"

#include "api/error.h"
#include "api/export_guard.h"
#include "base/json_writer.h"
#include "base/text.h"
#include "media/ffmpeg_holders.h"
#include "media/open_file.h"
#include "media/rates.h"
#include "media/stream_choice.h"
#include "platform/file_size.h"
#include "videostabilizer.h"

char g_probe_json[kProbeJsonSize];

namespace {

struct ProbeFacts {
  double duration_s;
  long long width;
  long long height;
  double fps;
  bool has_audio;
  char codec[64];
  long long size_bytes;
  long long bitrate;
};

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

void write_report(const ProbeFacts &facts) {
  char *cursor = g_probe_json;
  // One byte is kept back so the closing brace and terminator always fit.
  char *end = g_probe_json + kProbeJsonSize - 1;
  *cursor++ = '{';
  put_kv_s(&cursor, end, "ok", "true", 0);
  put_kv_d(&cursor, end, "duration_s", facts.duration_s, 3);
  put_kv_i(&cursor, end, "width", facts.width);
  put_kv_i(&cursor, end, "height", facts.height);
  put_kv_d(&cursor, end, "fps", facts.fps, 3);
  put_text(&cursor, end, ",");
  put_text(&cursor, end, "\"%s\":%s", "has_audio", facts.has_audio ? "true" : "false");
  put_kv_s(&cursor, end, "codec", facts.codec, 1);
  put_kv_i(&cursor, end, "size_bytes", facts.size_bytes);
  put_kv_i(&cursor, end, "bitrate", facts.bitrate);
  if (cursor < end) *cursor++ = '}';
  *cursor = '\0';
}

int probe(const char *path, const char **out_json) {
  *out_json = nullptr;
  if (is_empty(path)) {
    set_err("empty input path");
    return 0;
  }
  AVFormatContext *opened = nullptr;
  int rc = open_media_file(&opened, path);
  if (rc < 0) {
    char text[160];
    set_err("open input: %s", av_error_text(rc, text, sizeof text));
    return 0;
  }
  InputContextPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) {
    set_err("no stream info in %s", path);
    return 0;
  }
  ProbeFacts facts{};
  if (!read_facts(path, input.get(), &facts)) {
    set_err("no video stream");
    return 0;
  }
  input.reset();
  write_report(facts);
  *out_json = g_probe_json;
  return 1;
}

}  // namespace

extern "C" int videostabilizer_probe(const char *input_path, const char **out_json) {
  clear_err();
  if (out_json == nullptr) {
    set_err("out_json NULL");
    return 0;
  }
  *out_json = nullptr;
  return guarded(0, [&] { return probe(input_path, out_json); });
}
