// The five session exports. Each checks its id first: an id outside 0..15
// or naming a free slot gets the fixed answers below and changes nothing.
#include "api/export_guard.h"
#include "api/reports.h"
#include "api/session.h"
#include "videostabilizer.h"

namespace {

constexpr const char *kBadProgress = "{\"state\":-1}";
constexpr const char *kBadResult = "{\"ok\":false,\"error\":\"bad job\"}";

}  // namespace

extern "C" int videostabilizer_status(int session_id) {
  const Session *s = session_lookup(session_id);
  return s ? s->state.load(std::memory_order_acquire) : -1;
}

extern "C" const char *videostabilizer_progress(int session_id) {
  const Session *s = session_lookup(session_id);
  return s ? progress_json(s) : kBadProgress;
}

extern "C" const char *videostabilizer_result(int session_id) {
  Session *s = session_lookup(session_id);
  return s ? session_result_json(s) : kBadResult;
}

extern "C" void videostabilizer_cancel(int session_id) {
  Session *s = session_lookup(session_id);
  if (s) s->cancel_requested.store(1, std::memory_order_release);
}

extern "C" void videostabilizer_free(int session_id) {
  guarded_void([&] { session_free(session_id); });
}
