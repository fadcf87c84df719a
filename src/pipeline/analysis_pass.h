// The analysis pass: the body of an analyze job's worker thread.
#pragma once

// Decodes the session's input, measures the camera motion between
// consecutive frames, writes the transforms and settings files, registers the
// input and stores the job's final state. `session` is the job's Session.
void analyze_thread(void *session);
