// The engine version, reported by videostabilizer_version and written into
// the transforms and settings files.
#pragma once

inline constexpr const char *kEngineVersion = "1.0.0";
