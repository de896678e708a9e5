// The spectral oscillator: the transform against a direct DFT, the spectrum
// layout and its cache, the phase pattern, playback gains (ramps, unison,
// balance, drive clipping) and a sweep over the whole parameter range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "runtime/counter.h"
#include "runtime/random.h"
#include "tests/voice/voice_rig_support.h"
#include "voice/modulation.h"
#include "runtime/math.h"
#include "voice/oscillator.h"
#include "voice/synth_tables.h"
#include "runtime/params.h"

namespace {

constexpr uint32_t kBlock = 512;
constexpr float kCycle = 44100.0f / 512.0f;  // Hz of one cycle per block

class Oscillator : public ::testing::Test {
protected:
    void SetUp() override {
        tables = pinnedTables(777);
        osc = std::make_unique<OscState>();
        resetModulation(mod);
        params[kOscLevel] = 0.25f;  // lane gain 0.1 at amp 1
        params[kOscBalance] = 0.5f;   // both lanes
        params[kOscOctave] = 0.5f;   // octave x1
        clear();
    }
    void TearDown() override { unpinCounter(); }

    void flatTable(float value) {
        for (ComplexFloat& c : osc->wavetable) c = {value, 0.0f};
    }
    void render(float amp, float frequency = 440.0f) {
        const OscillatorBlock block = decodeOscillator(*tables, params, mod, frequency, amp, gainL, gainR);
        runOscillator(block, *osc, gainL, gainR, BusPair{left.data(), right.data()}, kBlock);
    }
    void clear() {
        left.assign(kBlock, 0.0f);
        right.assign(kBlock, 0.0f);
    }
    // Slot k aimed at a destination with a fixed value, as updateModulation leaves it.
    void setSlotValue(uint32_t k, int32_t destination, float value) {
        mod.slots[k] = {kSourceLfo1, destination, 1.0f, value};
    }
    // Phases of one copy after a block from phase 0.
    std::pair<float, float> advance(float frequency, uint32_t copy = 0) {
        for (auto& phase : osc->phases) phase[0] = phase[1] = 0.0f;
        render(1.0f, frequency);
        return {osc->phases[copy][0], osc->phases[copy][1]};
    }

    std::unique_ptr<SynthTables> tables;
    std::unique_ptr<OscState> osc;
    ModState mod = {};
    float params[kParamCount] = {};
    float gainL = 0.0f, gainR = 0.0f;
    std::vector<float> left, right;
};

}  // namespace

// Uniform noise in [-1, 1] against a double-precision DFT. Bins are about 18
// in size; the rotated twiddle keeps the worst error near 1.2e-4 (measured),
// so 5e-4 leaves a 4x margin, while a wrong twiddle, sign or permutation
// gives errors of order 1.
TEST(Fft512, MatchesADirectTransformInBothDirections) {
    Random random;
    random.seed(99);
    for (int sign : {1, -1}) {
        ComplexFloat data[kWaveSize];
        for (ComplexFloat& c : data) c = {random.range(-1.0f, 1.0f), random.range(-1.0f, 1.0f)};
        std::vector<std::complex<double>> expected(kWaveSize);
        for (uint32_t n = 0; n < kWaveSize; ++n) {
            for (uint32_t k = 0; k < kWaveSize; ++k) {
                const double angle = sign * 2.0 * M_PI * double((k * n) % kWaveSize) / kWaveSize;
                expected[n] += std::complex<double>(data[k].re, data[k].im) * std::polar(1.0, angle);
            }
        }
        fft512(data, sign);
        double worst = 0.0;
        for (uint32_t n = 0; n < kWaveSize; ++n) {
            worst = std::max(worst, std::abs(std::complex<double>(data[n].re, data[n].im) - expected[n]));
        }
        EXPECT_LT(worst, 5e-4) << "sign " << sign;
    }
}

// The transform with its twiddles rotated inline, stage by stage, as the
// program first computed it: the stored twiddles must give these very bits.
void rotatingFft512(ComplexFloat* data, int32_t sign) {
    for (uint32_t i = 0; i < 512; ++i) {
        uint32_t j = 0;
        for (uint32_t b = 0, v = i; b < 9; ++b, v >>= 1) j = (j << 1) | (v & 1u);
        if (j > i) std::swap(data[i], data[j]);
    }
    for (uint32_t m = 1; m < 512; m <<= 1) {
        const float theta = 3.1415927f / float(m);
        const float c = float(cosl(theta));
        const float s = float(sign) * float(sinl(theta));
        float wr = 1.0f, wi = 0.0f;
        for (uint32_t q = 0; q < m; ++q) {
            for (uint32_t i = q; i < 512; i += 2 * m) {
                const uint32_t j = i + m;
                const float tr = data[j].re * wr - data[j].im * wi;
                const float ti = data[j].im * wr + data[j].re * wi;
                data[j].re = data[i].re - tr;
                data[j].im = data[i].im - ti;
                data[i].re = data[i].re + tr;
                data[i].im = data[i].im + ti;
            }
            const float oldWr = wr;
            wr = wr * c - wi * s;
            wi = wi * c + oldWr * s;
        }
    }
}

TEST(Fft512, StoredTwiddlesGiveTheBitsOfTheInlineRotation) {
    Random random;
    random.seed(77);
    for (int32_t sign : {1, -1, 1}) {
        ComplexFloat data[512], expected[512];
        for (uint32_t i = 0; i < 512; ++i) data[i] = {random.range(-1.0f, 1.0f), random.range(-1.0f, 1.0f)};
        std::copy(data, data + 512, expected);
        fft512(data, sign);
        rotatingFft512(expected, sign);
        for (uint32_t i = 0; i < 512; ++i) {
            ASSERT_EQ(data[i].re, expected[i].re) << "sign " << sign << " bin " << i;
            ASSERT_EQ(data[i].im, expected[i].im) << "sign " << sign << " bin " << i;
        }
    }
}

TEST(NormalizeWave, PeakOneMeanZeroAndSilenceStaysFinite) {
    ComplexFloat data[kWaveSize];
    for (uint32_t i = 0; i < kWaveSize; ++i) data[i] = {0.3f + 2.0f * std::sin(float(i) * 0.05f), float(i)};
    normalizeWave(data, kWaveSize);
    float sum = 0.0f, top = -10.0f, bottom = 10.0f;
    for (uint32_t i = 0; i < kWaveSize; ++i) {
        sum += data[i].re;
        top = std::max(top, data[i].re);
        bottom = std::min(bottom, data[i].re);
        EXPECT_EQ(data[i].im, float(i));
    }
    EXPECT_NEAR(sum / kWaveSize, 0.0f, 1e-6f);
    EXPECT_NEAR(top - bottom, 4.0f / 2.3f, 1e-3f);  // peak 2.3 scaled to 1
    ComplexFloat silent[kWaveSize] = {};
    normalizeWave(silent, kWaveSize);
    for (const ComplexFloat& c : silent) EXPECT_EQ(c.re, 0.0f);
}

TEST_F(Oscillator, PartialLayout) {
    // One partial (P2 = 0) at bin 1 + c4 = 3 with width 0.3 reaches bins 2..4.
    params[kOscPartialSpacing] = 0.5f;
    EXPECT_TRUE(buildSpectrum(*tables, params, mod, *osc, 1.0f));
    EXPECT_EQ(osc->spectrum[3].re, 1.0f);
    EXPECT_EQ(osc->spectrum[3].im, 1.0f);
    EXPECT_GT(osc->spectrum[2].re, 0.0f);
    EXPECT_EQ(osc->spectrum[2].re, osc->spectrum[4].re);
    for (uint32_t i = 5; i < kWaveSize; ++i) ASSERT_EQ(osc->spectrum[i].re, 0.0f) << i;
    EXPECT_EQ(osc->spectrum[0].re, 1.0f);
    EXPECT_EQ(osc->spectrum[0].im, 0.0f);
    // Zero spacing stacks all 65 partials (amplitudes 1/j) at bin 1.
    params[kOscPartials] = 1.0f;
    params[kOscPartialSpacing] = 0.0f;
    buildSpectrum(*tables, params, mod, *osc, 1.0f);
    double harmonic = 0.0;
    for (int j = 1; j <= 65; ++j) harmonic += 1.0 / j;
    EXPECT_NEAR(osc->spectrum[1].re, harmonic, 1e-4);
    for (uint32_t i = 3; i < kWaveSize; ++i) ASSERT_EQ(osc->spectrum[i].re, 0.0f) << i;
    // Wide partials up to bin 517: a dark note keeps only bins 0..3.
    params[kOscPartialSpacing] = params[kOscPartialWidth] = 1.0f;
    buildSpectrum(*tables, params, mod, *osc, 0.0f);
    EXPECT_GT(osc->spectrum[3].re, 0.0f);
    for (uint32_t i = 4; i < kWaveSize; ++i) ASSERT_EQ(osc->spectrum[i].re, 0.0f) << i;
    buildSpectrum(*tables, params, mod, *osc, 1.0f);
    EXPECT_GT(osc->spectrum[511].re, 0.0f);
}

TEST_F(Oscillator, SpectrumIsRebuiltOnlyWhenItsInputsMove) {
    params[kOscPartialWidth] = 0.4f;
    params[kOscPartials] = 0.3f;
    params[kOscRolloff] = 0.5f;
    params[kOscPartialSpacing] = 0.2f;
    EXPECT_TRUE(buildSpectrum(*tables, params, mod, *osc, 0.9f));
    osc->spectrum[7].re = -123.0f;  // a cached build touches nothing
    EXPECT_FALSE(buildSpectrum(*tables, params, mod, *osc, 0.9f));
    EXPECT_EQ(osc->spectrum[7].re, -123.0f);
    params[kOscPartialWidth] = 0.400005f;  // drifts under 0.00001 are ignored
    EXPECT_FALSE(buildSpectrum(*tables, params, mod, *osc, 0.9f));
    params[kOscPartialWidth] = 0.40002f;
    EXPECT_TRUE(buildSpectrum(*tables, params, mod, *osc, 0.9f));
    setSlotValue(0, kDestRolloff, 0.5f);  // products count like parameters
    EXPECT_TRUE(buildSpectrum(*tables, params, mod, *osc, 0.9f));
    EXPECT_TRUE(buildSpectrum(*tables, params, mod, *osc, 0.5f));  // fewer bins
    params[kOscPartials] = 0.5f;                                               // more partials
    EXPECT_TRUE(buildSpectrum(*tables, params, mod, *osc, 0.5f));
    EXPECT_FALSE(buildSpectrum(*tables, params, mod, *osc, 0.5f));
}

// A refresh that keeps the table must keep exactly what a transform would
// make: a twin state runs every step in full, through spectrum changes,
// motion switched off and on, and the pattern dropping out below its
// threshold and coming back.
TEST_F(Oscillator, ARefreshKeepsTheTableOnlyWhenItsInputRepeats) {
    auto twin = std::make_unique<OscState>();
    *twin = *osc;
    params[kOscPartials] = 0.4f;
    params[kOscPartialSpacing] = 0.5f;  // partials up to bin 103, so brightness 0.15 cuts them
    struct Step {
        float motion, brightness, rotation;  // rotation < 0: leave it where it is
    };
    const Step steps[] = {{0.0f, 0.8f, 37.0f}, {0.0f, 0.8f, -1.0f},   {0.0f, 0.8f, 12.0f},   {0.0f, 0.15f, -1.0f},
                          {0.0f, 0.15f, -1.0f}, {0.6f, 0.15f, -1.0f},  {0.6f, 0.15f, 70.0f},  {0.6f, 0.15f, -1.0f},
                          {0.0f, 0.15f, -1.0f}, {0.0f, 0.15f, 4e-6f},  {0.0f, 0.15f, -1.0f},  {0.0f, 0.15f, 3.0f},
                          {0.6f, 0.15f, 4e-6f}, {0.6f, 0.15f, 50.0f},  {1e-6f, 0.15f, -1.0f}, {1e-6f, 0.15f, -1.0f},
                          {0.0f, 0.8f, -1.0f}};
    for (uint32_t n = 0; n < std::size(steps); ++n) {
        params[kOscMotion] = steps[n].motion;
        if (steps[n].rotation >= 0.0f) osc->rotation = twin->rotation = steps[n].rotation;
        refreshWavetable(*tables, params, mod, *osc, steps[n].brightness);

        buildSpectrum(*tables, params, mod, *twin, steps[n].brightness);
        const ComplexFloat* source = animateSpectrum(*tables, params, *twin) ? twin->animated : twin->spectrum;
        std::copy(source, source + kWaveSize, twin->wavetable);
        fft512(twin->wavetable, 1);
        normalizeWave(twin->wavetable, kWaveSize);

        for (uint32_t i = 0; i < kWaveSize; ++i) {
            ASSERT_EQ(osc->wavetable[i].re, twin->wavetable[i].re) << "step " << n << " entry " << i;
            ASSERT_EQ(osc->wavetable[i].im, twin->wavetable[i].im) << "step " << n << " entry " << i;
        }
        ASSERT_EQ(osc->rotation, twin->rotation) << "step " << n;
    }
}

TEST_F(Oscillator, PhasePattern) {
    params[kOscPartials] = 0.5f;
    params[kOscPartialSpacing] = 0.1f;
    buildSpectrum(*tables, params, mod, *osc, 1.0f);
    osc->rotation = 0.000005f;
    osc->animated[5] = {42.0f, 42.0f};
    EXPECT_FALSE(animateSpectrum(*tables, params, *osc));
    EXPECT_EQ(osc->animated[5].re, 42.0f);
    // No motion: real parts 0 (bin 0 aside), imaginary parts times sin(pi/16).
    osc->rotation = 37.0f;
    EXPECT_TRUE(animateSpectrum(*tables, params, *osc));
    EXPECT_EQ(osc->rotation, 37.0f);
    EXPECT_EQ(osc->animated[0].re, 1.0f);
    for (uint32_t i = 1; i < kWaveSize; ++i) {
        ASSERT_EQ(osc->animated[i].re, 0.0f) << i;
        ASSERT_EQ(osc->animated[i].im, tables->sine[128] * osc->spectrum[i].im) << i;
    }
    // Full motion turns the pattern 0.01 per refresh, wrapping at 100.
    params[kOscMotion] = 1.0f;
    osc->rotation = 99.995f;
    animateSpectrum(*tables, params, *osc);
    EXPECT_NEAR(osc->rotation, 0.005f, 1e-5f);
}

TEST_F(Oscillator, PhasePatternTakesEachBinsAngleByTheFloorOfItsTurn) {
    // Every bin against the rule written out one bin at a time, for motions
    // that make the turns negative (floor, not truncation), large, and so
    // large that floorInt gives up (entry 0).
    params[kOscPartials] = 0.5f;
    buildSpectrum(*tables, params, mod, *osc, 1.0f);
    for (float motion : {0.3f, 1.0f, 2.55f, -7.0f, 3.0e6f}) {
        for (float rotation : {0.37f, 12.5f, 99.9f}) {
            params[kOscMotion] = motion;
            osc->rotation = rotation;
            ASSERT_TRUE(animateSpectrum(*tables, params, *osc));
            for (uint32_t i = 1; i < kWaveSize; ++i) {
                const float d = (1.0f - tables->phaseSines[i] * motion) * rotation * 512.0f;
                const uint32_t idx = uint32_t(int32_t(floorInt(float(i) * 0.001953125f * d))) & (kWaveSize - 1);
                ASSERT_EQ(osc->animated[i].re, tables->sine[idx] * osc->spectrum[i].re) << motion << " bin " << i;
                ASSERT_EQ(osc->animated[i].im, tables->sine[(idx + 128) & (kWaveSize - 1)] * osc->spectrum[i].im)
                    << motion << " bin " << i;
            }
        }
    }
}

TEST_F(Oscillator, GainsRampOverOneBlockThenHold) {
    flatTable(0.5f);
    render(1.0f);  // from 0 to 0.1 in 512 equal steps
    EXPECT_EQ(left[0], 0.0f);
    EXPECT_NEAR(left[256], 0.5f * 0.05f, 1e-6f);
    EXPECT_NEAR(right[511], 0.5f * 0.1f * 511.0f / 512.0f, 1e-6f);
    clear();
    render(1.0f);
    for (uint32_t i = 0; i < kBlock; ++i) ASSERT_NEAR(left[i], 0.05f, 1e-7f) << i;
    // Released: down to 0 over one block, then nothing is added at all.
    clear();
    render(0.0f);
    EXPECT_NEAR(left[511], 0.05f / 512.0f, 1e-6f);
    EXPECT_EQ(gainL, 0.0f);
    clear();
    render(0.0f);
    params[kOscLevel] = 0.0002f;  // G below 0.001 adds nothing either
    render(1.0f);
    for (uint32_t i = 0; i < kBlock; ++i) ASSERT_EQ(left[i] + right[i], 0.0f) << i;
}

TEST_F(Oscillator, UnisonAndBalanceGains) {
    flatTable(0.5f);
    // 1 + round(9 * P14) copies add up without division.
    const struct {
        float unison, balance, left, right;
    } cases[] = {{0.0f, 0.5f, 1.0f, 1.0f}, {1.0f, 0.5f, 10.0f, 10.0f}, {0.5f, 0.5f, 6.0f, 6.0f},
                 {0.0f, 0.0f, 1.0f, 0.0f}, {0.0f, 0.25f, 1.0f, 0.5f},  {0.0f, 0.75f, 0.5f, 1.0f},
                 {0.0f, 1.0f, 0.0f, 1.0f}};
    for (const auto& c : cases) {
        params[kOscUnison] = c.unison;
        params[kOscBalance] = c.balance;
        render(1.0f);  // ramp to this balance
        clear();
        render(1.0f);
        EXPECT_NEAR(left[200], 0.05f * c.left, 1e-6f) << c.unison << " " << c.balance;
        EXPECT_NEAR(right[200], 0.05f * c.right, 1e-6f) << c.unison << " " << c.balance;
    }
}

TEST_F(Oscillator, DriveClipsHardAndStartPhasesAreWrapped) {
    for (uint32_t i = 0; i < kWaveSize; ++i) osc->wavetable[i] = {float(i) / 1024.0f, 0.0f};
    gainL = gainR = 0.1f;
    osc->phases[0][0] = 0.5f;
    osc->phases[0][1] = 1.05f;  // wrapped to 0.05 before the look-up: entry 25
    render(1.0f, 0.0f);         // frequency 0: every frame reads the same entry
    EXPECT_NEAR(left[0], 0.1f * 255.0f / 1024.0f, 1e-7f);
    EXPECT_NEAR(right[0], 0.1f * 25.0f / 1024.0f, 1e-7f);
    params[kOscDrive] = 1.0f;  // x33: entry 255 clips to 1, entry 25 (0.81) stays
    clear();
    render(1.0f, 0.0f);
    EXPECT_EQ(left[10], 0.1f);
    EXPECT_NEAR(right[10], 0.1f * 33.0f * 25.0f / 1024.0f, 1e-6f);
}

TEST_F(Oscillator, PlaybackIsEachCopyAddedFrameByFrameAtAnySpeed) {
    // Odd and even unison counts, increments below one cycle a frame and up
    // to several, against the rule written out for one copy and one lane at
    // a time: look up, drive, clip, ramp the gain, add in copy order; then
    // advance and take whole cycles off.
    for (uint32_t i = 0; i < kWaveSize; ++i) osc->wavetable[i] = {std::sin(0.05f * float(i * i)), 0.0f};
    for (uint32_t copies : {1u, 4u, 7u}) {
        for (float inc : {0.013f, 0.9f, 2.7f}) {
            OscillatorBlock block{};
            block.copies = copies;
            block.incL = inc;
            block.incR = inc * 0.37f;
            block.spreadInc = 0.31f;
            block.driveGain = 1.7f;
            block.gainL = 0.25f;
            block.gainR = 0.125f;
            float startL = 0.05f, startR = 0.2f;
            float phases[kMaxUnison][2];
            for (uint32_t u = 0; u < kMaxUnison; ++u) {
                osc->phases[u][0] = phases[u][0] = 0.09f * float(u + 1);
                osc->phases[u][1] = phases[u][1] = 1.0f - 0.07f * float(u);
            }
            std::vector<float> expectL(kBlock, 0.25f), expectR(kBlock, -0.5f);
            left.assign(kBlock, 0.25f);
            right.assign(kBlock, -0.5f);
            float gl = startL, gr = startR;
            runOscillator(block, *osc, gl, gr, BusPair{left.data(), right.data()}, kBlock);

            float incs[2] = {block.incL, block.incR};
            float copyIncs[kMaxUnison][2];
            for (uint32_t u = 0; u < copies; ++u) {
                copyIncs[u][0] = std::fabs(incs[0]);
                copyIncs[u][1] = std::fabs(incs[1]);
                incs[0] = copyIncs[u][0] + block.spreadInc;
                incs[1] = copyIncs[u][1] - block.spreadInc;
            }
            const float stepL = (block.gainL - startL) * (1.0f / float(kBlock));
            const float stepR = (block.gainR - startR) * (1.0f / float(kBlock));
            float gainNowL = startL, gainNowR = startR;
            for (uint32_t f = 0; f < kBlock; ++f) {
                for (uint32_t u = 0; u < copies; ++u) {
                    for (uint32_t c = 0; c < 2; ++c) {
                        const uint32_t index = uint32_t(int32_t(phases[u][c] * 511.0f)) & 511u;
                        const float s = std::min(std::max(osc->wavetable[index].re * block.driveGain, -1.0f), 1.0f);
                        (c == 0 ? expectL : expectR)[f] += s * (c == 0 ? gainNowL : gainNowR);
                        float next = phases[u][c] + copyIncs[u][c];
                        if (next > 1.0f) next -= 1.0f;
                        if (next > 1.0f) next -= std::ceil(next) - 1.0f;
                        phases[u][c] = next;
                    }
                }
                gainNowL += stepL;
                gainNowR += stepR;
            }
            for (uint32_t f = 0; f < kBlock; ++f) {
                ASSERT_EQ(left[f], expectL[f]) << copies << " copies, increment " << inc << ", frame " << f;
                ASSERT_EQ(right[f], expectR[f]) << copies << " copies, increment " << inc << ", frame " << f;
            }
            for (uint32_t u = 0; u < copies; ++u)
                EXPECT_TRUE(osc->phases[u][0] == phases[u][0] && osc->phases[u][1] == phases[u][1]) << u;
        }
    }
}

TEST_F(Oscillator, PitchDetuneSpreadAndFixedFrequency) {
    flatTable(0.5f);
    auto p = advance(kCycle * 0.25f);
    EXPECT_NEAR(p.first, 0.25f, 1e-4f);
    EXPECT_NEAR(p.second, 0.25f, 1e-4f);
    params[kOscOctave] = 0.0f;  // octave setting 0 multiplies by 16
    EXPECT_NEAR(advance(kCycle / 64.0f).first, 0.25f, 1e-4f);
    params[kOscOctave] = 0.5f;
    params[kOscStereoDetune] = 1.0f;  // stereo detune 10 Hz: left faster, right slower
    p = advance(kCycle * 0.25f);
    EXPECT_NEAR(p.first, 0.25f + 10.0f / kCycle, 1e-4f);
    EXPECT_NEAR(p.second, 0.25f - 10.0f / kCycle, 1e-4f);
    params[kOscStereoDetune] = 0.0f;
    params[kOscUnison] = 1.0f / 9.0f;  // two copies, the second 10 * spread^4 Hz apart
    params[kOscUnisonSpread] = 1.0f;
    p = advance(kCycle * 0.25f, 1);
    EXPECT_NEAR(p.first, 0.25f + 10.0f / kCycle, 1e-4f);
    EXPECT_NEAR(p.second, 0.25f - 10.0f / kCycle, 1e-4f);
    params[kOscUnison] = params[kOscUnisonSpread] = 0.0f;
    // Fixed pitch 1000 * P11^2 Hz ignores note and octave, not the pitch product.
    params[kOscFixedPitch] = std::sqrt(kCycle * 0.375f / 1000.0f);
    params[kOscOctave] = 0.0f;
    setSlotValue(0, kDestPitch, 2.0f);
    p = advance(3000.0f);
    EXPECT_NEAR(p.first, 0.75f, 1e-4f);
    EXPECT_NEAR(p.second, 0.75f, 1e-4f);
}

// Every oscillator setting at its ends and at random, modulation products
// from 0 to runaway (1e30, infinity, NaN), pitches up to several cycles per
// frame: the table stays finite, the output finite and within copies x lane
// gain, the phases in [0, 1], and every call returns.
TEST_F(Oscillator, OutputStaysFiniteAndBoundedOverTheWholeRange) {
    Random random;
    random.seed(2024);
    const float products[] = {0.0f, 1.0f, 10.0f, 1e8f, 1e30f, INFINITY, NAN};
    const int32_t destinations[] = {0, kDestPartialWidth, kDestRolloff, kDestPartialCount, kDestSpacing,
                                    kDestOscLevel, kDestPitch, kDestStereoDetune, kDestUnisonSpread, kDestDrive};
    for (int trial = 0; trial < 300; ++trial) {
        for (uint32_t p : {1, 2, 3, 4, 5, 6, 8, 10, 11, 13, 14, 15, 16}) {
            params[p] = trial < 60 ? float(random.rangeInt(0, 3)) * 0.5f : random.nextUnit();
        }
        for (uint32_t k = 0; k < kModSlotCount; ++k) {
            setSlotValue(k, destinations[random.rangeInt(0, 10)], products[random.rangeInt(0, 7)]);
        }
        refreshWavetable(*tables, params, mod, *osc, random.nextUnit());
        for (const ComplexFloat& c : osc->wavetable) ASSERT_TRUE(std::isfinite(c.re)) << trial;

        const float oldL = gainL, oldR = gainR;
        clear();
        render(float(random.rangeInt(0, 256)) * 0.0078125f, tables->noteFrequency[random.rangeInt(0, 128)]);
        const float bound = 10.0f * std::max({std::fabs(oldL), std::fabs(oldR), std::fabs(gainL), std::fabs(gainR)});
        ASSERT_TRUE(std::isfinite(bound)) << trial;
        for (uint32_t i = 0; i < kBlock; ++i) {
            ASSERT_LE(std::fabs(left[i]), bound * 1.0001f) << trial << " frame " << i;
            ASSERT_LE(std::fabs(right[i]), bound * 1.0001f) << trial << " frame " << i;
        }
        for (const auto& phase : osc->phases) {
            ASSERT_TRUE(phase[0] >= 0.0f && phase[0] <= 1.0f) << trial << " " << phase[0];
            ASSERT_TRUE(phase[1] >= 0.0f && phase[1] <= 1.0f) << trial << " " << phase[1];
        }
    }
}
