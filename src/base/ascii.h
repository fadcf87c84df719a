// ASCII helpers independent of the process locale.
#pragma once

// True when a and b are equal ignoring ASCII letter case.
inline bool ascii_iequal(const char *a, const char *b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}
