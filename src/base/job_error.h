// Why a job failed, as the code that runs it reports it to its caller.
//
// Two texts, because the library reports a failure in two places: the job's
// own error text (the session's "error"), and the process-wide last-error
// text. Most failures put the same message in both; some causes only reach
// one of them (a transforms file that cannot be read is named in the
// process-wide text while the job says "no transforms"). The layers below the
// interface never touch either place themselves: they fill a JobError, and
// the interface layer stores it.
#pragma once

#include <cstddef>

inline constexpr std::size_t kErrorTextSize = 512;

struct JobError {
  char job[kErrorTextSize] = {};      // the job's own text; empty while it has none
  char process[kErrorTextSize] = {};  // for the process-wide text; empty leaves that alone

  // Both texts become the message (printf-style, cut at 511 bytes).
  void fail(const char *format, ...) __attribute__((format(printf, 2, 3)));
  // Only the job's text.
  void fail_job(const char *format, ...) __attribute__((format(printf, 2, 3)));
  // Only the process-wide text.
  void note(const char *format, ...) __attribute__((format(printf, 2, 3)));
};
