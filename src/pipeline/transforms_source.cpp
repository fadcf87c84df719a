#include "pipeline/transforms_source.h"

#include "formats/settings_file.h"
#include "formats/transforms_file.h"
#include "api/error.h"
#include "api/registry.h"
#include "api/session.h"
#include "base/text.h"

bool load_job_transforms(Session *s, std::vector<PathPoint> &path) {
  if (s->options.transforms[0]) {
    copy_text(s->trf_path, s->options.transforms);
    return load_transforms(s->trf_path, path);
  }
  char found[kPathSize];
  if (registry_lookup(s->input_path, found)) {
    copy_text(s->trf_path, found);
    return load_transforms(s->trf_path, path);
  }
  if (s->options.settings[0]) {
    if (scan_settings_for_transforms(s->options.settings, kTransformsKey, found)) {
      copy_text(s->trf_path, found);
      return load_transforms(s->trf_path, path);
    }
    // Nothing usable in the named settings file: the job's own settings file
    // is never an analysis's (see below), so there is nothing left to try.
    return false;
  }
  // The job's own temporary names were generated for this job and no
  // analysis of this process wrote them; a file standing there was left by
  // another process, for another video, and is not read.
  set_err("cannot read transforms %s (run analyze first)", s->trf_path);
  return false;
}
