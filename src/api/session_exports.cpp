// The five session exports: not built yet.
#include "videostabilizer.h"

extern "C" int videostabilizer_status(int) { return -1; }
extern "C" const char *videostabilizer_progress(int) { return "{\"state\":-1}"; }
extern "C" const char *videostabilizer_result(int) { return "{\"ok\":false,\"error\":\"bad job\"}"; }
extern "C" void videostabilizer_cancel(int) {}
extern "C" void videostabilizer_free(int) {}
