// Audio re-encoding: the input's first audio stream comes out as AAC stereo
// in stream 1, nearly every sample of it, in sync with the video, in every
// container the output offers; and the rules behind it (the time line, the
// frame grouping, the decoder and resampler set-up) on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "mux/audio.h"
#include "mux/audio_resampler.h"
#include "support/clips.h"
#include "support/media_readback.h"
#include "support/output_job.h"
#include "support/test_support.h"
#include "videostabilizer.h"

namespace {

struct Job {
  int ok = 0;
  std::string report;
  std::string error;
};

// Analyzes, then stabilizes input into output.
Job stabilize_clip(const std::string &input, const std::string &output, const char *options = nullptr) {
  Job j;
  const char *json = nullptr;
  if (videostabilizer_analyze(input.c_str(), nullptr, &json) != 1) {
    j.error = std::string("analyze: ") + videostabilizer_last_error();
    return j;
  }
  j.ok = videostabilizer_stabilize(input.c_str(), output.c_str(), options, &json);
  if (json) j.report = json;
  j.error = videostabilizer_last_error();
  return j;
}

// Where the tone starts relative to the video, seconds.
double sound_offset(const AudioReadback &a) { return a.first_sound_time - a.video_start; }

std::string describe(const AudioReadback &a) {
  char text[256];
  std::snprintf(text, sizeof text, "%s %d Hz %d ch, %lld samples, %d errors, sound at %.4f s, video at %.4f s",
                a.codec.c_str(), a.sample_rate, a.channels, a.samples, a.decode_errors, a.first_sound_time,
                a.video_start);
  return text;
}

// One AAC frame, in seconds.
double aac_frame(int rate) { return 1024.0 / rate; }

// A short shaken clip with a tone.
ClipSpec tone_clip(const char *codec, int rate, const char *layout, int frames = 30) {
  ClipSpec clip_spec = small_clip(frames);
  clip_spec.shake = 2.0;
  clip_spec.audio_codec = codec;
  clip_spec.audio_rate = rate;
  clip_spec.audio_layout = layout;
  return clip_spec;
}

}  // namespace

// ------------------------------------------------------------ time line ---

TEST(AudioTimeline, OriginFollowsTheVideoStart) {
  const AVRational tb{1, 30};  // video time base; the audio runs at 48000
  struct Case {
    const char *what;
    std::int64_t output_start, stream_start, slack;
    bool give_up;
    bool decided;
    std::int64_t origin;  // samples
  };
  const Case cases[] = {
      {"the output's start decides", 3, AV_NOPTS_VALUE, 0, false, true, 4800},
      {"nothing known yet: wait", AV_NOPTS_VALUE, 0, 0, false, false, 0},
      {"waited long enough: the stream's start", AV_NOPTS_VALUE, 6, 0, true, true, 9600},
      {"no video time at all: where the audio starts", AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0, true, true, 1000},
      {"a guessed start late by the reorder depth", 2, 0, 2, false, true, 0},
      {"a start later than the reorder depth stands", 3, 0, 2, false, true, 4800},
      {"a start before the stream's start stands", 1, 2, 2, false, true, 1600},
  };
  for (const Case &c : cases) {
    AudioTimeline t;
    t.rate = 48000;
    timeline_place(&t, 1000, 0);
    VideoStart v;
    v.output_start = c.output_start;
    v.stream_start = c.stream_start;
    v.guess_slack = c.slack;
    v.time_base = tb;
    EXPECT_EQ(timeline_decide_origin(&t, v, c.give_up), c.decided) << c.what;
    if (c.decided) {
      EXPECT_EQ(t.origin, c.origin) << c.what;
    }
  }
}

TEST(AudioTimeline, FirstTimestampPlacesTheWholeRun) {
  AudioTimeline t;
  t.rate = 48000;
  // 1024 samples without a timestamp are queued, then a frame at 5000.
  timeline_place(&t, AV_NOPTS_VALUE, 0);
  timeline_place(&t, 5000, 1024);
  timeline_place(&t, 99999, 2048);  // later timestamps change nothing
  VideoStart v;
  v.output_start = 0;
  v.time_base = AVRational{1, 48000};
  ASSERT_TRUE(timeline_decide_origin(&t, v, false));
  EXPECT_EQ(timeline_head_pts(t), 3976);
  EXPECT_EQ(timeline_samples_before_zero(t), 0);

  // Audio that starts before the video: the samples before 0 are counted.
  AudioTimeline early;
  early.rate = 48000;
  timeline_place(&early, 100, 0);
  v.output_start = 600;
  ASSERT_TRUE(timeline_decide_origin(&early, v, false));
  EXPECT_EQ(timeline_samples_before_zero(early), 500);
  timeline_advance(&early, 500);
  EXPECT_EQ(timeline_head_pts(early), 0);

  // No timestamp anywhere: the audio starts at the origin.
  AudioTimeline untimed;
  untimed.rate = 48000;
  ASSERT_TRUE(timeline_decide_origin(&untimed, v, false));
  EXPECT_EQ(timeline_head_pts(untimed), 0);
}

TEST(AudioTimeline, HugeTimestampsDoNotOverflow) {
  AudioTimeline t;
  t.rate = 48000;
  timeline_place(&t, INT64_MAX - 5, 1000);
  VideoStart v;
  v.output_start = INT64_MIN + 10;
  v.stream_start = INT64_MAX - 10;
  v.guess_slack = 100;
  v.time_base = AVRational{1, 48000};
  ASSERT_TRUE(timeline_decide_origin(&t, v, false));
  EXPECT_GT(timeline_head_pts(t), 0);
  EXPECT_EQ(timeline_samples_before_zero(t), 0);
  timeline_advance(&t, INT64_MAX);
}

TEST(AudioTimeline, ReorderSlack) {
  // 30 fps in a 1/30 time base: delay 2 frames plus half a frame.
  EXPECT_EQ(video_start_slack(2, AVRational{30, 1}, AVRational{1, 30}), 3);  // 2.5 rounds to 3
  EXPECT_EQ(video_start_slack(1, AVRational{2997, 125}, AVRational{125, 2997}), 2);
  EXPECT_EQ(video_start_slack(0, AVRational{25, 1}, AVRational{1, 1000}), 20);
  EXPECT_EQ(video_start_slack(1, AVRational{0, 1}, AVRational{1, 1000}), 0);  // rate unknown
}

TEST(AudioFrames, GroupingFollowsTheEncoder) {
  EXPECT_EQ(audio_chunk_samples(1024), 1024);
  EXPECT_EQ(audio_chunk_samples(0), 1024);  // an encoder that takes any size
  EXPECT_FALSE(audio_pad_last_frame(1024, AV_CODEC_CAP_SMALL_LAST_FRAME));
  EXPECT_TRUE(audio_pad_last_frame(1024, 0));
  EXPECT_FALSE(audio_pad_last_frame(1024, AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
  EXPECT_FALSE(audio_pad_last_frame(0, 0));

  // Room for one converted frame, the resampler's bound included.
  EXPECT_EQ(audio_convert_capacity(1024, 48000, 48000, 0), 1032);
  EXPECT_EQ(audio_convert_capacity(1152, 44100, 44100, 0), 1160);
  EXPECT_EQ(audio_convert_capacity(1024, 48000, 44100, 2000), 2000);
  EXPECT_EQ(audio_convert_capacity(1024, 0, 48000, 0), 0);  // no rate: skipped
  EXPECT_EQ(audio_convert_capacity(1 << 30, 1, 48000, 0), 0);  // absurd: skipped
}

// ------------------------------------------------------- fake streams ---

namespace {

// An input with one audio stream described by hand.
struct FakeInput {
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> context{avformat_alloc_context(),
                                                                        avformat_free_context};
  AVStream *stream = nullptr;

  FakeInput(AVCodecID codec, int channels, int format, int rate) {
    stream = avformat_new_stream(context.get(), nullptr);
    stream->time_base = AVRational{1, rate > 0 ? rate : 44100};
    AVCodecParameters *par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = codec;
    par->format = format;
    par->sample_rate = rate;
    if (channels > 0) av_channel_layout_default(&par->ch_layout, channels);
  }
};

// That input and an output with an AAC encoder context, enough for the
// decoder set-up.
struct FakeAudio {
  FakeInput input;
  OutputContext out;
  AudioStage audio;

  FakeAudio(AVCodecID codec, int channels, int format, int rate) : input(codec, channels, format, rate) {
    out.audio_encoder.reset(avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_AAC)));
    out.audio_encoder->sample_rate = rate > 0 ? rate : 44100;
    out.audio_encoder->frame_size = 1024;
    out.audio_enabled = 1;
    audio_stage_prepare(&audio, input.context.get(), 0, -1, 1);
  }
};

}  // namespace

// ------------------------------------------------------------- encoder ---

TEST(AudioEncoderSetup, StreamOneFollowsTheInputAndTheContainer) {
  TempDir dir;
  OutputVideoParams video;
  video.width = 160;
  video.height = 120;
  video.fps = 30.0;
  video.avg_frame_rate = AVRational{30, 1};
  video.time_base = AVRational{1, 30};
  struct Case {
    const char *file;
    int input_rate;
    int keep_audio;
    bool enabled;
    int rate;
    bool global_header;  // the AAC configuration goes into the stream header
  };
  const Case cases[] = {
      {"a.mp4", 48000, 1, true, 48000, true},  {"b.mov", 22050, 1, true, 22050, true},
      {"c.mkv", 0, 1, true, 44100, true},      {"d.avi", 48000, 1, true, 48000, false},
      {"e.ts", 44100, 1, true, 44100, false},  {"f.mp4", 48000, 0, false, 0, false},
      {"g.mp4", 12345, 1, true, 12000, true},  // AAC cannot run at that rate: the nearest it takes
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    FakeInput input(AV_CODEC_ID_PCM_S16LE, 2, AV_SAMPLE_FMT_S16, c.input_rate);
    AudioStage audio;
    audio_stage_prepare(&audio, input.context.get(), 0, -1, c.keep_audio);
    OutputAudioHooks hooks = audio_output_hooks(&audio);
    auto job = std::make_unique<OutputJob>();
    OutputContext out;
    ASSERT_TRUE(open_output(&out, video, dir.file(c.file).c_str(), &hooks, job.get())) << job->error.job;
    EXPECT_EQ(out.audio_enabled, c.enabled ? 1 : 0);
    EXPECT_EQ(out.muxer->nb_streams, c.enabled ? 2u : 1u);
    if (c.enabled) {
      ASSERT_NE(out.audio_stream, nullptr);
      EXPECT_EQ(out.audio_stream->index, 1);
      EXPECT_EQ(out.audio_stream->codecpar->codec_id, AV_CODEC_ID_AAC);
      AVCodecContext *enc = out.audio_encoder.get();
      EXPECT_EQ(enc->sample_rate, c.rate);
      EXPECT_EQ(enc->time_base.num, 1);
      EXPECT_EQ(enc->time_base.den, c.rate);
      EXPECT_EQ(enc->ch_layout.nb_channels, 2);
      EXPECT_EQ(enc->sample_fmt, AV_SAMPLE_FMT_FLTP);
      EXPECT_EQ(enc->bit_rate, 128000);
      EXPECT_EQ((enc->flags & AV_CODEC_FLAG_GLOBAL_HEADER) != 0, c.global_header);
    } else {
      EXPECT_EQ(out.audio_encoder, nullptr);
    }
    output_trailer(&out);
    output_close_file(&out);
    output_commit(&out);
    output_free(&out);
  }
}

// ------------------------------------------------- decoder and resampler ---

TEST(AudioDecoderSetup, FailuresEndTheJobWithTheirMessage) {
  struct Case {
    const char *what;
    AVCodecID codec;
    int channels, format, rate;
    const char *message;  // null: set up
    bool decoder;
  };
  const Case cases[] = {
      {"pcm stereo", AV_CODEC_ID_PCM_S16LE, 2, AV_SAMPLE_FMT_S16, 48000, nullptr, true},
      {"no format, no rate: S16P at 44100", AV_CODEC_ID_PCM_S16LE, 2, -1, 0, nullptr, true},
      {"a codec without decoder", AV_CODEC_ID_NONE, 2, AV_SAMPLE_FMT_S16, 48000, nullptr, false},
      {"decoder refuses to open", AV_CODEC_ID_PCM_S16LE, 0, AV_SAMPLE_FMT_S16, 48000, "adec open failed", false},
      // swr_alloc_set_opts2 refuses more than 64 channels; swr_init an unknown sample format.
      {"resampler refuses its options", AV_CODEC_ID_PCM_S16LE, 100, AV_SAMPLE_FMT_S16, 48000, "oom", true},
      {"resampler refuses to start", AV_CODEC_ID_PCM_S16LE, 2, 1000, 48000, "swr init failed", true},
  };
  for (const Case &c : cases) {
    FakeAudio fake(c.codec, c.channels, c.format, c.rate);
    const char *message = audio_open_decoder(&fake.audio, &fake.out);
    EXPECT_STREQ(message, c.message) << c.what;
    EXPECT_EQ(fake.audio.decoder != nullptr, c.decoder) << c.what;
  }
}

TEST(AudioDecoderSetup, NothingWithoutAnAudioStream) {
  FakeAudio fake(AV_CODEC_ID_PCM_S16LE, 2, AV_SAMPLE_FMT_S16, 48000);
  fake.out.audio_enabled = 0;
  EXPECT_EQ(audio_open_decoder(&fake.audio, &fake.out), nullptr);
  EXPECT_EQ(fake.audio.decoder, nullptr);
}

TEST(AudioResampler, SkipsEmptyFramesAndFollowsFormatChanges) {
  FakeAudio fake(AV_CODEC_ID_PCM_S16LE, 2, AV_SAMPLE_FMT_S16, 48000);
  ASSERT_EQ(audio_open_decoder(&fake.audio, &fake.out), nullptr);
  AVAudioFifo *queue = fake.audio.queue.get();

  FramePtr frame(av_frame_alloc());
  auto make = [&](int format, int rate, int channels, int samples) {
    av_frame_unref(frame.get());
    frame->format = format;
    frame->sample_rate = rate;
    frame->nb_samples = samples;
    av_channel_layout_default(&frame->ch_layout, channels);
    ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    av_samples_set_silence(frame->extended_data, 0, samples, channels, static_cast<AVSampleFormat>(format));
    frame->best_effort_timestamp = 0;
  };
  make(AV_SAMPLE_FMT_S16, 48000, 2, 1000);
  frame->sample_rate = 0;  // says nothing about its rate: skipped
  convert_frame(&fake.audio, frame.get(), 48000);
  EXPECT_EQ(av_audio_fifo_size(queue), 0);

  make(AV_SAMPLE_FMT_S16, 48000, 2, 1000);
  av_channel_layout_uninit(&frame->ch_layout);  // no channels: skipped
  convert_frame(&fake.audio, frame.get(), 48000);
  EXPECT_EQ(av_audio_fifo_size(queue), 0);

  make(AV_SAMPLE_FMT_S16, 48000, 2, 1000);
  convert_frame(&fake.audio, frame.get(), 48000);
  EXPECT_EQ(av_audio_fifo_size(queue), 1000);

  // The stream switches to 5.1 float: the resampler follows.
  make(AV_SAMPLE_FMT_FLTP, 48000, 6, 1000);
  convert_frame(&fake.audio, frame.get(), 48000);
  EXPECT_EQ(av_audio_fifo_size(queue), 2000);
  EXPECT_EQ(fake.audio.in_format, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(fake.audio.in_layout.nb_channels, 6);

  // Then to 24000 Hz: half the rate gives twice the samples, less what the
  // resampler holds back until it is drained.
  make(AV_SAMPLE_FMT_FLTP, 24000, 6, 1000);
  convert_frame(&fake.audio, frame.get(), 48000);
  drain_resampler(&fake.audio);
  EXPECT_NEAR(av_audio_fifo_size(queue), 4000, 8);
}

// ------------------------------------------------------------ end to end ---

TEST(AudioReencode, NearlyEverySampleOfEveryCodecComesOut) {
  struct Case {
    const char *clip;
    const char *codec;
    int rate;
    const char *layout;
    bool audio_first;
  };
  const Case cases[] = {
      {"aac.mp4", "aac", 48000, "stereo", false},
      {"ac3_51.mkv", "ac3", 48000, "5.1", false},  // downmixed
      {"mp3_mono.mp4", "mp3", 44100, "mono", false},
      {"opus.mkv", "opus", 48000, "stereo", false},
      {"pcm.avi", "pcm", 44100, "stereo", false},
      {"audio_first.mp4", "aac", 48000, "stereo", true},
  };
  TempDir dir;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.clip);
    if (audio_encoder_name(c.codec).empty()) {
      std::printf("skipping %s: no %s encoder in this FFmpeg\n", c.clip, c.codec);
      continue;
    }
    ClipSpec clip_spec = tone_clip(c.codec, c.rate, c.layout);
    clip_spec.audio_first = c.audio_first;
    std::string in = make_clip(c.clip, clip_spec);
    std::string out = dir.file(std::string(c.clip) + ".mp4");
    Job j = stabilize_clip(in, out);
    ASSERT_EQ(j.ok, 1) << j.error;

    VideoReadback video = read_video(out);
    EXPECT_EQ(video.streams, 2);
    EXPECT_EQ(video.codec, "h264");
    EXPECT_EQ(video.frames, clip_spec.frames);
    AudioReadback a_in = read_audio(in);
    AudioReadback a_out = read_audio(out);
    SCOPED_TRACE("in: " + describe(a_in) + "; out: " + describe(a_out));
    EXPECT_EQ(a_out.audio_index, 1);
    EXPECT_EQ(a_out.codec, "aac");
    EXPECT_EQ(a_out.channels, 2);
    EXPECT_EQ(a_out.sample_rate, c.rate);
    EXPECT_EQ(a_out.decode_errors, 0);
    // The last encoder frame is filled up; nothing else is added or lost.
    EXPECT_NEAR(a_out.seconds(), a_in.seconds(), aac_frame(c.rate) + 0.002);
    EXPECT_NEAR(sound_offset(a_out), sound_offset(a_in), aac_frame(c.rate));
  }
}

TEST(AudioReencode, OneStreamWhenAudioIsNotKeptOrAbsent) {
  TempDir dir;
  std::string with = make_clip("tone.mp4", tone_clip("aac", 48000, "stereo", 12));
  ClipSpec silent = small_clip(12);
  silent.shake = 2.0;
  std::string without = make_clip("silent.mp4", silent);
  struct Case {
    const char *what;
    std::string input;
    const char *options;
  } cases[] = {
      {"keep_audio false", with, "{\"keep_audio\":false}"},
      {"keep_audio 0", with, "{\"keep_audio\":0}"},
      {"no audio in the input", without, nullptr},
  };
  for (const Case &c : cases) {
    std::string out = dir.file("one.mp4");
    Job j = stabilize_clip(c.input, out, c.options);
    ASSERT_EQ(j.ok, 1) << c.what << ": " << j.error;
    VideoReadback v = read_video(out);
    EXPECT_EQ(v.streams, 1) << c.what;
    EXPECT_EQ(v.video_streams, 1) << c.what;
    EXPECT_EQ(v.audio_packets, 0) << c.what;
  }
}

// Each container of the output, with audio that starts with the video,
// after it, and before it (that part is cut: the output starts with its
// first video frame).
TEST(AudioReencode, EveryContainerKeepsTheAudioInSync) {
  const double delays[] = {0.0, 0.2, -0.2};
  const char *containers[] = {".mp4", ".mov", ".mkv", ".avi", ".ts"};
  TempDir dir;
  for (double delay : delays) {
    ClipSpec clip_spec = tone_clip("aac", 48000, "stereo", 24);
    clip_spec.audio_delay = delay;
    std::string name = "delay_" + std::to_string(static_cast<int>(std::lround(delay * 1000))) + ".mkv";
    std::string in = make_clip(name, clip_spec);
    AudioReadback a_in = read_audio(in);
    double expected_offset = std::max(0.0, sound_offset(a_in));
    for (const char *container : containers) {
      SCOPED_TRACE(name + " -> " + container);
      std::string out = dir.file("sync" + std::string(container));
      Job j = stabilize_clip(in, out);
      ASSERT_EQ(j.ok, 1) << j.error;
      AudioReadback a_out = read_audio(out);
      SCOPED_TRACE("in: " + describe(a_in) + "; out: " + describe(a_out));
      ASSERT_EQ(a_out.audio_index, 1);
      EXPECT_EQ(a_out.codec, "aac");
      EXPECT_EQ(a_out.channels, 2);
      EXPECT_EQ(a_out.decode_errors, 0);
      EXPECT_EQ(read_video(out).decode_errors, 0);
      EXPECT_NEAR(sound_offset(a_out), expected_offset, aac_frame(48000));
      // Audio before the video is cut; AVI plays silence up to the audio's
      // start; some containers keep the encoder's priming frame.
      double lead = a_in.first_frame_time - a_in.video_start;
      bool avi = std::strcmp(container, ".avi") == 0;
      double kept = a_in.seconds() - std::max(0.0, -lead) + (avi ? std::max(0.0, lead) : 0.0);
      EXPECT_GE(a_out.seconds(), kept - 0.002);
      EXPECT_LE(a_out.seconds(), kept + 2 * aac_frame(48000) + 0.002);
    }
  }
}

// An AVI clip with PCM audio whose WAVEFORMATEX (in the second "strf"
// chunk) gets `bytes` written at `offset`.
std::string patched_avi(const TempDir &dir, const std::string &clip, const char *name, std::size_t offset,
                        const std::string &bytes) {
  std::string data = read_file(clip);
  std::size_t strf = data.find("strf");
  strf = data.find("strf", strf + 4);
  EXPECT_NE(strf, std::string::npos);
  if (strf == std::string::npos) return {};
  data.replace(strf + 8 + offset, bytes.size(), bytes);
  std::string path = dir.file(name);
  write_file(path, data);
  return path;
}

// An audio codec FFmpeg cannot decode: the stream is there, empty, and the
// job succeeds (Matroska keeps an empty track; MP4 would leave it out). A
// decoder that cannot open ends the job before the frame loop.
TEST(AudioReencode, UndecodableAudio) {
  TempDir dir;
  ClipSpec clip_spec = tone_clip("pcm", 44100, "stereo", 12);
  std::string clip = make_clip("pcm_for_patching.avi", clip_spec);

  std::string unknown_tag = patched_avi(dir, clip, "tag.avi", 0, std::string("\x34\x12", 2));
  ASSERT_EQ(read_audio(unknown_tag).codec, "none");
  std::string out = dir.file("empty_audio.mkv");
  Job j = stabilize_clip(unknown_tag, out);
  ASSERT_EQ(j.ok, 1) << j.error;
  VideoReadback v = read_video(out);
  EXPECT_EQ(v.streams, 2);
  EXPECT_EQ(v.frames, clip_spec.frames);
  EXPECT_EQ(v.audio_packets, 0);
  EXPECT_EQ(read_audio(out).codec, "aac");

  std::string no_channels = patched_avi(dir, clip, "mute.avi", 2, std::string("\0\0", 2));
  j = stabilize_clip(no_channels, dir.file("never.mkv"));
  EXPECT_EQ(j.ok, 0);
  EXPECT_EQ(j.error, "adec open failed");
  EXPECT_FALSE(file_exists(dir.file("never.mkv")));
}

TEST(AudioReencode, MegamindKeepsItsSoundtrack) {
  REQUIRE_SHARED_MEDIA(film, "Megamind.avi");
  TempDir dir;
  std::string out = dir.file("megamind.mp4");
  Job j = stabilize_clip(film, out);
  ASSERT_EQ(j.ok, 1) << j.error;
  VideoReadback v_in = read_video(film);
  VideoReadback v_out = read_video(out);
  EXPECT_EQ(v_out.frames, v_in.frames);
  AudioReadback a_in = read_audio(film);
  AudioReadback a_out = read_audio(out);
  SCOPED_TRACE("in: " + describe(a_in) + "; out: " + describe(a_out));
  ASSERT_EQ(a_out.audio_index, 1);
  EXPECT_EQ(a_out.codec, "aac");
  EXPECT_EQ(a_out.channels, 2);
  EXPECT_EQ(a_out.sample_rate, 48000);
  EXPECT_EQ(a_out.decode_errors, 0);
  // The full length: what the input decodes to, plus the priming frame this
  // output keeps and the filled-up last frame.
  EXPECT_GE(a_out.seconds(), a_in.seconds());
  EXPECT_LE(a_out.seconds(), a_in.seconds() + 2 * aac_frame(48000) + 0.035);
  EXPECT_NEAR(sound_offset(a_out), sound_offset(a_in), aac_frame(48000));
}
