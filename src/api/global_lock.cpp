#include "api/global_lock.h"

#include <atomic>
#include <mutex>
#include <new>

namespace {

// 0 at load; the one thread that swaps it to 1 creates the lock.
std::atomic<int> g_lock_init{0};
// Becomes true once the lock stands in its storage; threads that lost the
// swap wait on it, so nobody locks a half-built mutex.
std::atomic<bool> g_lock_ready{false};

// Static storage for the lock: constructed in place on first use and never
// destroyed, so it stays usable by worker threads during process exit.
alignas(std::mutex) unsigned char g_lock[sizeof(std::mutex)];

std::mutex &lock_object() { return *std::launder(reinterpret_cast<std::mutex *>(g_lock)); }

void create_lock_once() {
  if (g_lock_ready.load(std::memory_order_acquire)) return;
  int expected = 0;
  if (g_lock_init.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
    new (g_lock) std::mutex();
    g_lock_ready.store(true, std::memory_order_release);
    g_lock_ready.notify_all();
    return;
  }
  g_lock_ready.wait(false, std::memory_order_acquire);
}

}  // namespace

void g_lock_acquire() {
  create_lock_once();
  lock_object().lock();
}

void g_lock_release() { lock_object().unlock(); }
