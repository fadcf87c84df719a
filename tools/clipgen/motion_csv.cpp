#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "clipgen/clipgen.h"

bool write_motion_csv(const std::string &path, const std::vector<ClipMotion> &motion) {
  std::FILE *out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = std::fputs("frame,dx,dy,angle\n", out) >= 0;
  for (const ClipMotion &m : motion) {
    // %.17g round-trips every double, so the CSV carries the exact motion.
    if (std::fprintf(out, "%d,%.17g,%.17g,%.17g\n", m.frame, m.dx, m.dy, m.angle) < 0) ok = false;
  }
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

std::vector<ClipMotion> read_motion_csv(const std::string &path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line) || line != "frame,dx,dy,angle") return {};
  std::vector<ClipMotion> motion;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    ClipMotion m{};
    char tail = 0;
    if (std::sscanf(line.c_str(), "%d,%lf,%lf,%lf%c", &m.frame, &m.dx, &m.dy, &m.angle, &tail) != 4) return {};
    motion.push_back(m);
  }
  return motion;
}
