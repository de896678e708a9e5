// What the whole shipped song costs on one core, as the show renders it:
// a fresh Synth loads the song and renders the show's 115 s block by block
// from start(0.0), each block timed in the thread's CPU time. Each run
// renders the song five times; block figures take every block at the
// cheapest of its five times. Counters:
//   load_ms            prepareSynth (init, tables, song, effect units and
//                      their curves), cheapest
//   song_cpu_s         CPU seconds of all blocks together, median render
//   realtime_factor    seconds of music per CPU second, median render
//   first_of_budget    the first block, as a share of the 11.61 ms it lasts
//   median_of_budget, p99_of_budget, worst_of_budget: over every block
//   worst_block        the index of the worst block (0 is the first)
//   worst_single_of_budget  the dearest single time of any block in any
//                      render: what the machine's other work added on top
// Run with --benchmark_repetitions=5 for medians over five runs.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "data/song.h"
#include "driver/music.h"
#include "runtime/counter.h"
#include "runtime/float_mode.h"
#include "synth/synth.h"

namespace {

constexpr double kBlockBudgetMs = 512.0 / 44100.0 * 1000.0;  // 11.61 ms
constexpr double kShowSeconds = 115.0;
// Renders per run: every render does the same work (the counter is pinned),
// so a block's cheapest time is its cost without the moments this shared
// machine gave to other work.
constexpr uint32_t kRenders = 5;

double threadCpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// Share of the budget below which `fraction` of the sorted costs lie.
double quantile(const std::vector<double>& sorted, double fraction) {
    const size_t at = std::min(sorted.size() - 1, size_t(std::ceil(fraction * double(sorted.size()))) - 1);
    return sorted[at] / kBlockBudgetMs;
}

// One whole render: a fresh Synth, then the show's blocks from the start.
// Costs in thread CPU milliseconds.
struct SongRender {
    bool loaded = false;
    double loadMs = 0.0;
    std::vector<double> blockMs;
};

SongRender renderSong(uint64_t blocks) {
    SongRender r;
    pinCounter(7);
    auto synth = std::make_unique<Synth>();
    const double l0 = threadCpuMs();
    r.loaded = prepareSynth(*synth, kSong, kSongSize);
    r.loadMs = threadCpuMs() - l0;
    if (r.loaded) start(*synth, 0.0f);
    for (uint64_t b = 0; r.loaded && b < blocks; ++b) {
        const int16_t* out = nullptr;
        const double c0 = threadCpuMs();
        renderBlock(*synth, &out);
        const double c1 = threadCpuMs();
        benchmark::DoNotOptimize(out);
        r.blockMs.push_back(c1 - c0);
    }
    unpinCounter();
    return r;
}

// Block by block, the cheapest of the renders' costs.
std::vector<double> cheapest(const std::vector<SongRender>& renders) {
    std::vector<double> least = renders[0].blockMs;
    for (const SongRender& r : renders)
        for (size_t b = 0; b < least.size(); ++b) least[b] = std::min(least[b], r.blockMs[b]);
    return least;
}

void BM_WholeSong(benchmark::State& state) {
    setFloatMode(0x21);  // the intro's main-thread mode; render sets the audio one itself
    const uint64_t blocks = uint64_t(std::ceil(kShowSeconds * 44100.0 / 512.0));
    for (auto _ : state) {
        std::vector<SongRender> renders;
        for (uint32_t n = 0; n < kRenders; ++n) {
            renders.push_back(renderSong(blocks));
            if (!renders.back().loaded) {
                state.SkipWithError("the song does not load");
                return;
            }
        }
        std::vector<double> totals, loads;
        double worstSingle = 0.0;
        for (const SongRender& r : renders) {
            double total = 0.0;
            for (double ms : r.blockMs) total += ms;
            totals.push_back(total);
            loads.push_back(r.loadMs);
            worstSingle = std::max(worstSingle, *std::max_element(r.blockMs.begin(), r.blockMs.end()));
        }
        std::sort(totals.begin(), totals.end());
        const double medianTotal = totals[totals.size() / 2];
        const std::vector<double> ms = cheapest(renders);
        const size_t worstAt = size_t(std::max_element(ms.begin(), ms.end()) - ms.begin());
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        state.counters["load_ms"] = *std::min_element(loads.begin(), loads.end());
        state.counters["song_cpu_s"] = medianTotal * 1e-3;
        state.counters["realtime_factor"] = double(blocks) * 512.0 / 44100.0 / (medianTotal * 1e-3);
        state.counters["first_of_budget"] = ms[0] / kBlockBudgetMs;
        state.counters["median_of_budget"] = quantile(sorted, 0.5);
        state.counters["p99_of_budget"] = quantile(sorted, 0.99);
        state.counters["worst_of_budget"] = sorted.back() / kBlockBudgetMs;
        state.counters["worst_block"] = double(worstAt);
        state.counters["worst_single_of_budget"] = worstSingle / kBlockBudgetMs;
    }
}
BENCHMARK(BM_WholeSong)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
