// Waveshaper and Flanger: the curve's quantised identity and hard-sign ends,
// the flanger's negative-feedback comb and its fast-triangle case.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/effect_registry.h"
#include "effects/flanger.h"
#include "effects/waveshaper.h"
#include "runtime/math.h"
#include "runtime/params.h"
#include "tests/effects/effect_harness.h"

namespace {

// The waveshaper over `in` (both channels) with P84 = shape.
std::vector<float> shape(TestUnit& unit, float shapeParam, const std::vector<float>& in) {
    std::vector<float> p = zeroParams();
    p[kShaperAmount] = shapeParam;
    std::vector<float> left = in, right = in;
    unit.run(p, left, right);
    EXPECT_EQ(left, right);
    return left;
}

TEST(Waveshaper, ShapeZeroIsTheIdentityQuantisedToFifteenBits) {
    TestUnit unit(1);
    std::vector<float> in = noise(4096, 7, 1.5f);
    in.insert(in.end(), {0.0f, 1.0f, -1.0f, 0.5f, -1e30f, INFINITY});
    const std::vector<float> out = shape(unit, 0.0f, in);
    for (size_t i = 0; i < in.size(); ++i) {
        const float magnitude = std::floor(std::min(std::fabs(in[i]), 1.0f) * 32767.0f) / 32768.0f;
        ASSERT_EQ(out[i], in[i] == 0.0f ? 0.0f : std::copysign(magnitude, in[i])) << "input " << in[i];
    }
    EXPECT_EQ(out.back(), 32767.0f / 32768.0f);  // every |x| >= 1 gives 32767/32768
    // A new shape rebuilds the curve for the next block: exponent 0.5.
    const std::vector<float> root = shape(unit, 0.5f, {0.25f, -0.64f});
    EXPECT_NEAR(root[0], std::sqrt(8191.0f / 32768.0f), 1e-6f);
    EXPECT_NEAR(root[1], -std::sqrt(20970.0f / 32768.0f), 1e-6f);
}

TEST(Waveshaper, ShapeOneIsAHardSignWithADeadZone) {
    const float step = 1.0f / 32767.0f;
    const std::vector<float> in = {0.0f, step * 0.999f, -step * 0.5f, step, -step * 1.001f, 0.3f, -0.9f, 7.0f, NAN};
    const std::vector<float> expected = {0.0f, 0.0f, 0.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, 0.0f};
    TestUnit unit(1);
    EXPECT_EQ(shape(unit, 1.0f, in), expected);
    // Above 1 the shape is held at the hard sign instead of a negative
    // exponent that blows up near 0.
    TestUnit held(1);
    EXPECT_EQ(shape(held, 2.55f, in), expected);
}

// The curve is filled in as it is read; after any history of shape changes
// every sample must still be the entry power() gives for the current shape
// (entries left from an earlier shape must never be served).
// Prepared ahead for the first shape (as loading a song does) or computed
// as they are read, the entries are those of the shape being played.
TEST(Waveshaper, CurveEntriesAlwaysBelongToTheCurrentShape) {
    TestUnit unit(1);
    std::vector<float> p = zeroParams();
    p[kShaperAmount] = 0.3f;
    effectPrepareFor(1)(unit.unit, p.data());
    const auto& shaper = unit.state<Waveshaper>();
    for (uint32_t i = 0; i < kWaveshaperCurveSize; ++i)
        ASSERT_EQ(shaper.curve[i], power(float(i) * (1.0f / 32768.0f), 0.7f)) << i;
    const std::vector<float> in = noise(kTestBlock, 31, 1.2f);
    const float shapes[] = {0.3f, 0.7f, 0.3f, 0.3f, 0.0f, 0.95f, 0.3f};
    for (float shapeParam : shapes) {
        const float a = 1.0f - shapeParam;
        const std::vector<float> out = shape(unit, shapeParam, in);
        for (size_t i = 0; i < in.size(); ++i) {
            const float m = std::fabs(in[i]) < 1.0f ? std::fabs(in[i]) : 1.0f;
            const float entry = power(float(uint32_t(m * 32767.0f)) * (1.0f / 32768.0f), a);
            const float sign = in[i] > 0.0f ? 1.0f : (in[i] < 0.0f ? -1.0f : 0.0f);
            ASSERT_EQ(out[i], entry * sign) << "shape " << shapeParam << " frame " << i;
        }
    }
}

TEST(Flanger, StillSweepIsAClampedNegativeFeedbackCombOfFourFrames) {
    // P94 = 0: the triangle never moves, g = 1, both phases stay 0, so the
    // delay is the 0.1 ms base, 4.41 frames, truncated to 4.
    TestUnit unit(4);
    std::vector<float> p = zeroParams();
    p[kFlangerDepth] = 1.0f;
    p[kFlangerFeedback] = 0.5f;
    std::vector<float> left = impulse(kTestBlock, 0.8f), right = impulse(kTestBlock, -3.0f);
    unit.run(p, left, right);
    for (uint32_t i = 0; i < 20; ++i) {
        const float expected = i % 4 == 0 ? 0.8f * std::pow(-0.5f, float(i / 4)) : 0.0f;
        ASSERT_FLOAT_EQ(left[i], expected) << "frame " << i;
    }
    EXPECT_EQ(right[0], -1.0f);  // clamped to full scale before it feeds back
    EXPECT_EQ(right[4], 0.5f);
}

TEST(Flanger, FastTriangleAlternatesBetweenItsTwoResetValues) {
    // e = (512 x 0.1) x 0.25 = 12.8 exceeds both 1 and the top 0.09: every
    // frame overshoots, so the triangle flips 1.0, 0.01, 1.0, ... and each
    // frame is a change of g with one frame counted since the last.
    TestUnit unit(4);
    std::vector<float> p = zeroParams();
    p[kFlangerSpeed] = 0.25f;
    p[kFlangerTop] = 0.09f;
    p[kFlangerDepth] = 0.5f;
    std::vector<float> left(kTestBlock, 0.0f), right(kTestBlock, 0.0f);
    unit.run(p, left, right);
    const Flanger& f = unit.state<Flanger>();
    EXPECT_EQ(f.lfo, 0.01f);  // frame 512 set 0.01 and turned rising
    EXPECT_EQ(f.direction, 0u);
    EXPECT_EQ(f.lastG, 0.01f);
    EXPECT_EQ(f.frameCounter, 1u);
    // Frame 1 changes g from 0 to 1 with no frames counted; frames 2..512
    // each add one frame of the g just set: 256 of 0.01 and 255 of 1.0 to
    // phase 1, and (1 - g) to phase 2: 256 of 0.99, 255 of 0.
    const float perFrame = 3.14159265f / (2.0f * float(kTestRate));
    EXPECT_NEAR(f.phase1, (256 * 0.01f + 255 * 1.0f) * perFrame, 1e-4f * 255 * perFrame);
    EXPECT_NEAR(f.phase2, 256 * 0.99f * perFrame, 1e-4f * 256 * perFrame);
}

}  // namespace
