// vs_clipgen: writes a deterministic test clip (see clipgen.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/parseutils.h>
#include <libavutil/rational.h>
}

#include "clipgen/clipgen.h"

namespace {

void usage(std::FILE *to) {
  std::fprintf(to,
               "usage: vs_clipgen --out PATH [options]\n"
               "\n"
               "Writes a short clip of a textured scene seen by a moving camera; the\n"
               "container follows the extension of PATH (mp4, mkv, mov, avi, ts).\n"
               "\n"
               "  --out PATH            output file (required)\n"
               "  --size WxH            picture size (default 320x240)\n"
               "  --fps N | N/D | X.Y   frame rate (default 30; e.g. 30000/1001, 12.5)\n"
               "  --frames N            number of frames (default 30)\n"
               "  --codec NAME          h264 (B-frames), h264-nob, mpeg4, or an FFmpeg encoder\n"
               "                        name such as ffv1, png, libx264rgb (default h264)\n"
               "  --pix-fmt NAME        pixel format (default yuv420p; e.g. yuv422p, yuv444p,\n"
               "                        rgb24 with h264 uses libx264rgb)\n"
               "  --preset NAME         libx264 preset (default ultrafast)\n"
               "  --bitrate N           video bit rate in bits/s (default: quality-based)\n"
               "  --threads N           encoder threads (default 1, bit-exact output)\n"
               "  --vfr                 irregular frame times (jitter and gaps)\n"
               "  --black N             make the first N frames flat black\n"
               "  --two-video           add a second, half-size video stream\n"
               "  --faststart           mp4/mov: put the index at the front\n"
               "  --shake PIXELS        camera shake: random walk + jitter amplitude (default 0)\n"
               "  --shake-angle RAD     turn amplitude of the shake (default 0.005)\n"
               "  --step DX,DY          fixed camera step per frame in pixels\n"
               "  --step-angle RAD      fixed camera turn per frame\n"
               "  --seed N              seed of the texture, shake and frame times (default 1)\n"
               "  --audio NAME          add a tone: aac, mp3, ac3, opus, pcm or an encoder name\n"
               "  --audio-rate N        sample rate (default 48000)\n"
               "  --audio-layout NAME   mono, stereo, 5.1, ... (default stereo)\n"
               "  --audio-first         put the audio stream before the video\n"
               "  --audio-delay SECONDS start of the tone relative to the first video frame\n"
               "                        (negative: the video starts later)\n"
               "  --no-video            write the audio stream only\n"
               "  --motion-csv PATH     write the true motion (frame,dx,dy,angle) there\n"
               "  --help                show this text\n");
}

bool parse_int(const char *text, long long *value) {
  char *end = nullptr;
  *value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0';
}

bool parse_double(const char *text, double *value) {
  char *end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

int bad(const char *option, const char *value) {
  std::fprintf(stderr, "vs_clipgen: bad value for %s: %s\n", option, value);
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  av_log_set_level(AV_LOG_ERROR);
  ClipSpec clip_spec;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      usage(stdout);
      return 0;
    }
    // Options without a value.
    if (option == "--vfr") { clip_spec.vfr = true; continue; }
    if (option == "--two-video") { clip_spec.two_video = true; continue; }
    if (option == "--audio-first") { clip_spec.audio_first = true; continue; }
    if (option == "--faststart") { clip_spec.faststart = true; continue; }
    if (option == "--no-video") { clip_spec.video = false; continue; }

    static const char *const kValued[] = {"--out", "--size", "--fps", "--frames", "--codec", "--pix-fmt",
                                          "--preset", "--bitrate", "--threads", "--black", "--shake",
                                          "--shake-angle", "--step", "--step-angle", "--seed", "--audio",
                                          "--audio-rate", "--audio-layout", "--audio-delay", "--motion-csv"};
    bool valued = false;
    for (const char *name : kValued) valued = valued || option == name;
    if (!valued) {
      std::fprintf(stderr, "vs_clipgen: unknown option %s (see --help)\n", option.c_str());
      return 2;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "vs_clipgen: %s needs a value (see --help)\n", option.c_str());
      return 2;
    }
    const char *value = argv[++i];
    long long n = 0;
    double d = 0.0;
    if (option == "--out") {
      clip_spec.out_path = value;
    } else if (option == "--size") {
      int w = 0, h = 0;
      char tail = 0;
      if (std::sscanf(value, "%dx%d%c", &w, &h, &tail) != 2 || w < 1 || h < 1) return bad("--size", value);
      clip_spec.width = w;
      clip_spec.height = h;
    } else if (option == "--fps") {
      AVRational rate{0, 1};
      if (av_parse_video_rate(&rate, value) < 0 || rate.num <= 0 || rate.den <= 0) return bad("--fps", value);
      av_reduce(&rate.num, &rate.den, rate.num, rate.den, 1 << 30);
      clip_spec.fps_num = rate.num;
      clip_spec.fps_den = rate.den;
    } else if (option == "--frames") {
      if (!parse_int(value, &n) || n < 1 || n > 1000000) return bad("--frames", value);
      clip_spec.frames = static_cast<int>(n);
    } else if (option == "--codec") {
      clip_spec.video_codec = value;
    } else if (option == "--pix-fmt") {
      clip_spec.pix_fmt = value;
    } else if (option == "--preset") {
      clip_spec.preset = value;
    } else if (option == "--bitrate") {
      if (!parse_int(value, &n) || n < 0) return bad("--bitrate", value);
      clip_spec.bitrate = n;
    } else if (option == "--threads") {
      if (!parse_int(value, &n) || n < 0 || n > 64) return bad("--threads", value);
      clip_spec.threads = static_cast<int>(n);
    } else if (option == "--black") {
      if (!parse_int(value, &n) || n < 0) return bad("--black", value);
      clip_spec.black_frames = static_cast<int>(n > 1000000 ? 1000000 : n);
    } else if (option == "--shake") {
      if (!parse_double(value, &d) || d < 0) return bad("--shake", value);
      clip_spec.shake = d;
    } else if (option == "--shake-angle") {
      if (!parse_double(value, &d) || d < 0) return bad("--shake-angle", value);
      clip_spec.shake_angle = d;
    } else if (option == "--step") {
      double dx = 0, dy = 0;
      char tail = 0;
      if (std::sscanf(value, "%lf,%lf%c", &dx, &dy, &tail) != 2) return bad("--step", value);
      clip_spec.step_dx = dx;
      clip_spec.step_dy = dy;
    } else if (option == "--step-angle") {
      if (!parse_double(value, &d)) return bad("--step-angle", value);
      clip_spec.step_angle = d;
    } else if (option == "--seed") {
      if (!parse_int(value, &n) || n < 0) return bad("--seed", value);
      clip_spec.seed = static_cast<std::uint64_t>(n);
    } else if (option == "--audio") {
      clip_spec.audio_codec = value;
    } else if (option == "--audio-rate") {
      if (!parse_int(value, &n) || n < 1 || n > 768000) return bad("--audio-rate", value);
      clip_spec.audio_rate = static_cast<int>(n);
    } else if (option == "--audio-layout") {
      clip_spec.audio_layout = value;
    } else if (option == "--audio-delay") {
      if (!parse_double(value, &d) || !(d > -3600.0 && d < 3600.0)) return bad("--audio-delay", value);
      clip_spec.audio_delay = d;
    } else if (option == "--motion-csv") {
      clip_spec.motion_csv = value;
    }
  }
  if (clip_spec.out_path.empty()) {
    usage(stderr);
    return 2;
  }
  std::string error;
  if (!generate_clip(clip_spec, &error)) {
    std::fprintf(stderr, "vs_clipgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
