// Fuzzes the reader of a stabilization's options text: any bytes must give
// either "bad options_json" or a well-formed options block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "api/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  StabilizeOptions options;
  if (read_stabilize_options(text.c_str(), &options) == OptionsStatus::Ok) {
    if (options.strength < 0 || options.strength > 10) std::abort();
    if (std::memchr(options.transforms, '\0', sizeof options.transforms) == nullptr) std::abort();
    if (std::memchr(options.settings, '\0', sizeof options.settings) == nullptr) std::abort();
  }
  return 0;
}
