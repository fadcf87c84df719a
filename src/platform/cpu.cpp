#include "platform/cpu.h"

#include <unistd.h>

bool cpu_has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}

int cpu_count() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n >= 1 ? static_cast<int>(n) : 1;
}
