// Cost of one 512-frame block of each effect type against the 11.6 ms that
// the block lasts at 44.1 kHz (counter "budget_ppm": CPU time per block in
// millionths of the block's duration, so 10k = 1 % and 1M = all of it),
// on a loud bus and deep in a fading tail (the cost must not climb there),
// plus the two costs that are not per block: the waveshaper's curve rebuild
// on a change of P84, and creating a unit.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/float_mode.h"
#include "effects/effect_registry.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBlock = 512;
constexpr double kBlockSeconds = double(kBlock) / kRate;  // 11.61 ms

// Middle-of-the-road settings: 0.5 for every parameter a registered type
// reads (so a new type is measured as soon as it has its row), and the values
// the shipped songs lean towards where they differ.
std::vector<float> typicalParams() {
    std::vector<float> p(kParamCount, 0.0f);
    for (int type = 1; type <= kEffectTypeCount; ++type) {
        const EffectType& row = *effectType(type);
        for (uint32_t k = 0; k < row.paramCount; ++k) p[row.params[k]] = 0.5f;
    }
    p[kChorusRate] = 0.3f;
    p[kDelayLeftTime] = 0.3f;
    p[kDelayRightTime] = 0.4f;
    p[kReverbWet] = 0.3f;
    p[kFlangerSpeed] = 0.1f;
    p[kFlangerTop] = 0.8f;
    p[kFormantBlend] = 0.7f;
    p[kEqLow] = 0.6f;
    p[kEqHigh] = 0.7f;
    return p;
}

// Every registered type, for the benchmarks' argument lists.
std::vector<int64_t> allTypes() {
    std::vector<int64_t> types;
    for (int type = 1; type <= kEffectTypeCount; ++type) types.push_back(type);
    return types;
}

std::vector<float> noiseBlock(uint32_t seed) {
    std::vector<float> out(kBlock);
    for (float& v : out) {
        seed = seed * 1664525u + 1013904223u;
        v = float(seed >> 8) / 8388608.0f - 1.0f;
    }
    return out;
}

// Thread CPU time in seconds: other processes on a shared machine do not
// count against the unit.
double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Measures the timed loop `body` runs and reports CPU time per iteration in
// millionths of one block's duration.
template <class Body>
void timeAgainstBudget(benchmark::State& state, Body body) {
    const double start = cpuSeconds();
    for (auto _ : state) body();
    const double perIteration = (cpuSeconds() - start) / double(state.iterations());
    state.counters["budget_ppm"] = perIteration / kBlockSeconds * 1e6;
}

// Args: type, tail (0: loud noise every block; 1: silence after one loud
// block and 3,000 quiet ones, about 35 s of fading).
void BM_EffectBlock(benchmark::State& state) {
    setFloatMode(0x01);  // the render's mode
    const int type = int(state.range(0));
    const bool tail = state.range(1) != 0;
    state.SetLabel(std::string(effectType(type)->name) + (tail ? " tail" : " loud"));
    const std::vector<float> params = typicalParams();
    EffectUnit* unit = effectCreateFor(type)();
    const EffectProcessFn process = effectProcessFor(type);
    const std::vector<float> loudL = noiseBlock(1), loudR = noiseBlock(2);
    const std::vector<float> quiet(kBlock, 0.0f);
    std::vector<float> left = loudL, right = loudR;
    process(unit, kRate, params.data(), left.data(), right.data(), kBlock);
    if (tail) {
        for (int i = 0; i < 3000; ++i) {
            left = quiet;
            right = quiet;
            process(unit, kRate, params.data(), left.data(), right.data(), kBlock);
        }
    }
    const std::vector<float>& inL = tail ? quiet : loudL;
    const std::vector<float>& inR = tail ? quiet : loudR;
    timeAgainstBudget(state, [&] {
        left = inL;
        right = inR;
        process(unit, kRate, params.data(), left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    });
    effectDestroyFor(type)(unit);
}
BENCHMARK(BM_EffectBlock)->ArgsProduct({allTypes(), {0, 1}})->Unit(benchmark::kMicrosecond);

// A block whose P84 differs from the last one: the 32,768-entry curve is rebuilt.
void BM_WaveshaperCurveRebuild(benchmark::State& state) {
    setFloatMode(0x01);
    std::vector<float> params = typicalParams();
    EffectUnit* unit = effectCreateFor(1)();
    const EffectProcessFn process = effectProcessFor(1);
    std::vector<float> left = noiseBlock(3), right = noiseBlock(4);
    int flip = 0;
    timeAgainstBudget(state, [&] {
        params[kShaperAmount] = (flip ^= 1) ? 0.3f : 0.6f;
        process(unit, kRate, params.data(), left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
    });
    effectDestroyFor(1)(unit);
}
BENCHMARK(BM_WaveshaperCurveRebuild)->Unit(benchmark::kMicrosecond);

// Create and destroy: the one allocation the audio path makes, on the first
// block whose slot parameter names the type.
void BM_EffectCreate(benchmark::State& state) {
    const int type = int(state.range(0));
    state.SetLabel(effectType(type)->name);
    timeAgainstBudget(state, [&] {
        EffectUnit* unit = effectCreateFor(type)();
        benchmark::DoNotOptimize(unit);
        effectDestroyFor(type)(unit);
    });
}
BENCHMARK(BM_EffectCreate)->DenseRange(1, kEffectTypeCount)->Unit(benchmark::kMicrosecond);

}  // namespace
