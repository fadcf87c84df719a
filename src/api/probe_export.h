// The probe report buffer, rewritten by every successful videostabilizer_probe.
#pragma once

#include <cstddef>

inline constexpr std::size_t kProbeJsonSize = 2048;

// The last probe report; valid until the next probe call overwrites it.
extern char g_probe_json[kProbeJsonSize];
