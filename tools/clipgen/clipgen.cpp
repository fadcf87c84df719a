// generate_clip: sets up the output's streams in the requested order,
// renders and encodes the frames with the tone interleaved by time, and
// writes the motion CSV.
#include "clipgen/clipgen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "clipgen/av_output.h"
#include "clipgen/camera_path.h"
#include "clipgen/texture.h"
#include "clipgen/tracks.h"

namespace {

std::string check_spec(const ClipSpec &clip_spec) {
  if (clip_spec.out_path.empty()) return "no output path";
  if (clip_spec.fps_num <= 0 || clip_spec.fps_den <= 0) return "frame rate must be positive";
  if (clip_spec.frames < 1) return "at least one frame is needed";
  if (clip_spec.video && (clip_spec.width < 1 || clip_spec.height < 1)) return "bad picture size";
  if (!clip_spec.video && clip_spec.audio_codec.empty()) return "a clip without video needs audio";
  if (clip_spec.threads < 0) return "bad thread count";
  if (!(std::fabs(clip_spec.audio_delay) < 3600.0)) return "audio delay out of range";
  return {};
}

// Everything generate_clip creates; members are released in reverse order,
// the output (which closes the file) last.
struct Clip {
  ClipOutputPtr output;
  std::vector<std::unique_ptr<VideoTrack>> videos;
  std::unique_ptr<AudioTrack> audio;
  ClipPacketPtr packet;
  bool file_created = false;  // the output file exists and is ours to remove on failure
};

// Seconds of the whole clip: the last frame's time plus one frame interval.
double clip_duration(const ClipSpec &clip_spec, const std::vector<double> &times) {
  double interval = static_cast<double>(clip_spec.fps_den) / clip_spec.fps_num;
  return (times.empty() ? 0.0 : times.back()) + interval;
}

long long sample_at(const AudioTrack &audio, double seconds) {
  return std::llround(seconds * audio.encoder->sample_rate);
}

bool add_streams(const ClipSpec &clip_spec, double duration, Clip &clip, std::string *error) {
  auto add_audio = [&]() {
    if (clip_spec.audio_codec.empty()) return true;
    clip.audio = std::make_unique<AudioTrack>();
    return add_audio_track(clip_spec, clip.output.get(), duration, clip.audio.get(), error);
  };
  auto add_video = [&](int w, int h, double scale) {
    clip.videos.push_back(std::make_unique<VideoTrack>());
    return add_video_track(clip_spec, clip.output.get(), w, h, scale, clip.videos.back().get(), error);
  };
  if (clip_spec.audio_first && !add_audio()) return false;
  if (clip_spec.video) {
    if (!add_video(clip_spec.width, clip_spec.height, 1.0)) return false;
    if (clip_spec.two_video) {
      // The same scene at half size, so a reader can tell the streams apart.
      int w = std::max(2, (clip_spec.width / 2) & ~1);
      int h = std::max(2, (clip_spec.height / 2) & ~1);
      if (!add_video(w, h, static_cast<double>(clip_spec.width) / w)) return false;
    }
  }
  if (!clip_spec.audio_first && !add_audio()) return false;
  return true;
}

bool write_clip(const ClipSpec &clip_spec, Clip &clip, std::string *error) {
  AVFormatContext *raw = nullptr;
  int rc = avformat_alloc_output_context2(&raw, nullptr, nullptr, clip_spec.out_path.c_str());
  if (rc < 0 || raw == nullptr) {
    *error = "no container for " + clip_spec.out_path;
    return false;
  }
  clip.output.reset(raw);
  AVFormatContext *output = raw;
  // No random identifiers or version strings: the same ClipSpec gives the same bytes.
  output->flags |= AVFMT_FLAG_BITEXACT;

  std::vector<double> times = clip_frame_times(clip_spec);
  std::vector<long long> ticks = clip_spec.vfr ? vfr_ticks(clip_spec) : std::vector<long long>();
  double duration = clip_duration(clip_spec, times);
  if (!add_streams(clip_spec, duration, clip, error)) return false;

  clip.packet.reset(av_packet_alloc());
  if (!clip.packet) {
    *error = "oom";
    return false;
  }
  if (!(output->oformat->flags & AVFMT_NOFILE)) {
    rc = avio_open(&output->pb, clip_spec.out_path.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) {
      *error = av_failure("open output", rc);
      return false;
    }
    clip.file_created = true;
  }
  AVDictionary *options = nullptr;
  if (clip_spec.faststart) av_dict_set(&options, "movflags", "+faststart", 0);
  rc = avformat_write_header(output, &options);
  av_dict_free(&options);
  if (rc < 0) {
    *error = av_failure("write header", rc);
    return false;
  }

  AVPacket *packet = clip.packet.get();
  if (clip_spec.video) {
    // Audio that leads the video: the video's timestamps start later.
    long long video_offset = 0;
    if (clip_spec.audio_delay < 0.0 && clip.audio) {
      AVRational tb = clip.videos.front()->encoder->time_base;
      video_offset = av_rescale_q(std::llround(-clip_spec.audio_delay * 1e6), AVRational{1, 1000000}, tb);
    }
    std::vector<CameraPose> poses = camera_path(clip_spec);
    Texture texture = make_texture(std::max(clip_spec.width, clip_spec.height), clip_spec.seed);
    for (int i = 0; i < clip_spec.frames; ++i) {
      bool black = i < clip_spec.black_frames;
      long long pts = (clip_spec.vfr ? ticks[i] : i) + video_offset;
      for (auto &video : clip.videos) {
        if (!write_video_frame(*video, texture, poses[i], black, pts, output, packet, error)) return false;
      }
      // Audio follows up to the next frame's time, so the muxer interleaves
      // without buffering the whole tone.
      double next = i + 1 < clip_spec.frames ? times[i + 1] : duration;
      if (clip.audio && !write_audio_until(*clip.audio, sample_at(*clip.audio, next), output, packet, error)) {
        return false;
      }
    }
    for (auto &video : clip.videos) {
      if (!encode_and_write(video->encoder.get(), nullptr, video->stream, output, packet, error)) return false;
    }
  }
  if (clip.audio) {
    AudioTrack &audio = *clip.audio;
    if (!write_audio_until(audio, audio.total_samples, output, packet, error)) return false;
    if (!encode_and_write(audio.encoder.get(), nullptr, audio.stream, output, packet, error)) return false;
  }
  rc = av_write_trailer(output);
  if (rc < 0) {
    *error = av_failure("write trailer", rc);
    return false;
  }
  if (output->pb && !(output->oformat->flags & AVFMT_NOFILE)) {
    rc = avio_closep(&output->pb);
    if (rc < 0) {
      *error = av_failure("close output", rc);
      return false;
    }
  }
  return true;
}

}  // namespace

bool generate_clip(const ClipSpec &clip_spec, std::string *error) {
  std::string ignored;
  std::string &reason = error ? *error : ignored;
  reason.clear();
  reason = check_spec(clip_spec);
  if (!reason.empty()) return false;
  bool ok;
  bool created;
  {
    Clip clip;
    ok = write_clip(clip_spec, clip, &reason);
    created = clip.file_created;
  }
  if (ok && !clip_spec.motion_csv.empty() && !write_motion_csv(clip_spec.motion_csv, clip_motion(clip_spec))) {
    reason = "cannot write " + clip_spec.motion_csv;
    ok = false;
  }
  if (!ok && created) std::remove(clip_spec.out_path.c_str());
  return ok;
}
