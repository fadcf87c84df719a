#include "support/fake_job.h"

#include <cstring>
#include <thread>

#include "api/error.h"
#include "api/registry.h"
#include "base/text.h"
#include "formats/settings_file.h"
#include "formats/transforms_file.h"
#include "platform/files.h"

namespace {

// The job of each slot. Written by the starter before the thread starts and
// read by the worker, so thread creation orders the two.
FakeJob *g_fake_jobs[kMaxSessions];

bool is_analysis(const Session *s) { return std::strcmp(s->kind, "analyze") == 0; }

// False when the job was cancelled while it waited.
bool wait_for_go(Session *s, FakeJob *job) {
  s->frames_total.store(100, std::memory_order_relaxed);
  for (int i = 0;; ++i) {
    if (session_cancelled(s)) return false;
    // Looked at again once released: a cancel the host made before the
    // release must win.
    if (job->wait_for_release ? job->release.load(std::memory_order_acquire) : i >= job->spins) {
      return !session_cancelled(s);
    }
    s->frames_done.store(i % 100, std::memory_order_relaxed);
    s->percent.store(i % 100, std::memory_order_relaxed);
    std::this_thread::yield();
  }
}

void fail(Session *s, const char *format, const char *path) {
  set_err(format, path);
  copy_err(s->error, sizeof s->error);
  session_finish(s, SESSION_FAILED);
}

// The files of an analysis, as the real worker writes them: false (and the
// job failed) when one cannot be created.
bool write_analysis_files(Session *s) {
  PathPoint points[2] = {{0, 0, 0}, {1.5, -2.0, 0.01}};
  if (!write_transforms_file(s->trf_path, points, 2, 640, 360, 25.0, CreateMode::Exclusive)) {
    fail(s, "cannot write transforms %s", s->trf_path);
    return false;
  }
  s->wrote_trf = 1;
  bool own = is_empty(s->settings_out_path);
  const char *settings = own ? s->tmp_settings_path : s->settings_out_path;
  SettingsInfo info{s->input_path, 640, 360, 25.0, 2, s->shakiness, 1.0, s->trf_path};
  if (!write_settings_file(settings, info, own ? CreateMode::Exclusive : CreateMode::Replace)) {
    fail(s, "cannot write settings %s", settings);
    return false;
  }
  if (own) s->wrote_settings = 1;
  return true;
}

// A stabilization's output, as the real worker leaves it: written beside
// the output path and moved there only by a job that succeeds.
void write_output(Session *s) {
  TextFileWriter file;
  if (!file.open(s->output_path, CreateMode::Replace)) return;
  std::fputs("stabilized output", file.stream());
  file.commit();
}

void run_job(Session *s, FakeJob *job) {
  if (!wait_for_go(s, job)) {
    session_finish(s, SESSION_CANCELLED);
    return;
  }
  s->frames = 2;
  s->elapsed_ms = 5;
  if (job->write_files && is_analysis(s) && !write_analysis_files(s)) return;
  if (job->write_files && !is_analysis(s) && job->final_state == SESSION_DONE) write_output(s);
  if (job->final_state == SESSION_FAILED) session_set_error(s, job->error.c_str());
  if (job->final_state == SESSION_DONE && is_analysis(s)) registry_insert(s->input_path, s->trf_path);
  session_finish(s, job->final_state);
}

void fake_worker(void *arg) {
  auto *s = static_cast<Session *>(arg);
  FakeJob *job = g_fake_jobs[s - g_sessions];
  job->runs.fetch_add(1);
  run_job(s, job);
  job->finished.store(true, std::memory_order_release);
}

}  // namespace

int start_fake_job(const char *kind, const std::string &input, const std::string &output,
                   const std::string &settings, FakeJob *job) {
  int id = session_alloc(kind);
  if (id < 0) return -1;
  Session *s = &g_sessions[id];
  copy_text(s->input_path, input.c_str());
  copy_text(s->output_path, output.c_str());
  copy_text(s->settings_out_path, settings.c_str());
  gen_tmp_paths(s);
  g_fake_jobs[id] = job;
  WorkerThread *worker = vs_thread_start(fake_worker, s);
  if (worker == nullptr) {
    s->in_use.store(0, std::memory_order_release);
    return -9;
  }
  s->thread.store(worker, std::memory_order_release);
  return id;
}

void finish_fake_job(int id, FakeJob *job) {
  job->release.store(true, std::memory_order_release);
  while (g_sessions[id].state.load(std::memory_order_acquire) == SESSION_RUNNING) std::this_thread::yield();
}
