// The bodies of the sessions' worker threads: each turns its Session into a
// pass request, runs the pass, and stores what the pass returns in the
// Session (results, error text, the process-wide error text, the registry
// for an analysis), the final state last.
#pragma once

// `session` is the job's Session.
void analyze_thread(void *session);
void stabilize_thread(void *session);
