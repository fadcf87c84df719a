#include "api/worker_thread.h"

#include <new>

void *vs_tramp(void *record) {
  auto *worker = static_cast<WorkerThread *>(record);
  worker->fn(worker->arg);
  return nullptr;
}

WorkerThread *vs_thread_start(void (*fn)(void *), void *arg) {
  auto *worker = new (std::nothrow) WorkerThread{};
  if (worker == nullptr) return nullptr;
  worker->fn = fn;
  worker->arg = arg;
  if (!thread_create(&worker->handle, vs_tramp, worker)) {
    delete worker;
    return nullptr;
  }
  return worker;
}

void vs_thread_join(WorkerThread *worker) {
  if (worker == nullptr) return;
  thread_join(worker->handle);
  delete worker;
}
