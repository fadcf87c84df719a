// Warp plus sharpening of one 1920 x 1080 frame (turn, shift and zoom 0.9),
// every kernel variant side by side; ends with the time per frame of each
// and its speed-up over the plain version.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dsp/warp.h"
#include "dsp/warp_kernels.h"
#include "pipeline/threaded_kernels.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr double kTx = 12.25, kTy = -7.5, kAngle = 0.02, kZoom = 0.9;

struct Frame {
  std::vector<std::uint8_t> y, u, v;
  Frame() : y(static_cast<std::size_t>(kW) * kH), u(y.size() / 4), v(y.size() / 4) {}
};

// A textured source: smooth waves plus a little noise, like real footage
// rather than white noise (which no interpolation cares about).
const Frame &source() {
  static const Frame f = [] {
    Frame s;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const double t =
            128 + 60 * std::sin(x * 0.031 + y * 0.017) + 40 * std::cos(y * 0.043 - x * 0.007);
        s.y[static_cast<std::size_t>(y) * kW + x] =
            static_cast<std::uint8_t>(std::fmin(255.0, std::fmax(0.0, t + noise(rng))));
      }
    for (std::size_t i = 0; i < s.u.size(); ++i) {
      s.u[i] = static_cast<std::uint8_t>(100 + i % 37);
      s.v[i] = static_cast<std::uint8_t>(150 - i % 29);
    }
    return s;
  }();
  return f;
}

void warp(WarpFn fn, Frame &out) {
  const Frame &s = source();
  fn(s.y.data(), kW, kH, kW, s.u.data(), kW / 2, s.v.data(), kW / 2, kTx, kTy, kAngle, kZoom,
     out.y.data(), out.u.data(), out.v.data(), kW, kH, kW, kW / 2, kW / 2);
}

void bm_warp_sharpen(benchmark::State &state, WarpFn w, UnsharpFn sharpen) {
  Frame out;
  for (auto _ : state) {
    warp(w, out);
    sharpen(out.y.data(), kW, kH, kW);
    benchmark::DoNotOptimize(out.y.data());
  }
}

void bm_warp(benchmark::State &state, WarpFn w) {
  Frame out;
  for (auto _ : state) {
    warp(w, out);
    benchmark::DoNotOptimize(out.y.data());
  }
}

void bm_sharpen(benchmark::State &state, UnsharpFn sharpen) {
  Frame out;
  warp(warp_yuv420_scalar, out);
  for (auto _ : state) {
    sharpen(out.y.data(), kW, kH, kW);
    benchmark::DoNotOptimize(out.y.data());
  }
}

// Console output as usual, plus the best real time of every benchmark over
// its repetitions (the machine is shared: the minimum is the least disturbed).
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      std::string name = r.benchmark_name();
      // "family/variant/repeats:3/real_time" -> "family/variant"
      const std::size_t cut = name.find('/', name.find('/') + 1);
      if (cut != std::string::npos) name.erase(cut);
      const double t = r.GetAdjustedRealTime();
      const auto it = ms.find(name);
      if (it == ms.end() || t < it->second) ms[name] = t;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

struct Variant {
  std::string name;
  WarpFn warp;
  UnsharpFn sharpen;
};

}  // namespace

int main(int argc, char **argv) {
  std::vector<Variant> variants = {{"scalar", warp_yuv420_scalar, unsharp_y_scalar},
                                   {"sse2", warp_yuv420_sse2, unsharp_y_sse2}};
  variants.push_back({"sse2_mt", warp_yuv420_sse2_mt, unsharp_y_sse2_mt});
  if (cpu_has_avx2()) {
    variants.push_back({"avx2", warp_yuv420_avx2, unsharp_y_avx2});
    variants.push_back({"avx2_mt", warp_yuv420_avx2_mt, unsharp_y_avx2_mt});
  }
  variants.push_back({"dispatch", warp_yuv420, unsharp_y});

  const char *families[] = {"warp_sharpen", "warp", "sharpen"};
  for (const Variant &v : variants) {
    benchmark::RegisterBenchmark(("warp_sharpen/" + v.name).c_str(), bm_warp_sharpen, v.warp,
                                 v.sharpen)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3)
        ->ReportAggregatesOnly(false)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("warp/" + v.name).c_str(), bm_warp, v.warp)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3)
        ->ReportAggregatesOnly(false)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("sharpen/" + v.name).c_str(), bm_sharpen, v.sharpen)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3)
        ->ReportAggregatesOnly(false)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n1920x1080, correction (%.2f, %.2f, %.3f rad), zoom %.2f; dispatch uses %s\n", kTx,
              kTy, kAngle, kZoom, render_kernels().warp_name);
  std::printf("best of 3 repetitions, wall-clock time\n");
  std::printf("%-14s %-10s %12s %10s\n", "what", "variant", "ms/frame", "speed-up");
  for (const char *family : families) {
    const std::string base = std::string(family) + "/scalar";
    const auto scalar = reporter.ms.find(base);
    for (const Variant &v : variants) {
      const auto it = reporter.ms.find(std::string(family) + "/" + v.name);
      if (it == reporter.ms.end()) continue;
      if (scalar != reporter.ms.end())
        std::printf("%-14s %-10s %12.3f %9.2fx\n", family, v.name.c_str(), it->second,
                    scalar->second / it->second);
      else
        std::printf("%-14s %-10s %12.3f %10s\n", family, v.name.c_str(), it->second, "-");
    }
  }
  return 0;
}
