// The process-wide error text and its writer.
#pragma once

#include <cstddef>

inline constexpr std::size_t kErrSize = 512;

// The last error text of the process, NUL-terminated within its 512 bytes.
extern char g_err[kErrSize];

// Formats a printf-style message into g_err, replacing it; cut at 511 bytes.
void set_err(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Empties g_err (its first byte becomes NUL).
void clear_err();

// Copies the current g_err into dst (size bytes, always terminated).
void copy_err(char *dst, std::size_t size);
