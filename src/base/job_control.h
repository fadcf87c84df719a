// What a running job shares with whoever started it: the stop request it
// polls, and the progress counters it publishes. The job runs on its own
// thread and the host reads the counters at any time, so every field is an
// atomic living in the caller's record; the job only holds pointers to them.
// Any pointer may be null: nobody asks to stop, or nobody listens.
#pragma once

#include <atomic>

struct JobControl {
  const std::atomic<int> *cancel_requested = nullptr;  // non-zero once the host asked the job to stop
  std::atomic<int> *percent = nullptr;                 // 0 .. 99 while the job runs
  std::atomic<int> *frames_done = nullptr;
  std::atomic<int> *frames_total = nullptr;
  std::atomic<int> *pass = nullptr;                    // 0 before the frame loop of a stabilization, 1 in it

  // For tests: from the n-th time the job looks at its cancel request on
  // (1 = the first look), it finds it made; 0 never. Lets a test stop a
  // job at each of the points where it looks, one run after the other.
  int cancel_at_look = 0;
  mutable int looks = 0;

  bool cancelled() const {
    if (cancel_at_look > 0 && ++looks >= cancel_at_look) return true;
    return cancel_requested != nullptr && cancel_requested->load(std::memory_order_acquire) != 0;
  }
  void set_frames_total(int total) const {
    if (frames_total) frames_total->store(total, std::memory_order_relaxed);
  }
  void set_progress(int done, int percent_done) const {
    if (frames_done) frames_done->store(done, std::memory_order_relaxed);
    if (percent) percent->store(percent_done, std::memory_order_relaxed);
  }
  void set_pass(int value) const {
    if (pass) pass->store(value, std::memory_order_relaxed);
  }
};
