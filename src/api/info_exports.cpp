// Exports that only read library state: the version text and the last error.
#include "api/error.h"
#include "base/text.h"
#include "base/version.h"
#include "videostabilizer.h"

namespace {

// The media library versions this engine was built for: constants of the
// build, not read from the loaded libraries.
constexpr int kLavfMajor = 63, kLavfMinor = 4, kLavfMicro = 100, kSwscaleMajor = 10;

char g_version[128];

}  // namespace

extern "C" const char *videostabilizer_version(void) {
  format_text(g_version, sizeof g_version, "%s (libavformat %d.%d.%d, swscale %d)", kEngineVersion,
              kLavfMajor, kLavfMinor, kLavfMicro, kSwscaleMajor);
  return g_version;
}

extern "C" const char *videostabilizer_last_error(void) { return g_err; }
