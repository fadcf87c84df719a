// The process-wide lock guarding the slot claim and the analysis registry.
#pragma once

// Acquires g_lock, creating it exactly once on first use.
void g_lock_acquire();
void g_lock_release();

// Holds g_lock for the lifetime of the object.
class GlobalLockHold {
 public:
  GlobalLockHold() { g_lock_acquire(); }
  ~GlobalLockHold() { g_lock_release(); }
  GlobalLockHold(const GlobalLockHold &) = delete;
  GlobalLockHold &operator=(const GlobalLockHold &) = delete;
};
