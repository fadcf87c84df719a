// videostabilizer_probe: not built yet.
#include "api/error.h"
#include "videostabilizer.h"

extern "C" int videostabilizer_probe(const char *input_path, const char **out_json) {
  (void)input_path;
  clear_err();
  if (out_json == nullptr) {
    set_err("out_json NULL");
    return 0;
  }
  *out_json = nullptr;
  set_err("probe not available in this build");
  return 0;
}
