#include "api/wait_collect.h"

#include "api/error.h"
#include "api/reports.h"
#include "api/session.h"
#include "base/text.h"
#include "platform/threads.h"

namespace {

constexpr const char *kBadJob = "{\"ok\":false,\"error\":\"bad job\"}";

// The session of id while it still holds the job of `generation`.
Session *same_job(int id, unsigned generation) {
  Session *s = session_lookup(id);
  if (s == nullptr || s->generation.load(std::memory_order_acquire) != generation) return nullptr;
  return s;
}

}  // namespace

int wait_and_collect(int id, unsigned generation, char *buffer, const char **out_json,
                     const char *default_failure) {
  Session *s = same_job(id, generation);
  while (s && s->state.load(std::memory_order_acquire) == SESSION_RUNNING) {
    sleep_ms(5);
    s = same_job(id, generation);
  }
  if (s == nullptr) {
    // Another thread freed the job (and perhaps started another in its slot).
    copy_text(buffer, kResultSize, kBadJob);
    set_err("%s", default_failure);
    *out_json = nullptr;
    return 0;
  }
  copy_text(buffer, kResultSize, session_result_json(s));
  int state = s->state.load(std::memory_order_acquire);
  char error[kErrorSize];
  copy_text(error, sizeof error, s->error);
  if (same_job(id, generation)) session_free(id);
  if (state == SESSION_DONE) {
    *out_json = buffer;
    return 1;
  }
  set_err("%s", error[0] ? error : default_failure);
  *out_json = nullptr;
  return 0;
}
