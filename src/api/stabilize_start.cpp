// Starting stabilizations: not built yet.
#include "api/error.h"
#include "videostabilizer.h"

extern "C" int videostabilizer_stabilize_start(const char *, const char *, const char *) {
  clear_err();
  set_err("stabilization not available in this build");
  return -9;
}

extern "C" int videostabilizer_stabilize(const char *, const char *, const char *, const char **out_json) {
  clear_err();
  if (out_json == nullptr) {
    set_err("out_json NULL");
    return 0;
  }
  set_err("stabilization not available in this build");
  return 0;
}
