#include "api/session_launch.h"

#include "api/error.h"
#include "api/session.h"

int launch_session(int id, void (*worker)(void *), unsigned *generation) {
  Session *s = &g_sessions[id];
  gen_tmp_paths(s);
  session_note_temporary_files(s);
  if (generation) *generation = s->generation.load(std::memory_order_relaxed);
  WorkerThread *thread = vs_thread_start(worker, s);
  if (thread == nullptr) {
    s->in_use.store(0, std::memory_order_release);
    set_err("thread start failed");
    return -9;
  }
  s->thread.store(thread, std::memory_order_release);
  return id;
}
