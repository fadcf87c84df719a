#include "base/job_error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void vformat(char (&dst)[kErrorTextSize], const char *format, va_list args) {
  std::vsnprintf(dst, sizeof dst, format, args);
}

}  // namespace

void JobError::fail(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vformat(job, format, args);
  va_end(args);
  std::memcpy(process, job, sizeof process);
}

void JobError::fail_job(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vformat(job, format, args);
  va_end(args);
}

void JobError::note(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vformat(process, format, args);
  va_end(args);
}
