#include "api/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

char g_err[kErrSize];

namespace {

// Writers serialise on this lock so two messages written at once never
// interleave. Readers of the exported pointer take no lock; they still always
// find a terminator because the last byte of g_err is never written with
// anything but NUL.
std::mutex g_err_writer;

}  // namespace

void set_err(const char *format, ...) {
  char text[kErrSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::lock_guard<std::mutex> hold(g_err_writer);
  std::size_t len = std::strlen(text);
  std::memcpy(g_err, text, len + 1);
}

void clear_err() {
  std::lock_guard<std::mutex> hold(g_err_writer);
  g_err[0] = '\0';
}

void copy_err(char *dst, std::size_t size) {
  if (size == 0) return;
  std::lock_guard<std::mutex> hold(g_err_writer);
  std::size_t len = strnlen(g_err, kErrSize - 1);
  if (len >= size) len = size - 1;
  std::memcpy(dst, g_err, len);
  dst[len] = '\0';
}
