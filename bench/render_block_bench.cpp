// Cost of renderBlock against the 11.6 ms that one 512-frame block lasts at
// 44.1 kHz: the song in its busiest part (the final statement, where all
// ten instruments play: unison chords through delay and reverb, drums, lead,
// risers and impacts), and a worst case with every voice of ten instruments sounding ten unison copies.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

#include "data/song.h"
#include "runtime/counter.h"
#include "synth/song_encoder.h"
#include "synth/synth.h"
#include "runtime/params.h"

namespace {

constexpr double kBlockBudgetMs = 512.0 / 44100.0 * 1000.0;  // 11.61 ms

double threadCpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// Times every block, then reports median and worst in ms and as a share of
// the budget (1.0 = a block takes as long as it lasts). The thread's CPU
// time is the measure: on a shared machine wall time also counts the time
// the thread was not scheduled; the wall-clock worst is reported beside it.
void timeBlocks(benchmark::State& state, Synth& synth, float restartAt, float endAt) {
    // The first block makes every effect unit (megabytes of delay memory to
    // zero); it is reported on its own, then a few blocks warm the caches.
    const int16_t* first = nullptr;
    const double f0 = threadCpuMs();
    renderBlock(synth, &first);
    state.counters["first_block_ms"] = threadCpuMs() - f0;
    for (int i = 0; i < 20; ++i) renderBlock(synth, &first);

    std::vector<double> ms;
    ms.reserve(1 << 16);
    double wallWorst = 0.0;
    for (auto _ : state) {
        const int16_t* out = nullptr;
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = threadCpuMs();
        renderBlock(synth, &out);
        const double c1 = threadCpuMs();
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(out);
        ms.push_back(c1 - c0);
        wallWorst = std::max(wallWorst, std::chrono::duration<double, std::milli>(t1 - t0).count());
        if (synth.time.load() >= endAt) {
            state.PauseTiming();
            start(synth, restartAt);
            state.ResumeTiming();
        }
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double worst = ms.back();
    state.counters["median_ms"] = median;
    state.counters["worst_ms"] = worst;
    state.counters["median_of_budget"] = median / kBlockBudgetMs;
    state.counters["worst_of_budget"] = worst / kBlockBudgetMs;
    state.counters["wall_worst_ms"] = wallWorst;
}

std::unique_ptr<Synth> loadedSynth(const uint8_t* data, uint32_t size) {
    pinCounter(1);
    auto synth = std::make_unique<Synth>();
    init(*synth);
    setSampleRate(*synth, 44100);
    loadSong(*synth, data, size, 0.0f);
    synth->masterVolume = 0.4f;
    return synth;
}

void BM_SongBusiestPart(benchmark::State& state) {
    auto synth = loadedSynth(kSong, kSongSize);
    // The final statement: 101.2 s to the show's end at 115 s.
    start(*synth, 101.0f);
    timeBlocks(state, *synth, 101.0f, 115.0f);
}
BENCHMARK(BM_SongBusiestPart)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// Ten instruments, each holding 16 notes with ten unison copies, the noise
// band and all four filter slots on, and two effects: far beyond the song.
void BM_AllVoicesTenCopiesAllFilters(benchmark::State& state) {
    SongSource song;
    song.tempo = 115;
    for (int i = 0; i < 10; ++i) {
        InstrumentBytes p{};
        p[kVoiceLevel] = 50, p[kOscPartials] = 60, p[kOscLevel] = 50, p[kOscBalance] = 50, p[kOscOctave] = 50, p[kVoicePolyphony] = 100, p[kOscUnison] = 100, p[kOscUnisonSpread] = 40;
        p[kNoiseLevel] = 20, p[kNoiseCentre] = 50, p[kNoiseWidth] = 30;                // filtered noise
        p[kLowPassOn] = 100, p[kLowPassCutoff] = 50, p[kHighPassOn] = 100, p[kHighPassCutoff] = 10;  // low-pass, high-pass
        p[kBandPassOn] = 100, p[kBandPassCutoff] = 50, p[kNotchOn] = 100, p[kNotchCutoff] = 70;
        p[kFx0Type] = 50, p[kFx1Type] = 20, p[kDelayLeftTime] = 30, p[kDelayRightTime] = 40;    // reverb, delay
        song.instruments.push_back(p);
        TrackWriter track;
        for (int n = 0; n < 16; ++n) track.add(0, uint8_t(36 + 3 * n), 80);
        song.tracks.push_back(track.events);
    }
    const std::vector<uint8_t> bytes = encodeSong(song);
    auto synth = loadedSynth(bytes.data(), uint32_t(bytes.size()));
    start(*synth, 0.0f);
    timeBlocks(state, *synth, 0.0f, 1e9f);
}
BENCHMARK(BM_AllVoicesTenCopiesAllFilters)->Iterations(300)->Unit(benchmark::kMicrosecond);

}  // namespace
