// Threads and pauses: joinable threads running one function with one pointer
// argument, and a short sleep of the calling thread.
#pragma once

#include <pthread.h>

using ThreadHandle = pthread_t;
using ThreadEntry = void *(*)(void *);

// Starts a thread at entry(arg) with the default stack size, running at once.
// Returns false when the thread cannot be created.
bool thread_create(ThreadHandle *handle, ThreadEntry entry, void *arg);

// Waits without a time limit until the thread has ended, and releases it.
void thread_join(ThreadHandle handle);

// Pauses the calling thread.
void sleep_ms(int milliseconds);
