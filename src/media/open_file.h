// Opening a media file by its path, only as a local file, through the
// engine's own descriptor.
#pragma once

extern "C" {
#include <libavutil/error.h>
}

#include "base/job_error.h"

struct AVFormatContext;

// What open_media_file gives for a path where something other than a regular
// file stands (a directory, a FIFO, a device).
inline constexpr int kNotRegularFile = FFERRTAG('N', 'R', 'E', 'G');

// avformat_open_input for a local file. The file is opened by the engine
// itself, without blocking, and only when it is a regular file, then read by
// FFmpeg through an I/O context of ours: a FIFO or a device never stalls a
// job, and every read error reaches the job. The path is taken literally (a
// name like "concat:a|b" or "http://host/x" is a file name, not a protocol),
// and nothing the file refers to (a playlist's entries, say) may be read
// through any protocol but local files. Returns 0, kNotRegularFile, or
// FFmpeg's error (AVERROR(errno) when the file cannot be opened).
int open_media_file(AVFormatContext **context, const char *path);

// Fills both texts of error with why open_media_file failed with `rc`:
// "open input: %s" with FFmpeg's text of the error, or "open input: %s is
// not a regular file" with the path.
void report_open_failure(int rc, const char *path, JobError *error);

// Closes a context, with the file and the I/O context that open_media_file
// made for it; a context opened any other way is closed as FFmpeg's
// avformat_close_input does. Sets *context to null.
void close_media_file(AVFormatContext **context);

// For tests: from now on, reads of media files fail (with EIO) once `bytes`
// bytes of a file have been read; a negative value ends that. Applies to
// files opened afterwards.
void set_media_read_failure_after(long long bytes);
