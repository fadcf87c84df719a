// The session table: one record per analysis or stabilization job, and the
// worker threads that run them.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/job_control.h"
#include "base/text.h"
#include "pipeline/pass_outcome.h"
#include "platform/files.h"
#include "platform/threads.h"

enum SessionState : int {
  SESSION_RUNNING = 2,
  SESSION_DONE = 3,
  SESSION_CANCELLED = 4,
  SESSION_FAILED = 5,
};

inline constexpr int kMaxSessions = 16;
// Input, output or settings path, the options' transforms and settings files.
inline constexpr int kJobFiles = 4;
inline constexpr int kErrorSize = 512;
inline constexpr int kResultSize = 2048;

// Options of a stabilization (all zero for an analysis).
struct StabilizeOptions {
  char mode[16];
  int strength;
  int crop_max;
  int sharpen;
  int keep_audio;
  char transforms[kPathSize];
  char settings[kPathSize];
};

// The heap record of a session's worker thread.
struct WorkerThread {
  ThreadHandle handle;
  void (*fn)(void *);
  void *arg;
};

// One job. The fields the worker writes and the host reads while the job runs
// are atomic; the result fields are plain and are published by the release
// store of the final `state`, which the worker makes last.
struct Session {
  std::atomic<int> in_use;
  std::atomic<int> state;
  std::atomic<int> cancel_requested;
  std::atomic<int> percent;
  std::atomic<int> frames_done;
  std::atomic<int> frames_total;
  std::atomic<int> pass;
  char kind[10];
  char input_path[kPathSize];
  char output_path[kPathSize];
  char settings_out_path[kPathSize];
  char trf_path[kPathSize];
  char tmp_settings_path[kPathSize];
  StabilizeOptions options;
  double shakiness;
  double max_shift_px;
  int frames;
  double crop_percent;
  double duration_s;
  std::int64_t size_bytes;
  std::int64_t elapsed_ms;
  char error[kErrorSize];
  char result_json[kResultSize];
  std::atomic<WorkerThread *> thread;

  // Set when the slot is claimed, from a process-wide counter: tells a waiter
  // whether the slot still holds the job it started.
  std::atomic<std::uint32_t> generation;

  // What the job itself created, so freeing a job that did not succeed deletes
  // only its own files. Written by the worker, read after it is joined.
  int wrote_trf;       // the job created the file at trf_path
  int wrote_settings;  // the job created the file at tmp_settings_path

  // The files the job reads or writes, as they stood when it started, and
  // its temporary files, so that no other job writes over them while it
  // runs. Written and read only under g_lock.
  FileId files[kJobFiles];
  int file_count;
  FileId tmp_files[2];

  // Resets every field to zero.
  void clear();
};

extern Session g_sessions[kMaxSessions];

// Claims the lowest free slot for a job of `kind` ("analyze" or "stabilize"):
// the record is cleared, in_use 1, state SESSION_RUNNING. Returns the slot
// index, or -1 when all 16 are taken.
int session_alloc(const char *kind);

// The claim of a start call, in the same holding of g_lock as the check that
// no running job reads or writes the file the new job will write (`writes`,
// null when it writes nothing of the caller's). `files` (count of them, at
// most kJobFiles) are recorded in the session for later claims. Returns the
// slot index, -1 when all slots are taken, kClaimFileInUse when a running
// job uses `writes`.
inline constexpr int kClaimFileInUse = -3;
int session_claim(const char *kind, const FileId *writes, const FileId *files, int count);

// Records the session's temporary files (trf_path, tmp_settings_path) among
// the files it uses; again whenever they are named anew.
void session_note_temporary_files(Session *s);

// Gives the session its temporary transforms and settings paths, numbered
// from a process-wide counter (vsb_N.trf, vsb_N_settings.json).
void gen_tmp_paths(Session *s);

// Claims the session's temporary transforms file, and its temporary settings
// file when it has no settings path of its own, by creating them empty and
// exclusively (mode 0600). Another process may have taken the generated
// number since: then new names are generated, a bounded number of times.
// Sets wrote_trf / wrote_settings for what it created. Returns false when the
// files cannot be created at all (the writers then report it).
bool reserve_tmp_files(Session *s);

// Removes the reserved temporary files of a job that will not fill them.
void release_tmp_files(Session *s);

// Starts a thread running fn(arg); null when it cannot be started.
WorkerThread *vs_thread_start(void (*fn)(void *), void *arg);

// The session of an id that is 0..15 and in use, or null.
Session *session_lookup(int id);

// Releases a session (joins its worker, deletes what a job that did not
// succeed created, frees the slot). Does nothing for a bad id.
void session_free(int id);

// Stores the final state of a job: must be the worker's last write.
inline void session_finish(Session *s, int final_state) {
  s->state.store(final_state, std::memory_order_release);
}

// True once the host has asked the job to stop.
inline bool session_cancelled(const Session *s) {
  return s->cancel_requested.load(std::memory_order_acquire) != 0;
}

// Copies a failure text into the session's error field.
void session_set_error(Session *s, const char *text);

// The control record a pass of this session polls and reports through.
JobControl session_control(Session *s);

// The final state of a pass's outcome.
int session_state(PassOutcome outcome);
