// Speed of the motion estimator on a 454x256 pair (the analysis size of a
// 16:9 input): the SSE2 SAD kernel against the plain scalar one, side by side
// in one run, and the ratio of their median times.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "dsp/box_blur.h"
#include "dsp/sad.h"
#include "motion/motion_estimator.h"

namespace {

constexpr int kW = 454;
constexpr int kH = 256;
constexpr int kMargin = 24;

// A frame pair with real texture: random noise smoothed by three passes of a
// 5x5 box filter and stretched back to the full byte range; the current frame
// shows the content moved 3 pixels right and 2 pixels up.
struct FramePair {
  std::vector<std::uint8_t> prev;
  std::vector<std::uint8_t> cur;
};

FramePair make_pair() {
  const int cw = kW + 2 * kMargin;
  const int ch = kH + 2 * kMargin;
  std::mt19937 rng(7u);
  std::vector<double> a(static_cast<std::size_t>(cw) * ch);
  for (auto &v : a) v = static_cast<double>(rng() >> 24);
  std::vector<double> b(a.size());
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < ch; ++y) {
      for (int x = 0; x < cw; ++x) {
        double s = 0;
        int count = 0;
        for (int dy = -2; dy <= 2; ++dy) {
          for (int dx = -2; dx <= 2; ++dx) {
            const int xx = x + dx;
            const int yy = y + dy;
            if (xx < 0 || yy < 0 || xx >= cw || yy >= ch) continue;
            s += a[static_cast<std::size_t>(yy) * cw + xx];
            ++count;
          }
        }
        b[static_cast<std::size_t>(y) * cw + x] = s / count;
      }
    }
    a.swap(b);
  }
  double lo = 255, hi = 0;
  for (double v : a) {
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  auto texel = [&](int x, int y) {
    const double v = (a[static_cast<std::size_t>(y) * cw + x] - lo) * 255.0 / (hi - lo);
    return static_cast<std::uint8_t>(v + 0.5);
  };
  FramePair pair;
  pair.prev.resize(static_cast<std::size_t>(kW) * kH);
  pair.cur.resize(pair.prev.size());
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      pair.prev[static_cast<std::size_t>(y) * kW + x] = texel(x + kMargin, y + kMargin);
      pair.cur[static_cast<std::size_t>(y) * kW + x] = texel(x + kMargin - 3, y + kMargin + 2);
    }
  }
  boxblur3(pair.prev.data(), kW, kH);
  boxblur3(pair.cur.data(), kW, kH);
  return pair;
}

const FramePair &frame_pair() {
  static const FramePair pair = make_pair();
  return pair;
}

void BM_DetectFrameMotion_Sse2(benchmark::State &state) {
  const FramePair &p = frame_pair();
  for (auto _ : state) {
    FrameMotion m = detect_frame_motion(p.prev.data(), p.cur.data(), kW, kH);
    benchmark::DoNotOptimize(m);
  }
}

void BM_DetectFrameMotion_Scalar(benchmark::State &state) {
  const FramePair &p = frame_pair();
  for (auto _ : state) {
    FrameMotion m = detect_frame_motion_with(p.prev.data(), p.cur.data(), kW, kH, sad32_scalar);
    benchmark::DoNotOptimize(m);
  }
}

void BM_Sad32(benchmark::State &state, Sad32Fn sad) {
  const FramePair &p = frame_pair();
  std::uint64_t sink = 0;
  for (auto _ : state) {
    for (int dx = 0; dx < 16; ++dx) {
      sink += sad(p.prev.data() + 40 * kW + 40 + dx, p.cur.data() + 40 * kW + 40, kW);
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * 16);
}

// Nine repetitions each; the medians are compared (the machine is shared).
BENCHMARK(BM_DetectFrameMotion_Sse2)
    ->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_DetectFrameMotion_Scalar)
    ->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_Sad32, Sse2, sad32_sse2)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_Sad32, Scalar, sad32_scalar)->Repetitions(9)->ReportAggregatesOnly(true);

// Keeps the medians of every benchmark so main can print ratios. CPU time is
// the fairer comparison on a shared machine; wall time is printed as well.
class MedianKeeper : public benchmark::ConsoleReporter {
 public:
  MedianKeeper() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.aggregate_name != "median") continue;
      const std::string name = run.run_name.function_name + run.run_name.args;
      medians_[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  struct Median {
    double real = 0.0;
    double cpu = 0.0;
  };
  Median median(const std::string &name) const {
    auto it = medians_.find(name);
    return it == medians_.end() ? Median{} : it->second;
  }

 private:
  std::map<std::string, Median> medians_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  MedianKeeper reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto vec = reporter.median("BM_DetectFrameMotion_Sse2");
  const auto sca = reporter.median("BM_DetectFrameMotion_Scalar");
  if (vec.cpu > 0 && sca.cpu > 0) {
    std::printf("detect_frame_motion 454x256, median per pair (cpu / wall): sse2 %.1f / %.1f us, "
                "scalar %.1f / %.1f us, speed-up %.2fx (cpu) %.2fx (wall)\n",
                vec.cpu, vec.real, sca.cpu, sca.real, sca.cpu / vec.cpu, sca.real / vec.real);
  }
  const auto kv = reporter.median("BM_Sad32/Sse2");
  const auto ks = reporter.median("BM_Sad32/Scalar");
  if (kv.cpu > 0 && ks.cpu > 0) {
    std::printf("sad32 kernel alone, median cpu per 16 SADs: sse2 %.1f ns, scalar %.1f ns, speed-up %.2fx\n",
                kv.cpu, ks.cpu, ks.cpu / kv.cpu);
  }
  std::fflush(stdout);
  return 0;
}
