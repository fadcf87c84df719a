// Opening a media file by its path, and only as a file.
#pragma once

struct AVFormatContext;

// avformat_open_input for a local file: the path is taken literally (a name
// like "concat:a|b" or "http://host/x" is a file name, not a protocol), and
// neither the file nor anything it refers to (a playlist's entries, say) may
// be read through any protocol but local files. Returns FFmpeg's result.
int open_media_file(AVFormatContext **context, const char *path);

// Writes "file:" + path into url (size bytes, cut to fit): the form of a
// path that FFmpeg reads as a local file whatever characters it holds.
void file_url(char *url, unsigned long size, const char *path);
