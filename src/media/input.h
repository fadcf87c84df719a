// Opening an input file and picking its video and audio streams.
#pragma once

#include "base/job_error.h"

struct AVFormatContext;

// Opens path and reads its stream information. On success returns 0 with the
// first video stream's index and the first audio stream's index (-1 when
// none); the caller closes the context with close_media_file (InputContextPtr
// does). On failure
// returns -3 with the reason in both texts of `error` ("open input: %s",
// "open input: %s is not a regular file" with the path, "no stream info",
// "no video stream") and no context left open. A path where something else
// than a regular file stands is refused without waiting on it.
int open_input(const char *path, AVFormatContext **context, int *video_index, int *audio_index,
               JobError *error);

// After av_read_frame gave a negative result: the error the input's file
// reading met (an I/O error), or 0 when the input just ended, also when the
// demuxer gave up on damaged data it could not use.
int input_read_error(const AVFormatContext *input);

// Fills both texts of error with "read failed: %s" and FFmpeg's text of `code`.
void report_read_failure(int code, JobError *error);
