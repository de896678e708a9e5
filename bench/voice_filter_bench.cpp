// Cost of one voice's filtering per 512-frame block: the four filter slots,
// the band-limited noise, and the slots again after a long fading tail.
// The "ppm_of_block" counter is the CPU time per block in millionths of the
// block's real time (11.6 ms): 10000 would be 1 % of the audio thread.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "runtime/float_mode.h"
#include "runtime/random.h"
#include "voice/filter.h"
#include "voice/noise.h"
#include "runtime/params.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBlock = 512;
constexpr double kBlockSeconds = 512.0 / 44100.0;
constexpr uint32_t kModes[4] = {kRunLadder, kRunBiquad, kRunBandPass, kRunDelayedBiquad};

double threadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Call with the thread CPU time at the start of the timing loop.
void reportBudget(benchmark::State& state, double startSeconds) {
    const double perBlock = (threadSeconds() - startSeconds) / double(state.iterations());
    state.counters["ppm_of_block"] = perBlock / kBlockSeconds * 1e6;
}

struct VoiceBuffers {
    alignas(16) float left[kBlock];
    alignas(16) float right[kBlock];
    alignas(16) float sourceL[kBlock];
    alignas(16) float sourceR[kBlock];

    VoiceBuffers() {
        Random random;
        random.seed(1);
        for (uint32_t i = 0; i < kBlock; ++i) {
            sourceL[i] = random.range(-0.5f, 0.5f);
            sourceR[i] = random.range(-0.5f, 0.5f);
        }
    }
    void refill() {
        std::memcpy(left, sourceL, sizeof left);
        std::memcpy(right, sourceR, sizeof right);
    }
};

// Block-rate coefficients plus per-frame filtering, as the voice chain does.
void runSlots(FilterState* slots, VoiceBuffers& v) {
    for (uint32_t s = 0; s < 4; ++s) {
        setFilter(slots[s], kRate, 0.35f + 0.1f * s, 0.6f, s);
        runFilter(slots[s], kModes[s], v.left, v.right, kBlock);
    }
}

void BM_FourFilterSlots(benchmark::State& state) {
    setFloatMode(0x01);
    FilterState slots[4];
    VoiceBuffers v;
    const double start = threadSeconds();
    for (auto _ : state) {
        v.refill();
        runSlots(slots, v);
        benchmark::DoNotOptimize(v.left[kBlock - 1]);
    }
    reportBudget(state, start);
}
BENCHMARK(BM_FourFilterSlots);

void BM_BandLimitedNoise(benchmark::State& state) {
    setFloatMode(0x01);
    std::vector<float> table(65536);
    Random random;
    random.seed(2);
    for (float& value : table) value = random.range(-1.0f, 1.0f);
    FilterState hp, lp;
    NoiseState noise{};
    noise.hp = &hp;
    noise.lp = &lp;
    initNoise(noise);
    float params[kParamCount] = {};
    params[kNoiseLevel] = 0.8f;  // level
    params[kNoiseCentre] = 0.4f;  // band centre
    params[kNoiseWidth] = 0.2f;  // band half-width
    VoiceBuffers v;
    const double start = threadSeconds();
    for (auto _ : state) {
        setupNoise(noise, kRate, params, 1.0f, 0.625f);
        renderNoise(noise, table.data(), v.left, v.right, kBlock);
        benchmark::DoNotOptimize(v.left[kBlock - 1]);
    }
    reportBudget(state, start);
}
BENCHMARK(BM_BandLimitedNoise);

// The four slots after a minute of silence following loud input: with
// flush-to-zero (arg 1, as on the audio thread) this must cost the same as
// BM_FourFilterSlots; without it (arg 0) subnormal arithmetic shows.
void BM_FourFilterSlotsAfterTail(benchmark::State& state) {
    setFloatMode(state.range(0) ? 0x01 : 0x00);
    FilterState slots[4];
    VoiceBuffers v;
    v.refill();
    runSlots(slots, v);
    std::memset(v.sourceL, 0, sizeof v.sourceL);
    std::memset(v.sourceR, 0, sizeof v.sourceR);
    for (int block = 0; block < 5000; ++block) {
        v.refill();
        runSlots(slots, v);
    }
    const double start = threadSeconds();
    for (auto _ : state) {
        v.refill();
        runSlots(slots, v);
        benchmark::DoNotOptimize(v.left[kBlock - 1]);
    }
    reportBudget(state, start);
    setFloatMode(0x01);
}
BENCHMARK(BM_FourFilterSlotsAfterTail)->Arg(1)->Arg(0);

}  // namespace
