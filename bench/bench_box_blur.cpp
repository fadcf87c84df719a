// The 3x3 box blur of one 454x256 analysis image: the per-pixel reference
// against the separable version boxblur3 uses, in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "dsp/box_blur.h"

namespace {

std::vector<std::uint8_t> texture() {
  std::vector<std::uint8_t> v(454 * 256);
  std::mt19937 rng(3);
  for (auto &x : v) x = static_cast<std::uint8_t>(rng());
  return v;
}

template <void (*Blur)(std::uint8_t *, int, int)>
void BM_Blur(benchmark::State &state) {
  std::vector<std::uint8_t> image = texture();
  for (auto _ : state) {
    Blur(image.data(), 454, 256);
    benchmark::DoNotOptimize(image.data());
  }
}

BENCHMARK(BM_Blur<boxblur3_scalar>)->Name("boxblur3_scalar_454x256")->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Blur<boxblur3_separable>)->Name("boxblur3_separable_454x256")->Repetitions(5)->ReportAggregatesOnly(true);

double median_ms(void (*blur)(std::uint8_t *, int, int)) {
  std::vector<std::uint8_t> image = texture();
  std::vector<double> runs;
  for (int r = 0; r < 9; ++r) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) blur(image.data(), 454, 256);
    runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / 200);
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  double plain = median_ms(boxblur3_scalar), separable = median_ms(boxblur3_separable);
  std::printf("boxblur3 454x256: plain %.3f ms, separable %.3f ms, speed-up %.1fx\n", plain, separable,
              plain / separable);
  return 0;
}
