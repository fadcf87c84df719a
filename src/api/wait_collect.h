// The waiting half of the blocking calls.
#pragma once

#include <cstddef>

// Waits until the job in slot `id` (claimed with generation `generation`) has
// ended, copies its result report into `buffer` (2048 bytes), frees the
// session and gives the blocking call's result: 1 with *out_json = buffer
// when the job succeeded; otherwise 0 with *out_json = NULL and the job's
// error text (or default_failure) in g_err. A slot that was freed (and maybe
// reused) under the waiter reports the "bad job" text and 0.
int wait_and_collect(int id, unsigned generation, char *buffer, const char **out_json,
                     const char *default_failure);
