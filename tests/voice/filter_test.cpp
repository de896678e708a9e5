// Voice filters against textbook responses, their parameter clamps, the
// notch's one-frame lag, history carried across blocks, independent stereo
// lanes, voices filtered side by side, and tails that decay without
// subnormal values.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>
#include <xmmintrin.h>

#include "runtime/float_mode.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "voice/filter.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kModeOf[4] = {kRunLadder, kRunBiquad, kRunBandPass, kRunDelayedBiquad};

FilterState makeFilter(uint32_t type, float cutoff, float resonance) {
    FilterState s;
    setFilter(s, kRate, cutoff, resonance, type);
    return s;
}

// Steady-state gain of a sine (amplitude 0.001 keeps the ladder's output
// shaping out of the way) after one second, by correlation over whole periods.
double gainOf(uint32_t type, float cutoff, float resonance, double hz) {
    FilterState s = makeFilter(type, cutoff, resonance);
    const int periods = int(std::ceil(hz * 0.25)), window = int(std::lround(periods * 44100.0 / hz));
    const double w = 2.0 * M_PI * periods / window;
    const int n = 44100 + window;
    std::vector<float> left(n), right(n);
    for (int i = 0; i < n; ++i) left[i] = right[i] = float(0.001 * std::sin(w * i));
    for (int start = 0; start < n; start += 512) runFilter(s, kModeOf[type], &left[start], &right[start], std::min(512, n - start));
    double c = 0.0, si = 0.0;
    for (int i = 44100; i < n; ++i) c += left[i] * std::cos(w * i), si += left[i] * std::sin(w * i);
    return 2.0 * std::hypot(c, si) / window / 0.001;
}

double db(double gain) { return 20.0 * std::log10(gain); }

// Gain at w0 of the high-pass and band-pass: sin(w0) / (2 alpha).
double bandwidthFactor(double hz, double q) {
    const double w0 = hz * 2.0 * M_PI / kRate;
    return 1.0 / (2.0 * std::sinh(0.5 * std::log10(2.0) * (1.0 - q) * w0 / std::sin(w0)));
}

// The audio thread's float mode (flush-to-zero) for one scope.
struct FlushToZero {
    const uint32_t saved = _mm_getcsr();
    FlushToZero() { setFloatMode(0x01); }
    ~FlushToZero() { _mm_setcsr(saved); }
};

void fillNoise(float* buffer, uint32_t n, uint32_t seed) {
    Random random;
    random.seed(seed);
    for (uint32_t i = 0; i < n; ++i) buffer[i] = random.range(-1.0f, 1.0f);
}

}  // namespace

TEST(FilterSettings, CutoffAndResonanceAreClampedInEveryType) {
    for (uint32_t type = 0; type < 4; ++type) {
        const FilterState low = makeFilter(type, 0.0f, 0.0f), high = makeFilter(type, 1.0f, 0.85f);
        const FilterState below = makeFilter(type, -0.7f, -2.0f), above = makeFilter(type, 3.0f, 5.0f);
        EXPECT_TRUE(bytesEqual(&below, &low, sizeof low)) << type;
        EXPECT_TRUE(bytesEqual(&above, &high, sizeof high)) << type;
    }
}

TEST(FilterSettings, CutoffZeroMeansThirtyHertz) {
    EXPECT_LT(gainOf(kFilterNotch, 0.0f, 0.5f, 30.0), 1e-3);
    EXPECT_NEAR(db(gainOf(kFilterLadder, 0.0f, 0.0f, 30.0)), -8.0, 3.0);
    // 1 - cos(w0) keeps few significant bits at 30 Hz in single precision:
    // this high-pass (the noise band's usual lower edge) gets 0.5 %.
    EXPECT_NEAR(gainOf(kFilterHighPass, 0.0f, 0.05f, 30.0), bandwidthFactor(30.0, 0.05), 0.005 * bandwidthFactor(30.0, 0.05));
}

TEST(FilterResponse, HighPassAndBandPassGainAtCutoffIsTheBandwidthFactor) {
    for (float u : {0.1f, 0.5f, 1.0f}) {
        for (float q : {0.0f, 0.5f, 0.85f}) {
            const double hz = double(u) * u * 10000.0 + 30.0, textbook = bandwidthFactor(hz, q);
            EXPECT_NEAR(gainOf(kFilterHighPass, u, q, hz), textbook, 1e-3 * textbook) << u << " " << q;
            EXPECT_NEAR(gainOf(kFilterBandPass, u, q, hz), textbook, 1e-3 * textbook) << u << " " << q;
        }
    }
    EXPECT_NEAR(gainOf(kFilterHighPass, 0.1f, 0.0f, 8 * 130.0), 1.0, 0.02);  // pass band
    EXPECT_LT(gainOf(kFilterHighPass, 0.1f, 0.0f, 130.0 / 8), 0.02);
}

TEST(FilterResponse, NotchNullsItsCutoffAndKeepsUnityAtTheFarEndOfTheBand) {
    for (float q : {0.0f, 0.5f, 0.85f}) {
        // At least 60 dB: cos(w) rounded to a float moves the zeros slightly.
        EXPECT_LT(gainOf(kFilterNotch, 0.3f, q, 1830.0), 1e-3);
        EXPECT_LT(gainOf(kFilterNotch, 1.0f, q, 20030.0), 1e-3);
        // Nyquist for a notch below a quarter of the rate, DC above it.
        for (float u : {0.3f, 1.0f}) {
            FilterState s = makeFilter(kFilterNotch, u, q);
            float left[512], right[512];
            for (int block = 0; block < 20; ++block) {
                for (int i = 0; i < 512; ++i) left[i] = right[i] = (u < 0.5f && (i & 1)) ? -1.0f : 1.0f;
                runFilter(s, kRunDelayedBiquad, left, right, 512);
            }
            EXPECT_NEAR(std::fabs(left[511]), 1.0, 1e-4) << u << " " << q;
        }
    }
    EXPECT_GT(gainOf(kFilterNotch, 0.3f, 0.85f, 2 * 1830.0), 0.8);
}

TEST(FilterResponse, LadderFallsAboutTwentyFourDecibelsPerOctave) {
    for (float u : {0.0f, 0.1f, 0.2f}) {
        const double fc = double(u) * u * 20000.0 + 30.0;
        EXPECT_NEAR(db(gainOf(kFilterLadder, u, 0.0f, fc / 16)), 0.0, 0.1) << fc;
        EXPECT_NEAR(db(gainOf(kFilterLadder, u, 0.0f, 2 * fc)), -24.0, 2.0) << fc;  // an octave above
        EXPECT_NEAR(db(gainOf(kFilterLadder, u, 0.0f, 8 * fc) / gainOf(kFilterLadder, u, 0.0f, 4 * fc)), -24.0, 2.0) << fc;
    }
    EXPECT_GT(gainOf(kFilterLadder, 0.3f, 0.85f, 1830.0), 1.2);  // resonance peak
    // At low cutoffs resonance 1 would be a loop gain of 4, the ladder's
    // oscillation point; feedback 4q lowers the pass band to 1 / (1 + 4q).
    EXPECT_NEAR(gainOf(kFilterLadder, 0.0f, 0.85f, 30.0 / 16), 1.0 / (1.0 + 4.0 * 0.85), 0.003);
}

TEST(FilterResponse, LadderFeedsBackItsUnshapedOutputAndShapesOnlyWhatItWrites) {
    // DC 0.5 settles at y4 = 0.5 / (1 + r); the output is y4 - y4^3 / 6.
    FilterState s = makeFilter(kFilterLadder, 0.5f, 0.6f);
    float left[512], right[512];
    for (int block = 0; block < 40; ++block) {
        for (int i = 0; i < 512; ++i) left[i] = right[i] = 0.5f;
        runFilter(s, kRunLadder, left, right, 512);
    }
    const double y4 = 0.5 / (1.0 + s.r);
    EXPECT_NEAR(left[511], y4 - y4 * y4 * y4 / 6.0, 1e-5);
    EXPECT_EQ(right[511], left[511]);
}

TEST(FilterProcessing, EveryTypeStaysStableOverTheWholeParameterRange) {
    FlushToZero mode;  // silent tails stay fast
    for (uint32_t type = 0; type < 4; ++type) {
        for (float u : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
            for (float q : {0.0f, 0.5f, 0.85f, 1.0f}) {
                // 0.23 s of full-scale noise, then 2 s of silence.
                FilterState s = makeFilter(type, u, q);
                float left[512], right[512], peak = 0.0f;
                double sum = 0.0;  // turns NaN or infinite with any such output
                for (int block = 0; block < 192; ++block) {
                    fillNoise(left, 512, block);
                    fillNoise(right, 512, block + 1000);
                    if (block >= 20) fillWords(left, 0, sizeof left), fillWords(right, 0, sizeof right);
                    runFilter(s, kModeOf[type], left, right, 512);
                    for (float v : left) sum += v, peak = std::max(peak, std::fabs(v));
                }
                const testing::Message where = testing::Message() << type << " " << u << " " << q;
                EXPECT_TRUE(std::isfinite(sum)) << where;
                EXPECT_LT(peak, 20.0f) << where;
                EXPECT_LT(std::fabs(left[511]), 0.01f * peak) << where;
            }
        }
    }
}

TEST(FilterProcessing, NotchSlotLagsTheDirectFormByExactlyOneFrame) {
    FilterState direct = makeFilter(kFilterNotch, 0.4f, 0.7f), delayed = direct;
    float inL[1024], inR[1024], dL[1024], dR[1024];
    fillNoise(inL, 1024, 1);
    fillNoise(inR, 1024, 2);
    copyBytes(dL, inL, sizeof inL);
    copyBytes(dR, inR, sizeof inR);
    for (uint32_t start = 0; start < 1024; start += 512) {
        runFilter(direct, kRunBiquad, dL + start, dR + start, 512);
        runFilter(delayed, kRunDelayedBiquad, inL + start, inR + start, 512);
    }
    EXPECT_TRUE(inL[0] == 0.0f && inR[0] == 0.0f);
    EXPECT_TRUE(bytesEqual(inL + 1, dL, 1023 * 4));
    EXPECT_TRUE(bytesEqual(inR + 1, dR, 1023 * 4));
}

TEST(FilterProcessing, HistoryCarriesAcrossBlocksAndCoefficientChanges) {
    for (uint32_t type = 0; type < 4; ++type) {
        FilterState whole = makeFilter(type, 0.4f, 0.6f), split = whole;
        float wL[700], wR[700], sL[700], sR[700];
        fillNoise(wL, 700, 3);
        fillNoise(wR, 700, 4);
        copyBytes(sL, wL, sizeof wL);
        copyBytes(sR, wR, sizeof wR);
        runFilter(whole, kModeOf[type], wL, wR, 700);
        runFilter(split, kModeOf[type], sL, sR, 300);
        // A slot re-tuned, or switched off and on again, keeps its history.
        const FilterState before = split;
        setFilter(split, kRate, 0.9f, 0.1f, type);
        EXPECT_TRUE(bytesEqual(&split, &before, 10 * sizeof(__m128))) << type;
        setFilter(split, kRate, 0.4f, 0.6f, type);
        runFilter(split, kModeOf[type], sL + 300, sR + 300, 400);
        EXPECT_TRUE(bytesEqual(sL, wL, sizeof wL) && bytesEqual(sR, wR, sizeof wR)) << type;
    }
}

TEST(FilterProcessing, ChannelsAreIndependentLanes) {
    for (uint32_t type = 0; type < 4; ++type) {
        FilterState a = makeFilter(type, 0.3f, 0.8f), b = a;
        float aL[512], aR[512], bL[512], bR[512];
        fillNoise(aL, 512, 5);
        fillNoise(aR, 512, 6);
        copyBytes(bL, aR, sizeof aR);
        copyBytes(bR, aL, sizeof aL);
        runFilter(a, kModeOf[type], aL, aR, 512);
        runFilter(b, kModeOf[type], bL, bR, 512);
        EXPECT_TRUE(bytesEqual(aL, bR, sizeof aL) && bytesEqual(aR, bL, sizeof aR)) << type;
        const float* history = reinterpret_cast<const float*>(&a);  // spare lanes 2, 3 stay zero
        for (int v = 0; v < 10; ++v) EXPECT_TRUE(history[4 * v + 2] == 0.0f && history[4 * v + 3] == 0.0f) << v;
    }
}

TEST(FilterProcessing, VoicesFilteredTogetherComeOutAsFilteredAlone) {
    // One to nine voices (a pair, a pair and a half, a full group of four
    // and groups after it), each with its own tuning, input and history,
    // over two blocks so that the written-back histories are used again.
    FlushToZero ftz;
    constexpr uint32_t kMax = 9, kN = 300;
    for (uint32_t type = 0; type < 4; ++type) {
        for (uint32_t voices = 1; voices <= kMax; ++voices) {
            FilterState together[kMax], alone[kMax];
            std::vector<float> tL(kMax * kN), tR(kMax * kN), aL(kMax * kN), aR(kMax * kN);
            FilterState* states[kMax];
            float* lefts[kMax];
            float* rights[kMax];
            for (uint32_t v = 0; v < voices; ++v) {
                together[v] = makeFilter(type, 0.1f + 0.09f * float(v), 0.8f - 0.07f * float(v));
                alone[v] = together[v];
                fillNoise(&tL[v * kN], kN, 10 + v);
                fillNoise(&tR[v * kN], kN, 40 + v);
                states[v] = &together[v];
                lefts[v] = &tL[v * kN];
                rights[v] = &tR[v * kN];
            }
            aL = tL;
            aR = tR;
            for (uint32_t start : {0u, 200u}) {
                const uint32_t n = start == 0 ? 200 : kN - 200;
                float* l[kMax];
                float* r[kMax];
                for (uint32_t v = 0; v < voices; ++v) {
                    l[v] = lefts[v] + start;
                    r[v] = rights[v] + start;
                    runFilter(alone[v], kModeOf[type], &aL[v * kN + start], &aR[v * kN + start], n);
                }
                runFilters(states, l, r, voices, kModeOf[type], n);
            }
            EXPECT_TRUE(bytesEqual(tL.data(), aL.data(), voices * kN * sizeof(float)) &&
                        bytesEqual(tR.data(), aR.data(), voices * kN * sizeof(float)))
                << "type " << type << ", " << voices << " voices";
            for (uint32_t v = 0; v < voices; ++v)
                EXPECT_TRUE(bytesEqual(&together[v], &alone[v], sizeof(FilterState))) << type << " voice " << v;
        }
    }
}

TEST(FilterProcessing, LongTailsLeaveNoSubnormalHistoryUnderFlushToZero) {
    FlushToZero mode;
    for (uint32_t type = 0; type < 4; ++type) {
        FilterState s = makeFilter(type, 0.3f, 0.5f);
        float left[512] = {1.0f}, right[512] = {-1.0f};
        int subnormals = 0;
        for (int block = 0; block < 3000; ++block) {  // 35 s of tail
            runFilter(s, kModeOf[type], left, right, 512);
            const float* history = reinterpret_cast<const float*>(&s);
            for (int i = 0; i < 40; ++i) subnormals += std::fpclassify(history[i]) == FP_SUBNORMAL;
            fillWords(left, 0, sizeof left);
            fillWords(right, 0, sizeof right);
        }
        EXPECT_EQ(subnormals, 0) << type;
    }
}
