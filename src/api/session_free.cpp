// Releasing a session: join its worker, delete what a job that did not
// succeed left behind of its own, free the slot.
#include <cstring>

#include "api/registry.h"
#include "api/session.h"
#include "api/worker_thread.h"
#include "base/text.h"
#include "platform/files.h"

namespace {

// Stands in the `thread` field while a free is under way, until the slot is
// claimed again. A second free of the same id that races the first (which the
// host must not do) finds it and leaves at once, instead of joining the same
// worker twice or deleting files and releasing the slot under a running job.
WorkerThread g_freeing_mark;

bool is_analysis(const Session *s) { return std::strcmp(s->kind, "analyze") == 0; }

// Only what the job itself created goes: the temporary directory is shared,
// and a file that stood at a path before the job is not the job's to delete.
// (A stabilization leaves nothing to delete: its output file takes the
// output path's place only when it succeeds, and is removed by the job
// otherwise.)
void delete_leftovers(Session *s) {
  if (is_analysis(s) && s->wrote_trf && !is_empty(s->trf_path) && !registry_refers(s->trf_path))
    remove_own_file(s->trf_path);
  registry_remove(s->input_path);
  if (is_empty(s->settings_out_path) && s->wrote_settings) remove_own_file(s->tmp_settings_path);
}

}  // namespace

void session_free(int id) {
  Session *s = session_lookup(id);
  if (s == nullptr) return;
  WorkerThread *worker = s->thread.exchange(&g_freeing_mark, std::memory_order_acq_rel);
  if (worker == &g_freeing_mark) return;
  // Joining makes every write of the worker visible here, the flags of the
  // files it created included.
  vs_thread_join(worker);
  if (s->state.load(std::memory_order_acquire) != SESSION_DONE) delete_leftovers(s);
  s->in_use.store(0, std::memory_order_release);
}
