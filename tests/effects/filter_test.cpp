// Filter-based effects: the Reverb's tunings against textbook difference
// equations and its dry and wet ends, the FormantFilter's vowel table and
// pass-through, and the ThreeBandEq's three-frame delay, neutral and with one
// band open.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "effects/formant_filter.h"
#include "effects/reverb.h"
#include "effects/three_band_eq.h"
#include "tests/effects/effect_harness.h"
#include "runtime/params.h"

namespace {

// Reverb output from a double-precision model with the unit's tunings:
// lowpass-feedback combs c[n] = in[n - L] + f s[n - L], s[n] = d1 s[n - 1] +
// (1 - d1) c[n], on the mono sum; their sum through four allpasses per side,
// y[n] = -x[n] + 1.5 x[n - L] + 0.5 y[n - L]; then the width cross-mix.
void reverbModel(const std::vector<float>& inL, const std::vector<float>& inR, double feedback, double damp1,
                 double wet1, double wet2, std::vector<double>& outL, std::vector<double>& outR) {
    const size_t n = inL.size();
    std::vector<double> in(n), acc(n, 0.0);
    for (size_t i = 0; i < n; ++i) in[i] = (double(inL[i]) + inR[i]) * 0.015;
    for (int32_t length : {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617}) {
        std::vector<double> c(n, 0.0), store(n, 0.0);
        for (size_t i = 0; i < n; ++i) {
            if (i >= size_t(length)) c[i] = in[i - length] + feedback * store[i - length];
            store[i] = (i > 0 ? damp1 * store[i - 1] : 0.0) + (1.0 - damp1) * c[i];
            acc[i] += c[i];
        }
    }
    auto diffuse = [n](std::vector<double> x, std::initializer_list<size_t> lengths) {
        for (size_t length : lengths) {
            std::vector<double> y(n);
            for (size_t i = 0; i < n; ++i) {
                y[i] = -x[i];
                if (i >= length) y[i] += 1.5 * x[i - length] + 0.5 * y[i - length];
            }
            x = y;
        }
        return x;
    };
    const std::vector<double> accL = diffuse(acc, {556, 441, 341, 225});
    const std::vector<double> accR = diffuse(acc, {579, 464, 364, 248});
    outL.resize(n);
    outR.resize(n);
    for (size_t i = 0; i < n; ++i) {
        outL[i] = accL[i] * wet1 + accR[i] * wet2;
        outR[i] = accR[i] * wet1 + accL[i] * wet2;
    }
}

TEST(Reverb, WetOutputFollowsTheCombAndAllpassTunings) {
    TestUnit unit(5);
    std::vector<float> p = zeroParams();
    p[kReverbRoom] = 0.5f;   // feedback 0.84
    p[kReverbDamp] = 0.5f;   // damp1 = 0.2
    p[kReverbWet] = 1.0f;   // wet only: wet = 3
    p[kReverbWidth] = 0.5f;   // width: wet1 = 2.25, wet2 = 0.75
    std::vector<float> left = noise(6 * kTestBlock, 21), right = noise(6 * kTestBlock, 22);
    left.resize(16 * kTestBlock, 0.0f);
    right.resize(16 * kTestBlock, 0.0f);
    std::vector<double> refL, refR;
    reverbModel(left, right, 0.5f * 0.28f + 0.7f, 0.5f * 0.4f, 2.25, 0.75, refL, refR);
    unit.run(p, left, right);
    double peak = 0.0;
    for (double v : refL) peak = std::max(peak, std::fabs(v));
    ASSERT_GT(peak, 0.01);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_NEAR(left[i], refL[i], 1e-5 * peak) << "left frame " << i;
        ASSERT_NEAR(right[i], refR[i], 1e-5 * peak) << "right frame " << i;
    }
    // Nothing reaches the output before the shortest comb has come round.
    for (size_t i = 0; i < 1116; ++i) ASSERT_EQ(left[i], 0.0f) << i;
    EXPECT_NE(left[1116], 0.0f);
}

TEST(Reverb, BlockLengthsDoNotChangeTheSound) {
    // The unit splits blocks where its buffers wrap and takes four frames at
    // a time: blocks of odd lengths, single frames and the longest block
    // must all give the bits of 512-frame blocks.
    std::vector<float> p = zeroParams();
    p[kReverbRoom] = 0.9f;
    p[kReverbDamp] = 0.3f;
    p[kReverbWet] = 0.6f;
    p[kReverbWidth] = 0.7f;
    const std::vector<float> inL = noise(12 * kTestBlock, 51), inR = noise(12 * kTestBlock, 52);
    std::vector<float> refL = inL, refR = inR;
    TestUnit reference(5);
    reference.run(p, refL, refR);
    for (uint32_t block : {1u, 3u, 7u, 333u, 4096u}) {
        TestUnit unit(5);
        std::vector<float> left = inL, right = inR;
        unit.run(p, left, right, block);
        ASSERT_EQ(left, refL) << "blocks of " << block;
        ASSERT_EQ(right, refR) << "blocks of " << block;
    }
}

TEST(Reverb, NewUnitIsDryOnlyUntilTheShortestCombReturns) {
    // No comb has read back a written entry before frame 1,116: the output
    // is bus x (1 - P92) x 2 exactly.
    TestUnit unit(5);
    std::vector<float> p = zeroParams();
    p[kReverbRoom] = 0.7f;
    p[kReverbDamp] = 0.5f;
    p[kReverbWet] = 0.3f;
    p[kReverbWidth] = 0.8f;
    const std::vector<float> inL = noise(3 * kTestBlock, 41), inR = noise(3 * kTestBlock, 42);
    std::vector<float> left = inL, right = inR;
    unit.run(p, left, right);
    const float dry = (1.0f - 0.3f) * 2.0f;
    for (size_t i = 0; i < 1116; ++i) {
        ASSERT_EQ(left[i], inL[i] * dry) << i;
        ASSERT_EQ(right[i], inR[i] * dry) << i;
    }
    EXPECT_NE(left[1116], inL[1116] * dry);
}

TEST(FormantFilter, VowelSetIsHeldInsideTheTable) {
    const float p99[] = {0.0f, 0.2499f, 0.25f, 0.999f, 1.0f, 1.25f, 2.55f, 1e30f, NAN};
    const int expected[] = {0, 0, 1, 3, 4, 4, 4, 4, 0};  // 1.25 and up would be a sixth set and beyond
    for (size_t i = 0; i < std::size(p99); ++i) EXPECT_EQ(formantVowel(p99[i]), expected[i]) << p99[i];
}

TEST(FormantFilter, ZeroBlendLeavesTheBusUnchangedWhileTheResonatorRuns) {
    const std::vector<float> first = noise(kTestBlock, 61), second = noise(kTestBlock, 62);
    std::vector<float> p = zeroParams();
    p[kFormantVowel] = 0.5f;
    // Unit a: one block at blend 0, then a block at blend 1.
    TestUnit a(6);
    std::vector<float> left = first, right = first;
    a.run(p, left, right);
    EXPECT_EQ(left, first);
    EXPECT_EQ(right, first);
    p[kFormantBlend] = 1.0f;
    left = second;
    right = second;
    a.run(p, left, right);
    // Unit b: both blocks at blend 1. The second blocks must agree: the
    // history ran through the silent-looking first block.
    TestUnit b(6);
    std::vector<float> refL = first, refR = first;
    b.run(p, refL, refR);
    refL = second;
    refR = second;
    b.run(p, refL, refR);
    EXPECT_EQ(left, refL);
    EXPECT_NE(left, second);
}

TEST(ThreeBandEq, NeutralGainsDelayTheInputByThreeFrames) {
    TestUnit unit(7);
    std::vector<float> p = zeroParams();
    p[kEqLow] = p[kEqMid] = p[kEqHigh] = 0.5f;
    const std::vector<float> inL = noise(4 * kTestBlock, 81), inR = noise(4 * kTestBlock, 82, 0.25f);
    std::vector<float> left = inL, right = inR;
    unit.run(p, left, right);
    // low + (s3 - (high + low)) + high is s3 only up to rounding of the sums.
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(left[i], 0.0f, 1e-6f);
    for (size_t i = 3; i < inL.size(); ++i) {
        ASSERT_NEAR(left[i], inL[i - 3], 1e-6f) << i;
        ASSERT_NEAR(right[i], inR[i - 3], 1e-6f) << i;
    }
}

// Neutral gains cannot tell whether the high band is taken from the delayed
// input: any error there comes back out of the mid band and cancels. With the
// high band alone it does not: a tone well above the upper crossover must come
// out three frames late like everything else, which for 7,350 Hz (six frames
// a cycle) and 11,025 Hz (four) is half a cycle and three quarters of one.
TEST(ThreeBandEq, TheHighBandAloneIsAsLateAsTheOthers) {
    for (const double hz : {7350.0, 11025.0}) {
        TestUnit unit(7);
        std::vector<float> p = zeroParams();
        p[kEqHigh] = 0.5f;  // gain 1; low and mid closed
        std::vector<float> left(8 * kTestBlock), right(8 * kTestBlock);
        for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = float(std::sin(2.0 * M_PI * hz * double(i) / kTestRate));
        const std::vector<float> in = left;
        unit.run(p, left, right);
        // The output's regression on the input three frames earlier, once the
        // crossover filters have settled: about 1.1 for a delayed high band,
        // below 0.2 when the band skips the delay.
        double along = 0.0, energy = 0.0;
        for (size_t i = 2 * kTestBlock; i < in.size(); ++i) {
            along += double(left[i]) * in[i - 3];
            energy += double(in[i - 3]) * in[i - 3];
        }
        EXPECT_GT(along / energy, 0.9) << hz << " Hz";
        EXPECT_LT(along / energy, 1.3) << hz << " Hz";
        EXPECT_EQ(left, right) << hz << " Hz";
    }
}

}  // namespace
