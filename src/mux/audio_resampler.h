// The resampler of the audio stage: converts decoded audio to the encoder's
// planar float stereo at the encoder's rate, into the stage's sample queue.
#pragma once

#include "mux/audio.h"

enum class ResamplerSetup {
  kReady,
  kNoContext,   // swr_alloc_set_opts2 failed or gave no context
  kInitFailed,  // swr_init failed
};

// (Re)configures the stage's resampler for input audio of `layout`, `format`
// and `rate`, with the encoder's stereo, planar float and `out_rate` as
// output. A layout without a channel order is taken as FFmpeg's default
// layout for its channel count. On success the stage records the input side.
ResamplerSetup configure_resampler(AudioStage *audio, const AVChannelLayout *layout, int format, int rate,
                                   int out_rate);

// Converts one decoded frame into the queue, reconfiguring the resampler
// first when the frame's format, rate or layout differ from its input side
// (the samples it still holds are queued before). Frames that report no
// sample rate, no channels or no samples are skipped, as is the audio that
// cannot be converted or queued. `out_rate` is the encoder's rate.
void convert_frame(AudioStage *audio, const AVFrame *frame, int out_rate);

// Queues the samples the resampler still holds (end of input).
void drain_resampler(AudioStage *audio);
