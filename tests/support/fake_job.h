// A stand-in worker for the session tests. It is claimed, named and started
// through the same session functions the start calls use (session_alloc,
// gen_tmp_paths, vs_thread_start), and behaves like a real worker towards its
// Session record: progress while it runs, results and files at its end, the
// final state stored last.
#pragma once

#include <atomic>
#include <string>

#include "api/session.h"

struct FakeJob {
  // While it waits, the worker polls the cancel flag; it goes on to its end
  // once `release` is set (or, with wait_for_release false, after `spins` polls).
  bool wait_for_release = true;
  int spins = 0;
  std::atomic<bool> release{false};

  // The state the job ends in when it is not cancelled.
  int final_state = SESSION_DONE;
  // An analysis writes its transforms and settings files (temporary ones
  // exclusively, as the real worker does); a stabilization that ends done
  // puts its output in the output path's place.
  bool write_files = false;
  // Failure text stored with SESSION_FAILED.
  std::string error;

  std::atomic<int> runs{0};
  std::atomic<bool> finished{false};
};

// Starts `job` as a session of `kind` ("analyze" or "stabilize"). `output`
// and `settings` may be empty. Returns the session id, -1 when no slot is
// free, -9 when the thread cannot be started.
int start_fake_job(const char *kind, const std::string &input, const std::string &output,
                   const std::string &settings, FakeJob *job);

// Lets a waiting job finish and waits until its final state is stored.
void finish_fake_job(int id, FakeJob *job);
