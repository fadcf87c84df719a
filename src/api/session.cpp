#include "api/session.h"

#include <cstring>

#include "api/global_lock.h"
#include "base/text.h"

Session g_sessions[kMaxSessions];

namespace {

// Numbers the claims of this process, so a waiter that remembered a slot's
// generation can tell that the slot was freed and claimed again meanwhile.
std::atomic<std::uint32_t> g_next_generation{0};

template <std::size_t N>
void zero(char (&field)[N]) {
  std::memset(field, 0, N);
}

}  // namespace

void Session::clear() {
  // The atomics cannot be memset; each one is stored, the plain fields are
  // zeroed or value-initialised one by one.
  in_use.store(0, std::memory_order_relaxed);
  state.store(0, std::memory_order_relaxed);
  cancel_requested.store(0, std::memory_order_relaxed);
  percent.store(0, std::memory_order_relaxed);
  frames_done.store(0, std::memory_order_relaxed);
  frames_total.store(0, std::memory_order_relaxed);
  pass.store(0, std::memory_order_relaxed);
  zero(kind);
  zero(input_path);
  zero(output_path);
  zero(settings_out_path);
  zero(trf_path);
  zero(tmp_settings_path);
  options = StabilizeOptions{};
  shakiness = 0.0;
  max_shift_px = 0.0;
  frames = 0;
  crop_percent = 0.0;
  duration_s = 0.0;
  size_bytes = 0;
  elapsed_ms = 0;
  zero(error);
  zero(result_json);
  thread.store(nullptr, std::memory_order_relaxed);
  generation.store(0, std::memory_order_relaxed);
  wrote_trf = 0;
  wrote_settings = 0;
  for (FileId &f : files) f = FileId{};
  file_count = 0;
  for (FileId &f : tmp_files) f = FileId{};
}

namespace {

// True when a running job reads or writes `file`. Under g_lock.
bool used_by_running_job(const FileId &file) {
  for (const Session &s : g_sessions) {
    if (s.in_use.load(std::memory_order_acquire) == 0) continue;
    if (s.state.load(std::memory_order_acquire) != SESSION_RUNNING) continue;
    for (int i = 0; i < s.file_count; ++i)
      if (same_file(s.files[i], file)) return true;
    for (const FileId &tmp : s.tmp_files)
      if (same_file(tmp, file)) return true;
  }
  return false;
}

}  // namespace

int session_alloc(const char *kind) { return session_claim(kind, nullptr, nullptr, 0); }

int session_claim(const char *kind, const FileId *writes, const FileId *files, int count) {
  GlobalLockHold hold;
  if (writes != nullptr && used_by_running_job(*writes)) return kClaimFileInUse;
  for (int id = 0; id < kMaxSessions; ++id) {
    Session &s = g_sessions[id];
    if (s.in_use.load(std::memory_order_acquire) != 0) continue;
    s.clear();
    copy_text(s.kind, kind);
    s.generation.store(g_next_generation.fetch_add(1, std::memory_order_relaxed) + 1,
                       std::memory_order_relaxed);
    s.state.store(SESSION_RUNNING, std::memory_order_relaxed);
    for (int i = 0; i < count && i < kJobFiles; ++i) s.files[s.file_count++] = files[i];
    // Last: a reader that sees in_use 1 sees the cleared record.
    s.in_use.store(1, std::memory_order_release);
    return id;
  }
  return -1;
}

void session_note_temporary_files(Session *s) {
  FileId trf = file_id(s->trf_path);
  FileId settings = file_id(s->tmp_settings_path);
  GlobalLockHold hold;
  s->tmp_files[0] = trf;
  s->tmp_files[1] = settings;
}

Session *session_lookup(int id) {
  if (id < 0 || id >= kMaxSessions) return nullptr;
  Session *s = &g_sessions[id];
  return s->in_use.load(std::memory_order_acquire) != 0 ? s : nullptr;
}

void session_set_error(Session *s, const char *text) { copy_text(s->error, text); }

JobControl session_control(Session *s) {
  JobControl control;
  control.cancel_requested = &s->cancel_requested;
  control.percent = &s->percent;
  control.frames_done = &s->frames_done;
  control.frames_total = &s->frames_total;
  control.pass = &s->pass;
  return control;
}

int session_state(PassOutcome outcome) {
  switch (outcome) {
    case PassOutcome::Done: return SESSION_DONE;
    case PassOutcome::Cancelled: return SESSION_CANCELLED;
    case PassOutcome::Failed: break;
  }
  return SESSION_FAILED;
}
