// Delay-based effects: StereoDelay's echoes and one-frame minimum, and the
// Chorus's sweep limits and three taps in series per channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "runtime/counter.h"
#include "effects/chorus.h"
#include "effects/delay_line.h"
#include "effects/stereo_delay.h"
#include "runtime/params.h"
#include "tests/effects/effect_harness.h"

namespace {

TEST(StereoDelay, EchoesRepeatAtEachChannelsTimeWithAOneFrameMinimum) {
    TestUnit unit(2);
    std::vector<float> p = zeroParams();
    p[kDelayLeftTime] = 0.0f;   // clamped to one frame
    p[kDelayRightTime] = 0.01f;  // 0.01 x 1000 = 10 ms in single precision = 441 frames
    p[kDelayFeedback] = 0.5f;
    std::vector<float> left = impulse(1000), right = impulse(1000);
    unit.run(p, left, right);
    // y = x + w, w[n] = g (w[n - L] + x[n]): 1 + g at once, then g^2, g^3, ...
    EXPECT_EQ(unit.state<StereoDelay>().left.length, 1u);
    EXPECT_FLOAT_EQ(left[0], 1.5f);
    EXPECT_FLOAT_EQ(left[1], 0.25f);
    EXPECT_FLOAT_EQ(left[2], 0.125f);
    EXPECT_FLOAT_EQ(right[0], 1.5f);
    EXPECT_EQ(right[1], 0.0f);
    EXPECT_EQ(right[440], 0.0f);
    EXPECT_FLOAT_EQ(right[441], 0.25f);
    EXPECT_FLOAT_EQ(right[882], 0.125f);
    // 500 ms = 22,050 frames across many blocks; a feedback above 1 is held
    // at 1, so the echoes neither fade nor grow (2.55 would reach 10^80).
    p[kDelayLeftTime] = 0.5f;
    p[kDelayFeedback] = 2.55f;
    TestUnit longer(2);
    left = impulse(44200);
    right = impulse(44200);
    longer.run(p, left, right);
    EXPECT_EQ(left[22049], 0.0f);
    EXPECT_FLOAT_EQ(left[22050], 1.0f);
    EXPECT_FLOAT_EQ(left[44100], 1.0f);
}

TEST(Chorus, DelaysStayWithinOneToTenMilliseconds) {
    for (float depth : {0.0f, 0.3f, 1.0f, 2.55f, 1000.0f}) {
        pinCounter(uint64_t(depth * 1000.0f) + 17);
        TestUnit unit(3);
        unpinCounter();
        std::vector<float> p = zeroParams();
        p[kChorusRate] = 1.0f;  // 50 rad/s: the LFOs sweep full circles within the run
        p[kChorusDepth] = depth;
        p[kChorusLevel] = 0.5f;
        uint32_t shortest = kDelayLineCapacity, longest = 0;
        for (int block = 0; block < 200; ++block) {
            std::vector<float> left = noise(kTestBlock, block), right = noise(kTestBlock, block + 1000);
            unit.run(p, left, right);
            for (const DelayLine& line : unit.state<Chorus>().lines) {
                shortest = std::min(shortest, line.length);
                longest = std::max(longest, line.length);
            }
        }
        EXPECT_GE(shortest, 44u) << "depth " << depth;  // 1 ms at 44,100 Hz
        EXPECT_LE(longest, 441u) << "depth " << depth;  // 10 ms
        EXPECT_EQ(longest, depth == 0.0f ? 44u : (depth >= 1.0f ? 441u : longest)) << "depth " << depth;
    }
}

TEST(Chorus, StillLfosMakeThreeTapDelaysInSeriesPerChannel) {
    // P85 = 0: the phases never move, so each line keeps one delay and a
    // channel is the cascade (1 + g z^-a)(1 + g z^-b)(1 + g z^-c) of its
    // three lines (left 0, 2, 4; right 1, 3, 5), g = 0.7 x P98. A new unit
    // therefore passes the input unchanged until its shortest delay is up.
    pinCounter(777);
    TestUnit unit(3);
    unpinCounter();
    std::vector<float> p = zeroParams();
    p[kChorusDepth] = 1.0f;
    p[kChorusLevel] = 0.6f;
    const std::vector<float> inL = noise(6 * kTestBlock, 8), inR = noise(6 * kTestBlock, 9);
    std::vector<float> left = inL, right = inR;
    unit.run(p, left, right);
    const double g = 0.6f * 0.7f;
    auto cascade = [g](const std::vector<float>& x, std::initializer_list<uint32_t> lengths) {
        std::vector<double> y(x.begin(), x.end());
        for (uint32_t length : lengths) {
            std::vector<double> next = y;
            for (size_t i = length; i < y.size(); ++i) next[i] += g * y[i - length];
            y = next;
        }
        return y;
    };
    const DelayLine* lines = unit.state<Chorus>().lines;
    const std::vector<double> refL = cascade(inL, {lines[0].length, lines[2].length, lines[4].length});
    const std::vector<double> refR = cascade(inR, {lines[1].length, lines[3].length, lines[5].length});
    for (size_t i = 0; i < inL.size(); ++i) {
        ASSERT_NEAR(left[i], refL[i], 1e-5) << "left frame " << i;
        ASSERT_NEAR(right[i], refR[i], 1e-5) << "right frame " << i;
    }
    const uint32_t firstL = std::min({lines[0].length, lines[2].length, lines[4].length});
    for (uint32_t i = 0; i < firstL; ++i) ASSERT_EQ(left[i], inL[i]) << i;
}

}  // namespace

// The feedback line against its frame-by-frame definition, for short lines
// that wrap inside a block (down to one frame, where every frame reads the
// entry the previous one wrote), odd block lengths, and a gain that drives
// the stored values into the denormal range, where they must become +0.
TEST(DelayLine, FeedbackModeFollowsItsDefinitionFrameByFrame) {
    for (uint32_t length : {1u, 2u, 3u, 5u, 7u, 600u}) {
        for (float g : {0.5f, 3e-39f}) {
            auto line = std::make_unique<DelayLine>();
            initDelayLine(*line, false);
            line->length = length;
            std::vector<float> model(length, 0.0f);
            uint32_t at = 0;
            for (uint32_t block : {13u, 512u, 1u, 6u}) {
                std::vector<float> samples = noise(block, 7 + block);
                std::vector<float> expected(block);
                for (uint32_t i = 0; i < block; ++i) {
                    float w = (1.0f * model[at] + samples[i]) * g;
                    if (std::fpclassify(w) == FP_SUBNORMAL || w == 0.0f) w = 0.0f;
                    model[at] = w;
                    expected[i] = w + samples[i];
                    at = at + 1 == length ? 0 : at + 1;
                }
                processDelayLine(*line, samples.data(), block, g);
                for (uint32_t i = 0; i < block; ++i)
                    ASSERT_EQ(samples[i], expected[i]) << "length " << length << " g " << g << " frame " << i;
                ASSERT_EQ(line->writeIndex, at);
                ASSERT_EQ(line->readIndex, at);
            }
            for (uint32_t i = 0; i < length; ++i) {
                ASSERT_EQ(line->buffer[i], model[i]);
                ASSERT_FALSE(std::signbit(line->buffer[i]) && line->buffer[i] == 0.0f);
            }
        }
    }
}
