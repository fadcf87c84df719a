// The progress and result reports of a session, as JSON texts.
#pragma once

#include "api/session.h"

inline constexpr int kProgressSize = 256;

// Formats the progress report of a session into the calling thread's progress
// buffer (256 bytes) and returns it; the same thread always gets the same
// buffer back.
const char *progress_json(const Session *s);

// The result report of a session: the progress report while it runs,
// otherwise the analysis, stabilization or failure report built in its
// result_json.
const char *session_result_json(Session *s);

// The three reports of a finished session, each built into s->result_json.
void build_analysis_report(Session *s);
void build_stabilization_report(Session *s);
void build_failure_report(Session *s);
