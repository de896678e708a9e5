// Envelope timings, LFO step shape, and the modulation matrix's slot order
// and next-block scales, at 44.1 kHz with 512-frame blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runtime/counter.h"
#include "tests/voice/voice_rig_support.h"
#include "voice/modulation.h"
#include "voice/synth_tables.h"
#include "runtime/params.h"

namespace {

constexpr uint32_t kBlock = 512;
constexpr float kTwoPi = 6.2831855f;
enum : uint32_t { kEnv1 = kEnv1Attack, kEnv2 = kEnv2Attack, kLfo1 = kLfo1Rate };  // parameter bases

class Modulation : public ::testing::Test {
protected:
    void SetUp() override {
        tables = pinnedTables(4242);
        resetModulation(mod);
        startModulation(mod, 0.0f, 0.0f);
    }
    void TearDown() override { unpinCounter(); }

    void setSlot(uint32_t k, int32_t source, float amount, int32_t destination) {
        params[kMod0Source + kModSlotStride * k] = float(source) / 14.0f;
        params[kMod0Amount + kModSlotStride * k] = amount;
        params[kMod0Dest + kModSlotStride * k] = float(destination) / 39.0f;
    }
    void setEnvelope(uint32_t base, float a, float d, float s, float r, float e) {
        for (float v : {a, d, s, r, e}) params[base++] = v;
    }
    bool update() { return updateModulation(*tables, params, mod, kBlock); }
    float step(Envelope& env, float decayMod = 1.0f) { return stepEnvelope(env, params, kEnv1, decayMod, 44100, kBlock); }
    int blocksToPeak(float attack) {
        params[kEnv1] = attack;
        Envelope env = {0.0f, kEnvelopeAttack};
        for (int n = 1; n <= 1000; ++n) {
            if (step(env), env.stage == kEnvelopeDecay) return env.value == 1.0f ? n : -n;
        }
        return 0;
    }

    std::unique_ptr<SynthTables> tables;
    float params[kParamCount] = {};
    ModState mod = {};
};

}  // namespace

TEST_F(Modulation, EnvelopeTimesAtFortyFourKilohertz) {
    // Attack 1: 0.00688 per block, full after 146 blocks (1.7 s); 0.5: five
    // blocks; 0: the first block.
    setEnvelope(kEnv1, 1.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    Envelope env = {0.0f, kEnvelopeAttack};
    EXPECT_NEAR(step(env), 0.00688f, 0.00001f);
    EXPECT_EQ(blocksToPeak(1.0f), 146);
    EXPECT_EQ(blocksToPeak(0.5f), 5);
    EXPECT_EQ(blocksToPeak(0.0f), 1);
    // Decay and release, curve 0: straight lines at a quarter of that rate.
    env = {1.0f, kEnvelopeDecay};
    const float first = step(env);
    EXPECT_NEAR(1.0f - first, 0.00172f, 0.00001f);
    EXPECT_NEAR(first - step(env), 1.0f - first, 1e-6f);
    env = {0.8f, kEnvelopeRelease};
    EXPECT_NEAR(0.8f - step(env), 0.00172f, 0.00001f);
    // Curve 1: the step shrinks with the distance to the target (+0.01).
    params[kEnv1 + 4] = 1.0f;
    env = {0.2f, kEnvelopeDecay};
    EXPECT_NEAR((0.2f - step(env)) / 0.00172f, 0.21f, 0.001f);
    // A sustain of 1 holds at 0.99; a lowered one is met exactly at the decay rate.
    setEnvelope(kEnv1, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f);
    env = {0.5f, kEnvelopeDecay};
    step(env);
    EXPECT_EQ(env.value, 0.99f);
    params[kEnv1 + 2] = 0.98f;
    EXPECT_NEAR(step(env), 0.99f - 0.00172f, 0.00001f);
    for (int n = 0; n < 10; ++n) EXPECT_GE(step(env), 0.98f) << n;  // never overshoots
    EXPECT_EQ(env.value, 0.98f);
    EXPECT_EQ(env.stage, kEnvelopeSustain);
}

TEST_F(Modulation, LfoSpeedDepthAndStepShape) {
    params[kLfo1] = 1.0f;       // 50 rad/s: 0.5805 rad per block
    params[kLfo1 + 1] = 0.5f;   // swings between 0.75 and 1
    params[kLfo1 + 2] = 0.75f;  // square
    Lfo lfo = {6.0f, 0.0f};
    EXPECT_EQ(stepLfo(lfo, *tables, params, kLfo1, kBlock), 0.75f);
    EXPECT_NEAR(lfo.phase, 6.0f + 0.58050f - kTwoPi, 0.00001f);  // wrapped once
    EXPECT_EQ(stepLfo(lfo, *tables, params, kLfo1, kBlock), 1.0f);
    // Shape 4 holds one step value per 1/256 cycle; exactly 2 pi reads entry 0.
    params[kLfo1 + 1] = params[kLfo1 + 2] = 1.0f;
    for (float at : {0.05f, 0.95f, 1.05f, 100.5f, 255.95f, 256.0f}) {
        lfo.phase = at * kTwoPi / 256.0f;
        EXPECT_EQ(stepLfo(lfo, *tables, params, kLfo1, kBlock), tables->stepValues[uint32_t(at) & 255]) << at;
    }
}

TEST_F(Modulation, AShapeSettingBetweenTwoShapesTakesTheNearer) {
    // Five shapes at 0, 0.25, 0.5, 0.75 and 1: a setting picks the nearest,
    // so a song byte a little below a shape's own value still gets that shape.
    params[kLfo1] = 0.0f;  // rate 0: the phase stays where it is put
    params[kLfo1 + 1] = 1.0f;
    const auto outputs = [&](float shape) {
        params[kLfo1 + 2] = shape;
        std::vector<float> out;
        for (float phase : {0.3f, 1.2f, 2.5f, 3.9f, 5.6f}) {
            Lfo lfo = {phase, 0.0f};
            out.push_back(stepLfo(lfo, *tables, params, kLfo1, kBlock));
        }
        return out;
    };
    for (const float shape : {0.13f, 0.2f, 0.37f, 0.4f, 0.6f, 0.65f, 0.87f, 0.9f, 0.99f}) {
        const float nearest = std::round(4.0f * shape) / 4.0f;
        EXPECT_EQ(outputs(shape), outputs(nearest)) << "setting " << shape << " is not shape " << nearest;
    }
    // ...and the five shapes differ from one another at these phases.
    for (float a = 0.0f; a < 1.0f; a += 0.25f) EXPECT_NE(outputs(a), outputs(a + 0.25f)) << a;
}

TEST_F(Modulation, SlotsWithoutASourceAreOneAndStepNothing) {
    setEnvelope(kEnv1, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f);
    params[kLfo1] = 1.0f;
    setSlot(0, 0, 1.0f, kDestOscLevel);
    setSlot(1, 5, 1.0f, kDestOscLevel);
    setSlot(2, 14, 1.0f, kDestPitch);
    EXPECT_FALSE(update());
    for (int32_t d = 1; d < 40; ++d) EXPECT_EQ(modProduct(mod, d), 1.0f) << d;
    EXPECT_EQ(mod.env1.stage, kEnvelopeAttack);
    EXPECT_EQ(mod.lfo1.phase, 0.0f);
}

TEST_F(Modulation, AmountCurveSameDestinationsMultiplyAndSourcesStepOnce) {
    // LFO 1 at depth 0 outputs 1, so a slot's value is its amount.
    const float settings[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
    const float amounts[] = {0.0f, 0.5f, 1.0f, 3.25f, 10.0f};
    for (int i = 0; i < 5; ++i) {
        setSlot(0, kSourceLfo1, settings[i], kDestOscLevel);
        update();
        EXPECT_EQ(modProduct(mod, kDestOscLevel), amounts[i]) << settings[i];
    }
    setSlot(5, kSourceLfo1, 1.0f, kDestOscLevel);
    params[kLfo1] = 1.0f;
    update();
    EXPECT_FLOAT_EQ(modProduct(mod, kDestOscLevel), 100.0f);
    EXPECT_NEAR(mod.lfo1.phase, 0.58050f, 0.00001f);  // one advance, not two
}

TEST_F(Modulation, ScaleDestinationsActFromTheNextBlock) {
    setSlot(0, kSourceLfo1, 0.5f, kDestOscLevel);
    setSlot(1, kSourceLfo1, 0.75f, kDestSlotScale0);  // 3.25 onto slot 0's scale
    update();
    EXPECT_EQ(modProduct(mod, kDestOscLevel), 1.0f);
    update();
    EXPECT_EQ(modProduct(mod, kDestOscLevel), 3.25f);
    // A slot aimed at its own scale grows tenfold per block.
    setSlot(2, kSourceLfo1, 1.0f, kDestSlotScale0 + 2);
    for (float expected : {10.0f, 100.0f, 1000.0f}) {
        update();
        EXPECT_EQ(mod.slots[2].value, expected);
    }
}

TEST_F(Modulation, EnvelopeDecayModulationSeesTheSlotsAsTheyStand) {
    // Envelope 1 peaks in block 1 and decays in block 2 with its decay rate
    // scaled by destination 20 at the moment its slot is reached.
    setEnvelope(kEnv1, 0.0f, 0.8f, 0.0f, 0.0f, 0.0f);
    const auto decayWith = [&](float m) {
        Envelope env = {1.0f, kEnvelopeDecay};
        return step(env, m);
    };
    const auto twoBlocks = [&](uint32_t modSlot, uint32_t envSlot) {
        startModulation(mod, 0.0f, 0.0f);
        for (uint32_t k = 0; k < 8; ++k) setSlot(k, 0, 0.0f, 0);
        setSlot(envSlot, kSourceEnv1, 0.5f, kDestOscLevel);
        setSlot(modSlot, kSourceLfo1, 0.5f, kDestEnv1Decay);  // 1 in block 1
        update();
        setSlot(modSlot, kSourceLfo1, 0.75f, kDestEnv1Decay);  // 3.25 in block 2
        update();
        return mod.env1.value;
    };
    EXPECT_EQ(twoBlocks(0, 1), decayWith(3.25f));  // earlier slot: this block's value
    EXPECT_EQ(twoBlocks(2, 1), decayWith(1.0f));   // later slot: last block's value

    // The envelope's own slot aimed at 20 counts as 1, not last block's 10.
    for (uint32_t k = 0; k < 8; ++k) setSlot(k, 0, 0.0f, 0);
    startModulation(mod, 0.0f, 0.0f);
    setSlot(1, kSourceEnv1, 1.0f, kDestEnv1Decay);
    update();
    EXPECT_EQ(mod.slots[1].value, 10.0f);
    update();
    EXPECT_EQ(mod.env1.value, decayWith(1.0f));
}

TEST_F(Modulation, RunningUntilTheEnvelopeInUseHasFinished) {
    setEnvelope(kEnv2, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f);
    setSlot(4, kSourceEnv2, 0.5f, kDestOscLevel);
    EXPECT_TRUE(update());
    releaseModulation(mod);
    // The finishing block still reports running (taken before the step).
    int blocks = 0;
    while (mod.env2.stage != kEnvelopeFinished && blocks < 1000) EXPECT_TRUE(update()), ++blocks;
    EXPECT_FALSE(update());
    // A finished envelope released again finishes again.
    releaseModulation(mod);
    EXPECT_TRUE(update());
    EXPECT_FALSE(update());
    // LFOs never keep a voice running.
    setSlot(4, kSourceLfo1, 1.0f, kDestOscLevel);
    EXPECT_FALSE(update());
}
