#include "media/open_file.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include "base/text.h"
#include "media/ffmpeg_holders.h"
#include "platform/files.h"

namespace {

constexpr int kBufferSize = 32768;  // the buffer FFmpeg's own file reading uses

std::atomic<long long> g_fail_reads_after{-1};

// The opaque of the I/O context: our descriptor.
struct MediaFile {
  int fd = -1;
  long long read = 0;          // bytes read so far
  long long fail_after = -1;   // the test seam's limit, -1 none
};

int read_packet(void *opaque, std::uint8_t *buf, int size) {
  auto *file = static_cast<MediaFile *>(opaque);
  if (file->fail_after >= 0) {
    long long left = file->fail_after - file->read;
    if (left <= 0) return AVERROR(EIO);
    if (size > left) size = static_cast<int>(left);
  }
  long n = read_from(file->fd, buf, static_cast<std::size_t>(size));
  if (n > 0) {
    file->read += n;
    return static_cast<int>(n);
  }
  return n == 0 ? AVERROR_EOF : AVERROR(static_cast<int>(-n));
}

std::int64_t seek(void *opaque, std::int64_t offset, int whence) {
  auto *file = static_cast<MediaFile *>(opaque);
  if (whence == AVSEEK_SIZE) {
    long long size = size_of(file->fd);
    return size < 0 ? AVERROR(static_cast<int>(-size)) : size;
  }
  long long at = seek_in(file->fd, offset, whence & ~AVSEEK_FORCE);
  if (at < 0) return AVERROR(static_cast<int>(-at));
  file->read = at;
  return at;
}

// Releases an I/O context of ours, its buffer (which FFmpeg may have
// replaced) and the descriptor.
void free_io(AVIOContext *pb) {
  if (pb == nullptr) return;
  auto *file = static_cast<MediaFile *>(pb->opaque);
  av_freep(&pb->buffer);
  avio_context_free(&pb);
  if (file != nullptr) {
    close_fd(file->fd);
    delete file;
  }
}

bool is_ours(const AVIOContext *pb) { return pb != nullptr && pb->read_packet == read_packet; }

}  // namespace

void set_media_read_failure_after(long long bytes) { g_fail_reads_after.store(bytes); }

int open_media_file(AVFormatContext **context, const char *path) {
  *context = nullptr;
  bool not_regular = false;
  int fd = open_regular_file(path, &not_regular);
  if (fd < 0) return not_regular ? kNotRegularFile : AVERROR(errno);
  auto *file = new (std::nothrow) MediaFile;
  if (file == nullptr) {
    close_fd(fd);
    return AVERROR(ENOMEM);
  }
  file->fd = fd;
  file->fail_after = g_fail_reads_after.load();
  auto *buffer = static_cast<std::uint8_t *>(av_malloc(kBufferSize));
  AVIOContext *pb = buffer ? avio_alloc_context(buffer, kBufferSize, 0, file, read_packet, nullptr, seek) : nullptr;
  if (pb == nullptr) {
    av_free(buffer);
    close_fd(fd);
    delete file;
    return AVERROR(ENOMEM);
  }
  AVFormatContext *input = avformat_alloc_context();
  if (input == nullptr) {
    free_io(pb);
    return AVERROR(ENOMEM);
  }
  input->pb = pb;

  // The name still matters: demuxers guess by its extension, and a
  // playlist's entries are found relative to it.
  std::string url = std::string("file:") + (path ? path : "");
  AVDictionary *options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  int rc = avformat_open_input(&input, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (rc < 0) {
    // FFmpeg has freed the format context, never an I/O context it was given.
    free_io(pb);
    return rc;
  }
  *context = input;
  return 0;
}

void report_open_failure(int rc, const char *path, JobError *error) {
  if (rc == kNotRegularFile) {
    error->fail("open input: %s is not a regular file", path ? path : "");
    return;
  }
  char text[160];
  error->fail("open input: %s", av_error_text(rc, text, sizeof text));
}

void close_media_file(AVFormatContext **context) {
  if (*context == nullptr) return;
  AVIOContext *pb = ((*context)->flags & AVFMT_FLAG_CUSTOM_IO) ? (*context)->pb : nullptr;
  avformat_close_input(context);
  if (is_ours(pb)) free_io(pb);
}
