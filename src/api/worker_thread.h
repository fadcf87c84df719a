// Starting and joining the worker thread of a session.
#pragma once

#include "api/session.h"

// The thread's entry: runs record->fn(record->arg) and ends the thread with
// exit code 0. The thread reads only fn and arg of the record.
void *vs_tramp(void *record);

// Waits without a time limit until the worker has ended, then releases its
// handle and the record. Null does nothing.
void vs_thread_join(WorkerThread *worker);
