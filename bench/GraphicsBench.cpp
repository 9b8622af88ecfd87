// Frame pacing on a real window (run it on a display, e.g. through tools/with-display.sh): the
// interval between FlipPage (-1) returns over 600 frames against the 16.67 ms of 60 Hz, and as
// the baseline the same frames presented at once with FlipPage (0).
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <vector>

#include "graphics/GLGraphics.h"

namespace {

using corvex::FlipPage;

constexpr int kFrames = 600;

// Runs kFrames frames that clear the window and flip with `sync`, and reports the intervals
// between flip returns in milliseconds.
void MeasureFlips(benchmark::State& state, int32_t sync) {
  corvex::InitGLGraphicsModule();
  if (!corvex::OpenGLGraphics(800, 600, 0, 60, 0)) {
    state.SkipWithError("no OpenGL window: run on a display");
    return;
  }
  std::vector<double> intervals(kFrames);
  for (auto _ : state) {
    FlipPage(sync);  // starts the measurement on a frame boundary
    auto last = std::chrono::steady_clock::now();
    for (double& interval : intervals) {
      glClear(GL_COLOR_BUFFER_BIT);
      FlipPage(sync);
      const auto now = std::chrono::steady_clock::now();
      interval = std::chrono::duration<double, std::milli>(now - last).count();
      last = now;
    }
  }
  std::vector<double> sorted = intervals;
  std::sort(sorted.begin(), sorted.end());
  state.counters["median_ms"] = sorted[sorted.size() / 2];
  state.counters["p99_ms"] = sorted[sorted.size() * 99 / 100];
  state.counters["max_ms"] = sorted.back();
  state.counters["mean_ms"] =
      std::accumulate(sorted.begin(), sorted.end(), 0.0) / static_cast<double>(sorted.size());
  state.counters["target_ms"] = 1000.0 / 60.0;
  corvex::CloseMainGraphics();
}

void BM_FlipPagePacedAt60Hz(benchmark::State& state) {
  MeasureFlips(state, -1);
}
void BM_FlipPageUnpacedBaseline(benchmark::State& state) {
  MeasureFlips(state, 0);
}

BENCHMARK(BM_FlipPagePacedAt60Hz)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlipPageUnpacedBaseline)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
