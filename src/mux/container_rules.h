// Rules of the output container and its video bit rate.
#pragma once

#include <cstdint>

// FFmpeg's muxer name for an output path, chosen by the text from the path's
// last '.' to its end, compared ignoring ASCII case: ".mov" "mov", ".mkv"
// "matroska", ".webm" "webm", ".m4v" "mp4", ".avi" "avi", ".ts" "mpegts",
// anything else (or no dot at all) "mp4". A dot in a directory name counts,
// so "a.b/out" gives "mp4".
const char *output_format_name(const char *path);

// The encoder's bit rate: the input container's bit rate when it is positive,
// else width x height x fps; 4 x width x height when that comes to nothing;
// then limited to 500000 .. 10000000.
std::int64_t output_bit_rate(std::int64_t container_bit_rate, int width, int height, double fps);
