#include <cstdio>
int main() {
  std::fprintf(stderr, "vs_clipgen: not built yet\n");
  return 1;
}
