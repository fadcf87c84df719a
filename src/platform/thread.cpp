#include "platform/thread.h"

bool thread_create(ThreadHandle *handle, ThreadEntry entry, void *arg) {
  return pthread_create(handle, nullptr, entry, arg) == 0;
}

void thread_join(ThreadHandle handle) { pthread_join(handle, nullptr); }
