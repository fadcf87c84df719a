// Bounded text helpers: every fixed-size text of the library is filled
// through these, so a longer value is cut and the buffer stays terminated.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

// Every path the library keeps (in a session, the registry, a message) fits
// this many bytes with its terminator.
inline constexpr int kPathSize = 1024;

// Copies src into dst (size bytes), cut at size - 1 bytes. A null src gives "".
inline void copy_text(char *dst, std::size_t size, const char *src) {
  if (size == 0) return;
  std::size_t len = src ? strnlen(src, size - 1) : 0;
  if (len) std::memcpy(dst, src, len);
  dst[len] = '\0';
}

template <std::size_t N>
inline void copy_text(char (&dst)[N], const char *src) {
  copy_text(dst, N, src);
}

// printf into a fixed buffer, cut at size - 1 bytes.
__attribute__((format(printf, 3, 4))) inline void format_text(char *dst, std::size_t size,
                                                               const char *format, ...) {
  if (size == 0) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(dst, size, format, args);
  va_end(args);
}

inline bool is_empty(const char *text) { return text == nullptr || text[0] == '\0'; }

// True for a path that does not fit kPathSize with its terminator: cut, it
// would name another file.
inline bool too_long(const char *path) { return path != nullptr && strnlen(path, kPathSize) >= kPathSize; }
