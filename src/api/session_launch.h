// The common end of both start calls: temporary names and the worker thread.
#pragma once

struct Session;

// Gives the claimed session `id` its temporary paths and starts `worker` on
// it. Returns id, or -9 with "thread start failed" (the slot is then free
// again). *generation, when given, receives the claim's generation.
int launch_session(int id, void (*worker)(void *), unsigned *generation);
