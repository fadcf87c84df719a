// The audio stage of a stabilization: the input's first audio stream is
// decoded, converted to planar float stereo, regrouped into frames of the
// encoder's frame size and re-encoded as AAC into stream 1 of the output.
//
// Audio is best-effort at the encoder end: when no AAC encoder can be set up
// (none in this FFmpeg, it will not open, or the stream cannot be created)
// the output simply has no audio. Once the audio stream exists, a failure to
// set up its decoder context or the resampler ends the job; an input whose
// audio codec has no decoder leaves the stream empty. Audio that cannot be
// decoded or encoded (a damaged packet, a refused frame) is dropped without
// ending the job; a packet that cannot be written to the file (a full disk)
// is an encoding error of the output, as for video.
//
// The stabilize pass drives it in this order:
//
//   AudioStage audio;
//   audio_stage_prepare(&audio, input, audio_index, video_index, keep_audio);
//   OutputAudioHooks hooks = audio_output_hooks(&audio);
//   open_output(&out, video, path, &hooks, ...);      // add_stream: encoder and stream 1
//   ... video decoder ...
//   if (const char *m = audio_open_decoder(&audio, &out)) fail the job with m;
//   per input packet of the audio stream: audio_packet(&audio, &out, packet);
//   output_finish(&out);                              // flush hook: drains everything
//   close and free: audio_release(&audio) after the video decoder, before output_free
//
// Timing: see render/audio_timeline.h. Runs on the job's worker thread only.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "media/ffmpeg_holders.h"
#include "mux/audio_timeline.h"
#include "mux/output.h"

// The encoder's layout: stereo, native order, front left and front right.
inline AVChannelLayout audio_output_layout() {
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  return stereo;
}

struct AudioStage {
  // What the pass hands over before the output is opened; `input` stays null
  // when the job does not keep audio or the input has none.
  const AVStream *input = nullptr;        // the input's first audio stream
  const AVStream *input_video = nullptr;  // the input's video stream (its start_time)

  // Set up by audio_open_decoder; the decoder stays null when the input's
  // codec has none.
  CodecContextPtr decoder;
  SwrContextPtr resampler;
  AudioFifoPtr queue;                     // converted samples waiting for the encoder
  FramePtr decoded;
  FramePtr chunk;                         // one encoder frame

  // The resampler's input side as configured now; a decoded frame that
  // differs reconfigures it.
  AVChannelLayout in_layout{};
  int in_format = -1;
  int in_rate = 0;
  bool resampler_ready = false;

  std::vector<float> converted[2];        // one decoded frame converted, per channel
  AudioTimeline timeline;
  // The container keeps no start time for audio (AVI plays its audio from
  // the file's start): audio that starts after the video is preceded by
  // silence instead.
  bool fill_start = false;
  bool started = false;                   // the head of the audio is placed

  AudioStage() = default;
  AudioStage(const AudioStage &) = delete;
  AudioStage &operator=(const AudioStage &) = delete;
  ~AudioStage();
};

// Records the input's audio stream for the job (none when `keep_audio` is 0
// or `audio_index` is negative) and its video stream.
void audio_stage_prepare(AudioStage *audio, const AVFormatContext *input, int audio_index, int video_index,
                         int keep_audio);

// The hooks open_output and output_finish call: add_stream sets up the AAC
// encoder and stream 1 (out->audio_encoder, out->audio_stream,
// out->audio_enabled) or silently nothing; flush drains the decoder, the
// resampler, the queue and the encoder.
OutputAudioHooks audio_output_hooks(AudioStage *audio);

// Sets up the decoder, the resampler and the sample queue once the audio
// stream exists (does nothing otherwise). Returns null on success (also when
// the codec has no decoder: the stream then stays empty), or the message the
// job fails with: "oom", "adec open failed", "swr init failed".
const char *audio_open_decoder(AudioStage *audio, const OutputContext *out);

// One input packet of the audio stream: decodes every frame it gives,
// converts and queues them, and encodes and writes every full encoder frame.
// The packet stays the caller's.
void audio_packet(AudioStage *audio, OutputContext *out, const AVPacket *packet);

// End of input: drains the decoder and the resampler, encodes what is
// queued (the last frame may be short) and flushes the encoder. Does nothing
// without a decoder.
void audio_flush(AudioStage *audio, OutputContext *out);

// Releases the decoder, then the resampler, then the queue and frames.
void audio_release(AudioStage *audio);
