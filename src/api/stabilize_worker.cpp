// The stabilize worker: hands the job's paths, options and the registry's
// transforms for its input to the stabilize pass, and records its outcome.
#include "api/error.h"
#include "api/registry.h"
#include "api/session.h"
#include "api/workers.h"
#include "pipeline/stabilize_pass.h"

void stabilize_thread(void *arg) {
  Session *s = static_cast<Session *>(arg);
  PerfStamp start = perf_now();
  const StabilizeOptions &o = s->options;
  char registered[kPathSize] = "";
  if (o.transforms[0] == '\0') registry_lookup(s->input_path, registered);

  StabilizeRequest request;
  request.input_path = s->input_path;
  request.output_path = s->output_path;
  request.strength = o.strength;
  request.crop_max = o.crop_max;
  request.sharpen = o.sharpen;
  request.keep_audio = o.keep_audio;
  request.transforms = {o.transforms, registered, o.settings, s->trf_path};
  request.start = start;
  StabilizeResult result = run_stabilize(request, session_control(s));

  if (result.trf_path[0]) copy_text(s->trf_path, result.trf_path);
  s->crop_percent = result.crop_percent;
  s->frames = result.frames;
  s->duration_s = result.duration_s;
  s->elapsed_ms = result.elapsed_ms;
  s->size_bytes = result.size_bytes;
  session_set_error(s, result.error.job);
  if (result.error.process[0]) set_err("%s", result.error.process);
  session_finish(s, session_state(result.outcome));
}
