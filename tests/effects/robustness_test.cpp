// All effect types together, as the registry lists them: which types have
// rows, every type reading only the parameters its row names, every type over
// the whole range of those parameters (and far beyond), decaying tails that
// must not leave denormals behind or grow slower, and creation when the heap
// refuses. A new type is swept by adding its row.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "runtime/counter.h"
#include "runtime/float_mode.h"
#include "effects/flanger.h"
#include "effects/formant_filter.h"
#include "effects/stereo_delay.h"
#include "tests/effects/effect_harness.h"
#include "tests/support/sanitizer_build.h"
#include "runtime/params.h"

namespace {

bool isDenormal(float x) {
    return x != 0.0f && std::fpclassify(x) == FP_SUBNORMAL;
}

bool isDenormal(double x) {
    return x != 0.0 && std::fpclassify(x) == FP_SUBNORMAL;
}

// Restores round-to-nearest with flush-to-zero (the render's mode) on exit.
struct FloatMode {
    explicit FloatMode(uint32_t flags) { setFloatMode(flags); }
    ~FloatMode() { setFloatMode(0x01); }
};

TEST(EffectRegistry, OnlyRegisteredTypesHaveEntries) {
    // Slot parameters round 10 x P, so bytes above 105 name types 11..26.
    ASSERT_GE(kEffectTypeCount, 7);
    for (int type = -3; type <= 300; ++type) {
        const bool valid = type >= 1 && type <= kEffectTypeCount;
        EXPECT_EQ(effectType(type) != nullptr, valid) << type;
        EXPECT_EQ(effectCreateFor(type) != nullptr, valid) << type;
        EXPECT_EQ(effectDestroyFor(type) != nullptr, valid) << type;
        EXPECT_EQ(effectProcessFor(type) != nullptr, valid) << type;
    }
}

TEST(EffectRegistry, EachTypeReadsOnlyTheParametersItsRowNames) {
    // The sweep below and the benchmarks set only the parameters a row
    // names, so a unit that reads another one would be tested with it at 0.
    // Two units, one with every other parameter at 0 and one with them all
    // over the range, must sound the same.
    FloatMode mode(0x01);
    for (int type = 1; type <= kEffectTypeCount; ++type) {
        const EffectType& row = *effectType(type);
        pinCounter(11);  // units that draw random numbers draw the same ones
        TestUnit quiet(type), busy(type);
        unpinCounter();
        std::vector<float> own = zeroParams(), all(kParamCount);
        uint32_t s = uint32_t(type) * 104729u;
        for (float& v : all) v = float((s = s * 1664525u + 1013904223u) >> 24) / 100.0f;
        for (uint32_t k = 0; k < row.paramCount; ++k) own[row.params[k]] = all[row.params[k]] = 0.4f + 0.1f * float(k);
        for (int block = 0; block < 20; ++block) {
            std::vector<float> left = noise(kTestBlock, block), right = noise(kTestBlock, block + 100);
            std::vector<float> left2 = left, right2 = right;
            quiet.run(own, left, right);
            busy.run(all, left2, right2);
            ASSERT_EQ(left, left2) << row.name << " reads a parameter its row does not name (block " << block << ")";
            ASSERT_EQ(right, right2) << row.name << " reads a parameter its row does not name (block " << block << ")";
        }
    }
}

// Deterministic parameter values over 0..2.55 (bytes 0..255), with the
// edges 0, 1 and 2.55 turning up often.
float sweepValue(uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    switch (s >> 29) {
        case 0: return 0.0f;
        case 1: return 1.0f;
        case 2: return 2.55f;
        default: return float((s >> 8) % 256) / 100.0f;
    }
}

TEST(EffectRobustness, EveryTypeStaysFiniteAndBoundedOverTheParameterRangeAndBeyond) {
    FloatMode mode(0x01);
    for (int type = 1; type <= kEffectTypeCount; ++type) {
        const EffectType& row = *effectType(type);
        TestUnit unit(type);
        std::vector<float> p = zeroParams();
        uint32_t s = uint32_t(type) * 7919u;
        float peak = 0.0f;
        // A parameter change every block, on a full-scale noise bus with
        // quiet stretches: delays, sweeps, curves and tables jump around.
        for (int block = 0; block < 300; ++block) {
            for (uint32_t k = 0; k < row.paramCount; ++k) p[row.params[k]] = sweepValue(s);
            std::vector<float> left = noise(kTestBlock, block, block % 5 == 4 ? 0.0f : 1.0f);
            std::vector<float> right = noise(kTestBlock, block + 500, block % 5 == 4 ? 0.0f : 1.0f);
            unit.run(p, left, right);
            for (uint32_t i = 0; i < kTestBlock; ++i) {
                ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i]))
                    << "type " << type << " block " << block << " frame " << i;
                peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
            }
        }
        // The loudest settings (EQ gain 169 at 2.55, chorus taps of 1.785,
        // echoes that never fade) stay far below this.
        EXPECT_LT(peak, 2000.0f) << "type " << type;
        // Values no song byte can hold: gains grow with them, so only NaN is
        // refused, but every index must stay inside its buffer (the
        // sanitizer builds check that).
        for (float value : {3.0f, 10.0f, 1000.0f, 1.0e6f}) {
            std::vector<float> huge(kParamCount, value);
            std::vector<float> left = noise(kTestBlock, 1, 0.5f), right = noise(kTestBlock, 2, 0.5f);
            unit.run(huge, left, right);
            for (uint32_t i = 0; i < kTestBlock; ++i)
                ASSERT_FALSE(std::isnan(left[i]) || std::isnan(right[i])) << "type " << type << " value " << value;
        }
    }
}

template <class T, size_t N>
int countDenormals(const T (&values)[N]) {
    int n = 0;
    for (const T& v : values) n += isDenormal(v);
    return n;
}

template <class T, size_t N>
bool allZero(const T (&values)[N]) {
    for (const T& v : values)
        if (v != T(0)) return false;
    return true;
}

// Loud noise for a while, then silence until well past the point where the
// fading state has gone through the denormal range; `check` looks at the
// unit's memories after every quiet block, while values pass through it.
template <class Check>
void runTail(TestUnit& unit, const std::vector<float>& p, int loudBlocks, int quietBlocks, Check check) {
    for (int block = 0; block < loudBlocks + quietBlocks; ++block) {
        const float level = block < loudBlocks ? 1.0f : 0.0f;
        std::vector<float> left = noise(kTestBlock, block, level), right = noise(kTestBlock, block + 99, level);
        unit.run(p, left, right);
        if (block >= loudBlocks) check(block);
    }
}

TEST(EffectDenormals, DelayAndFlangerMemoriesStayNormalEvenWithoutFlushToZero) {
    // These two flush tiny values themselves, so they stay clean whatever
    // the thread's float mode.
    FloatMode mode(0x00);
    {
        TestUnit unit(2);
        std::vector<float> p = zeroParams();
        p[kDelayLeftTime] = 0.0f;   // one frame
        p[kDelayRightTime] = 0.01f;  // 441 frames: each entry halves every 441 frames
        p[kDelayFeedback] = 0.5f;
        const StereoDelay& d = unit.state<StereoDelay>();
        runTail(unit, p, 2, 160, [&](int block) {
            ASSERT_EQ(countDenormals(d.left.buffer) + countDenormals(d.right.buffer), 0) << block;
        });
        EXPECT_TRUE(allZero(d.left.buffer));
        EXPECT_TRUE(allZero(d.right.buffer));
    }
    {
        TestUnit unit(4);
        std::vector<float> p = zeroParams();
        p[kFlangerSpeed] = 0.01f;
        p[kFlangerTop] = 0.8f;
        p[kFlangerDepth] = 0.3f;
        p[kFlangerFeedback] = 0.6f;
        const Flanger& f = unit.state<Flanger>();
        runTail(unit, p, 4, 120, [&](int block) {
            ASSERT_EQ(countDenormals(f.leftHistory) + countDenormals(f.rightHistory), 0) << block;
        });
        EXPECT_TRUE(allZero(f.leftHistory));
        EXPECT_TRUE(allZero(f.rightHistory));
    }
}

TEST(EffectDenormals, FormantHistoryStaysNormalDespiteExtendedPrecision) {
    // The resonator's x87 arithmetic ignores the SSE flush-to-zero mode, so
    // this holds only because the history flushes itself. At the bottom of
    // the double range the flushing keeps a harmless ripple of normal values
    // near 1e-305 alive; the output is exact silence by then.
    FloatMode mode(0x01);
    TestUnit unit(6);
    std::vector<float> p = zeroParams();
    p[kFormantVowel] = 0.5f;
    p[kFormantBlend] = 1.0f;
    const FormantFilter& f = unit.state<FormantFilter>();
    bool sawTinyTail = false;
    runTail(unit, p, 4, 1500, [&](int block) {
        ASSERT_EQ(countDenormals(f.leftHistory) + countDenormals(f.rightHistory), 0) << block;
        if (std::fabs(f.leftHistory[0]) < 1e-300) sawTinyTail = true;
    });
    EXPECT_TRUE(sawTinyTail);  // the tail did reach the bottom of the double range
    std::vector<float> left(kTestBlock, 0.0f), right(kTestBlock, 0.0f);
    unit.run(p, left, right);
    for (float y : left) ASSERT_EQ(y, 0.0f);  // not denormal: exactly silent
}

// Thread CPU time of one call, in microseconds.
template <class F>
double cpuMicros(F&& f) {
    timespec a, b;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    f();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    return double(b.tv_sec - a.tv_sec) * 1e6 + double(b.tv_nsec - a.tv_nsec) * 1e-3;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

TEST(EffectDenormals, BlockCostDoesNotClimbAsTheTailFades) {
    // Deep in a tail, values that reach the bottom of their range must not
    // take the processor's slow paths: the median block deep in the tail
    // costs no more than three loud ones (a slow path costs ten times more).
    FloatMode mode(0x01);
    for (int type = 1; type <= kEffectTypeCount; ++type) {
        const EffectType& row = *effectType(type);
        TestUnit unit(type);
        std::vector<float> p = zeroParams();
        for (uint32_t k = 0; k < row.paramCount; ++k) p[row.params[k]] = 0.5f;
        p[kFormantBlend] = 1.0f;  // formant: resonator only
        std::vector<double> loud, tail;
        for (int block = 0; block < 1400; ++block) {
            const float level = block < 40 ? 1.0f : 0.0f;
            std::vector<float> left = noise(kTestBlock, block, level), right = noise(kTestBlock, block + 7, level);
            const double us = cpuMicros([&] { unit.run(p, left, right); });
            if (block >= 10 && block < 40) loud.push_back(us);
            if (block >= 1370) tail.push_back(us);
        }
        EXPECT_LT(median(tail), 3.0 * median(loud) + 20.0)
            << "type " << type << ": loud " << median(loud) << " us, tail " << median(tail) << " us";
    }
}

// Caps this process's address space just above what is in use and tries to
// create the multi-megabyte units; returns 0 when every create says no with
// null (instead of writing through a failed block).
int createUnderAddressCap() {
    FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) return 3;
    std::fclose(statm);
    const rlim_t limit = rlim_t(pages) * 4096 + (1u << 18);
    const rlimit cap{limit, limit};
    if (setrlimit(RLIMIT_AS, &cap) != 0) return 4;
    for (int type : {2, 3, 5}) {  // 1.5 MB, 4.6 MB, 0.7 MB
        if (effectCreateFor(type)() != nullptr) return 10 + type;
    }
    return 0;
}

TEST(EffectRobustness, CreateReturnsNullWhenTheHeapRefuses) {
    if (kSanitizerBuild) GTEST_SKIP() << "address-space limits do not mix with sanitizer shadow memory";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(createUnderAddressCap()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
