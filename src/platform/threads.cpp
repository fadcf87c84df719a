#include "platform/threads.h"

#include <chrono>
#include <thread>

bool thread_create(ThreadHandle *handle, ThreadEntry entry, void *arg) {
  return pthread_create(handle, nullptr, entry, arg) == 0;
}

void thread_join(ThreadHandle handle) { pthread_join(handle, nullptr); }

void sleep_ms(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
