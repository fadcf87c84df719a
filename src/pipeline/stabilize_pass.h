// The stabilize pass: the body of a stabilize job's worker thread.
#pragma once

// Loads the camera path of an earlier analysis, smooths it, and renders every
// decoded frame of the session's input through the warp into the H.264
// output; stores the job's results and final state. `session` is the job's
// Session.
void stabilize_thread(void *session);
