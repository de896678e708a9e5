// SynthTables: fixed tables against their closed forms, random tables
// against their ranges, and the whole build against the pinned counter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "runtime/counter.h"
#include "runtime/math.h"
#include "runtime/random.h"
#include "voice/synth_tables.h"

namespace {

std::unique_ptr<SynthTables> buildWithCounter(uint64_t counter) {
    pinCounter(counter);
    auto tables = std::make_unique<SynthTables>();
    tables->sampleRate = 44100;
    buildSynthTables(*tables);
    unpinCounter();
    return tables;
}

TEST(SynthTables, NoteFrequenciesAreTheRoundedRunningProduct) {
    const auto tables = buildWithCounter(1);
    // Not 440: the running product in double drifts by 1.5 mHz by note 69.
    EXPECT_EQ(tables->noteFrequency[69], 440.00146f);
    EXPECT_EQ(tables->noteFrequency[0], 8.175800049786536f);
    for (int n = 1; n < 128; ++n) {
        const double ratio = double(tables->noteFrequency[n]) / double(tables->noteFrequency[n - 1]);
        EXPECT_NEAR(ratio, 1.0594631433486938, 1e-6) << "note " << n;
    }
}

TEST(SynthTables, SineAndDecayFollowTheirFormulas) {
    const auto tables = buildWithCounter(1);
    EXPECT_EQ(tables->sine[0], 0.0f);
    EXPECT_NEAR(tables->sine[1024], 1.0f, 1e-6f);
    EXPECT_NEAR(tables->sine[2048], 0.0f, 1e-6f);
    EXPECT_NEAR(tables->sine[3072], -1.0f, 1e-6f);
    EXPECT_NEAR(tables->sine[128], std::sin(M_PI / 16.0), 1e-6);
    double worst = 0.0;
    for (uint32_t i = 0; i < kTableSize; ++i)
        worst = std::fmax(worst, std::fabs(tables->sine[i] - std::sin(2.0 * M_PI * i / 4096.0)));
    EXPECT_LT(worst, 2e-6);

    EXPECT_EQ(tables->decay[0], 1.0f);
    for (uint32_t i : {1u, 819u, 2048u, 4095u})
        EXPECT_NEAR(tables->decay[i], std::exp(-double(i) * 0.001220703125), 1e-6 * std::exp(-double(i) / 819.2) + 1e-7)
            << "entry " << i;
}

TEST(SynthTables, RandomTablesStayInTheirRanges) {
    const auto tables = buildWithCounter(12345);
    double noiseSum = 0.0;
    float noiseMin = 2.0f, noiseMax = -2.0f;
    for (float x : tables->noiseTable) {
        noiseSum += x;
        noiseMin = std::fmin(noiseMin, x);
        noiseMax = std::fmax(noiseMax, x);
    }
    // 10923 * 0.00018311106 is 2.00013, so the top reaches 1.00016.
    EXPECT_GE(noiseMin, -1.0f);
    EXPECT_LE(noiseMax, 1.0002f);
    EXPECT_LT(noiseMin, -0.99f);  // spans the whole range
    EXPECT_GT(noiseMax, 0.99f);
    EXPECT_LT(std::fabs(noiseSum / kNoiseTableSize), 0.02);

    for (float x : tables->stepValues) {
        EXPECT_GE(x, 0.0f);
        EXPECT_LE(x, 1.0f);
    }
    for (float x : tables->phaseSines) {
        EXPECT_GE(x, -1.0f);
        EXPECT_LE(x, 1.0f);
    }
}

TEST(SynthTables, SameCounterSameTablesOtherCounterOtherNoise) {
    const auto a = buildWithCounter(777);
    const auto b = buildWithCounter(777);
    const auto c = buildWithCounter(778);
    EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof(SynthTables)), 0);
    EXPECT_NE(std::memcmp(a->noiseTable, c->noiseTable, sizeof(a->noiseTable)), 0);
    EXPECT_NE(std::memcmp(a->phaseSines, c->phaseSines, sizeof(a->phaseSines)), 0);
    EXPECT_EQ(std::memcmp(a->noteFrequency, c->noteFrequency, sizeof(a->noteFrequency)), 0);
}

TEST(SynthTables, DrawOrderInterleavesPhaseSinesThenStepsThenNoise) {
    // A generator seeded like the build reproduces each table from its
    // position in the draw sequence.
    const auto tables = buildWithCounter(4242);
    Random random;
    random.seed(4242);
    EXPECT_EQ(tables->phaseSines[0], sinRad(random.range(0.0f, 6.2831855f)));
    for (uint32_t i = 1; i < kTableSize; ++i) random.next();
    EXPECT_EQ(tables->stepValues[0], random.nextUnit());
    for (uint32_t i = 1; i < kStepValueCount; ++i) random.next();
    EXPECT_EQ(tables->noiseTable[0], random.nextUnit() * 10923.0f * 0.00018311106f - 0.999969482421875f);
}

}  // namespace
