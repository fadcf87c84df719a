#include "pipeline/transforms_source.h"

#include "base/text.h"
#include "formats/settings_file.h"
#include "formats/transforms_file.h"

bool load_job_transforms(const TransformsSources &sources, std::vector<PathPoint> &path, char *chosen,
                         JobError *error) {
  if (sources.option[0]) {
    copy_text(chosen, kPathSize, sources.option);
    return load_transforms(chosen, path, error);
  }
  if (sources.registered[0]) {
    copy_text(chosen, kPathSize, sources.registered);
    return load_transforms(chosen, path, error);
  }
  if (sources.settings[0]) {
    char found[kPathSize];
    if (scan_settings_for_transforms(sources.settings, kTransformsKey, found, error)) {
      copy_text(chosen, kPathSize, found);
      return load_transforms(chosen, path, error);
    }
    // Nothing usable in the named settings file: the job's own settings file
    // is never an analysis's (see below), so there is nothing left to try.
    return false;
  }
  // The job's own temporary names were generated for this job and no
  // analysis of this process wrote them; a file standing there was left by
  // another process, for another video, and is not read.
  error->note("cannot read transforms %s (run analyze first)", sources.own);
  return false;
}
