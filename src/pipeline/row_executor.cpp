// One persistent helper thread for the per-frame kernels. It is started on
// first use and sleeps on an atomic between requests, so a frame costs two
// wake-ups rather than a thread start. Only one caller at a time can claim it;
// the others run alone, which keeps several concurrent jobs from queueing on
// each other. The helper is stopped and joined when the library is unloaded
// or the process exits.
#include "pipeline/row_executor.h"

#include <atomic>
#include <mutex>

#include "platform/threads.h"

namespace {

// Request states: posted by a caller, taken (running) by the helper, done.
// A caller that finishes every chunk before the helper has woken withdraws
// the request instead of waiting for the wake-up (the machine may be busy).
enum : int { kIdle = 0, kPosted = 1, kRunning = 2, kDone = 3, kStop = 4 };

struct Request {
  std::atomic<RowsFn> fn{nullptr};
  std::atomic<const void *> arg{nullptr};
  std::atomic<int> rows{0};
  std::atomic<int> chunk{1};
  std::atomic<int> next{0};  // next chunk index to take
};

// Takes chunks until none is left.
void work(Request &r) {
  const RowsFn fn = r.fn.load(std::memory_order_relaxed);
  const void *arg = r.arg.load(std::memory_order_relaxed);
  const int rows = r.rows.load(std::memory_order_relaxed);
  const int chunk = r.chunk.load(std::memory_order_relaxed);
  for (;;) {
    const int c = r.next.fetch_add(1, std::memory_order_relaxed);
    if (c >= (rows + chunk - 1) / chunk) return;
    const int begin = c * chunk;
    const int end = begin + chunk < rows ? begin + chunk : rows;
    fn(arg, begin, end);
  }
}

class Helper {
 public:
  ~Helper() {
    if (!started_.load(std::memory_order_acquire)) return;
    // Take the claim for good: a request in flight finishes first, and every
    // later caller finds the helper busy and runs alone.
    int expected = 0;
    while (!claimed_.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
      claimed_.wait(1, std::memory_order_relaxed);
      expected = 0;
    }
    state_.store(kStop, std::memory_order_release);
    state_.notify_all();
    thread_join(thread_);
  }

  bool available() {
    std::call_once(once_, [this] {
      if (thread_create(&thread_, &Helper::entry, this))
        started_.store(true, std::memory_order_release);
      else
        claimed_.store(1, std::memory_order_relaxed);  // never claimable
    });
    return started_.load(std::memory_order_acquire) &&
           claimed_.load(std::memory_order_relaxed) == 0;
  }

  void run(RowsFn fn, const void *arg, int rows, int chunk) {
    int expected = 0;
    if (!available() || !claimed_.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
      fn(arg, 0, rows);
      return;
    }
    request_.fn.store(fn, std::memory_order_relaxed);
    request_.arg.store(arg, std::memory_order_relaxed);
    request_.rows.store(rows, std::memory_order_relaxed);
    request_.chunk.store(chunk, std::memory_order_relaxed);
    request_.next.store(0, std::memory_order_relaxed);
    state_.store(kPosted, std::memory_order_release);
    state_.notify_one();
    work(request_);
    int s = kPosted;
    if (!state_.compare_exchange_strong(s, kIdle, std::memory_order_acq_rel)) {
      // The helper took the request and may still be inside its last chunk.
      while ((s = state_.load(std::memory_order_acquire)) == kRunning)
        state_.wait(kRunning, std::memory_order_acquire);
      state_.store(kIdle, std::memory_order_relaxed);
    }
    claimed_.store(0, std::memory_order_release);
    claimed_.notify_all();
  }

 private:
  static void *entry(void *self) {
    static_cast<Helper *>(self)->loop();
    return nullptr;
  }

  void loop() {
    for (;;) {
      int s = state_.load(std::memory_order_acquire);
      while (s != kPosted && s != kStop) {
        state_.wait(s, std::memory_order_acquire);
        s = state_.load(std::memory_order_acquire);
      }
      if (s == kStop) return;
      if (!state_.compare_exchange_strong(s, kRunning, std::memory_order_acq_rel)) continue;
      work(request_);
      state_.store(kDone, std::memory_order_release);
      state_.notify_all();
    }
  }

  std::once_flag once_;
  std::atomic<bool> started_{false};
  std::atomic<int> claimed_{0};
  std::atomic<int> state_{kIdle};
  Request request_;
  ThreadHandle thread_{};
};

Helper &helper() {
  static Helper h;
  return h;
}

}  // namespace

void run_rows_split(RowsFn fn, const void *arg, int rows, int chunk) {
  if (rows <= 0) return;
  if (chunk < 1) chunk = 1;
  if (rows <= chunk) {
    fn(arg, 0, rows);
    return;
  }
  helper().run(fn, arg, rows, chunk);
}
