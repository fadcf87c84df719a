// Keeps C++ exceptions inside the library: every export runs its body
// through guarded(), which turns an escaping exception into the export's
// failure value (an allocation failure is reported as "oom").
#pragma once

#include <new>

#include "api/error.h"

template <typename Result, typename Body>
Result guarded(Result on_failure, Body &&body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    set_err("oom");
  } catch (...) {
    set_err("internal error");
  }
  return on_failure;
}

template <typename Body>
void guarded_void(Body &&body) noexcept {
  try {
    body();
  } catch (...) {
  }
}
