// The H.264 encoder of the output video.
#pragma once

#include "mux/output.h"

// Creates and opens the video encoder in out->video_encoder with the
// settings for `video` and the timing already in out->timing; `format` is the
// output container (some want the parameter sets in their header). Returns
// false with the message in out->error: "encoder %s not available", "oom",
// "encoder open: %s".
bool open_video_encoder(OutputContext *out, const OutputVideoParams &video, const AVOutputFormat *format);
