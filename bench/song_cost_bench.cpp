// What the whole shipped song costs on one core, as the show renders it:
// a fresh Synth loads the song, renders the blocks of the loading screen
// (nothing playing: the effect units prepare ahead, one instrument a block)
// and then the show's 115 s block by block from start(0.0), each block timed
// in the thread's CPU time. With argument 0 the song starts right after
// loading, as the tools start it, and the first blocks do that work. Counters:
//   load_ms            prepareSynth (init, tables, song, effect units)
//   idle_worst_of_budget  the dearest loading-screen block (argument 1)
//   song_cpu_s         CPU seconds of all blocks together
//   realtime_factor    seconds of music per CPU second
//   first_of_budget    the first block, as a share of the 11.61 ms it lasts
//   median_of_budget, p99_of_budget, worst_of_budget: over every block
//   worst_block        the index of the worst block (0 is the first)
// Run with --benchmark_repetitions=5 for medians over five whole renders.
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

void BM_WholeSong(benchmark::State& state) {
    setFloatMode(0x21);  // the intro's main-thread mode; render sets the audio one itself
    const uint64_t blocks = uint64_t(std::ceil(kShowSeconds * 44100.0 / 512.0));
    std::vector<double> ms(blocks);
    for (auto _ : state) {
        pinCounter(7);
        auto synth = std::make_unique<Synth>();
        const double l0 = threadCpuMs();
        if (!prepareSynth(*synth, kSong, kSongSize)) {
            state.SkipWithError("the song does not load");
            return;
        }
        const double loadMs = threadCpuMs() - l0;
        double idleWorst = 0.0;
        const uint32_t idleBlocks = state.range(0) != 0 ? synth->instrumentCount.load() : 0;
        for (uint32_t b = 0; b < idleBlocks; ++b) {
            const int16_t* out = nullptr;
            const double c0 = threadCpuMs();
            renderBlock(*synth, &out);
            idleWorst = std::max(idleWorst, threadCpuMs() - c0);
        }
        start(*synth, 0.0f);
        double total = 0.0;
        for (uint64_t b = 0; b < blocks; ++b) {
            const int16_t* out = nullptr;
            const double c0 = threadCpuMs();
            renderBlock(*synth, &out);
            const double c1 = threadCpuMs();
            benchmark::DoNotOptimize(out);
            ms[b] = c1 - c0;
            total += c1 - c0;
        }
        const double first = ms[0];
        const size_t worstAt = size_t(std::max_element(ms.begin(), ms.end()) - ms.begin());
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        state.counters["load_ms"] = loadMs;
        if (idleBlocks > 0) state.counters["idle_worst_of_budget"] = idleWorst / kBlockBudgetMs;
        state.counters["song_cpu_s"] = total * 1e-3;
        state.counters["realtime_factor"] = double(blocks) * 512.0 / 44100.0 / (total * 1e-3);
        state.counters["first_of_budget"] = first / kBlockBudgetMs;
        state.counters["median_of_budget"] = quantile(sorted, 0.5);
        state.counters["p99_of_budget"] = quantile(sorted, 0.99);
        state.counters["worst_of_budget"] = sorted.back() / kBlockBudgetMs;
        state.counters["worst_block"] = double(worstAt);
        unpinCounter();
    }
}
BENCHMARK(BM_WholeSong)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
