// Which streams of an open input the system works on.
#pragma once

struct AVFormatContext;

struct StreamChoice {
  int video;  // first video stream, -1 when none
  int audio;  // first audio stream, -1 when none
};

// Walks the streams in index order; later streams of a type already chosen
// and streams of other types are ignored.
StreamChoice choose_streams(const AVFormatContext *input);
