#include "mux/output_file.h"

#include <cerrno>
#include <cstdint>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {

// FFmpeg's own file writing buffers a quarter megabyte before it writes
// (fewer, larger writes, which network file systems like); the same here.
constexpr int kBufferSize = 262144;

int write_packet(void *opaque, std::uint8_t *buf, int size) {
  int fd = *static_cast<int *>(opaque);
  int r = write_to(fd, buf, static_cast<std::size_t>(size));
  return r < 0 ? AVERROR(-r) : size;
}

std::int64_t seek(void *opaque, std::int64_t offset, int whence) {
  int fd = *static_cast<int *>(opaque);
  if (whence == AVSEEK_SIZE) {
    long long size = size_of(fd);
    return size < 0 ? AVERROR(static_cast<int>(-size)) : size;
  }
  long long at = seek_in(fd, offset, whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(static_cast<int>(-at)) : at;
}

}  // namespace

bool OutputFile::create(const char *path) {
  discard();
  copy_text(path_, path);
  fd_ = create_file_beside(path, temp_, sizeof temp_);
  if (fd_ < 0) return false;
  id_ = file_id_of(fd_);
  auto *buffer = static_cast<std::uint8_t *>(av_malloc(kBufferSize));
  io_ = buffer ? avio_alloc_context(buffer, kBufferSize, 1, &fd_, nullptr, write_packet, seek) : nullptr;
  if (io_ == nullptr) {
    av_free(buffer);
    discard();
    errno = ENOMEM;
    return false;
  }
  io_->min_packet_size = kBufferSize;
  io_->max_packet_size = kBufferSize;
  return true;
}

bool OutputFile::close() {
  if (fd_ < 0) return closed_ok_;
  bool ok = true;
  if (io_ != nullptr) {
    avio_flush(io_);
    ok = io_->error == 0;
  }
  ok = close_fd(fd_) == 0 && ok;
  fd_ = -1;
  closed_ok_ = ok;
  return ok;
}

bool OutputFile::commit() {
  if (temp_[0] == '\0' || !closed_ok_ || fd_ >= 0) return false;
  committed_ = replace_file(temp_, path_);
  return committed_;
}

void OutputFile::discard() {
  if (fd_ >= 0) close_fd(fd_);
  fd_ = -1;
  if (io_ != nullptr) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  if (temp_[0] != '\0' && !committed_) remove_own_file(temp_, &id_);
  temp_[0] = '\0';
  path_[0] = '\0';
  closed_ok_ = false;
  committed_ = false;
  id_ = FileId{};
}
