// Fuzzes the reader of a stabilization's options text: any bytes must give
// either a refusal with the defaults left in place, or options within their
// ranges whose paths are terminated C strings that fit their fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "api/options.h"

namespace {

bool same_options(const StabilizeOptions &a, const StabilizeOptions &b) {
  return std::strcmp(a.mode, b.mode) == 0 && a.strength == b.strength && a.crop_max == b.crop_max &&
         a.sharpen == b.sharpen && a.keep_audio == b.keep_audio && std::strcmp(a.transforms, b.transforms) == 0 &&
         std::strcmp(a.settings, b.settings) == 0;
}

bool terminated(const char *field, std::size_t size) { return std::memchr(field, '\0', size) != nullptr; }

void check_read(const StabilizeOptions &o) {
  if (!terminated(o.mode, sizeof o.mode) || !terminated(o.transforms, sizeof o.transforms) ||
      !terminated(o.settings, sizeof o.settings))
    std::abort();
  if (std::strcmp(o.mode, "smooth") != 0 && std::strcmp(o.mode, "optical") != 0) std::abort();
  if (o.strength < 0 || o.strength > 10) std::abort();
  for (int flag : {o.crop_max, o.sharpen, o.keep_audio})
    if (flag != 0 && flag != 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // The reader takes a C string: the bytes up to the first NUL are the text.
  std::string text(reinterpret_cast<const char *>(data), size);
  StabilizeOptions options;
  // Garbage first, so a field the reader forgot to set shows.
  std::memset(&options, 0x7f, sizeof options);
  OptionsStatus status = read_stabilize_options(text.c_str(), &options);
  if (status == OptionsStatus::Ok) {
    check_read(options);
  } else if (status == OptionsStatus::NotJson || status == OptionsStatus::PathTooLong) {
    // Refused: the caller reports it, and what it holds is the defaults.
    if (!same_options(options, default_stabilize_options())) std::abort();
  } else {
    std::abort();
  }
  return 0;
}
