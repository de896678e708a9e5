// The voice noise source: the audibility threshold, the band-width switch,
// table wrap-around, the band's two edges and decorrelated channels.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runtime/counter.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "voice/filter.h"
#include "voice/noise.h"
#include "runtime/params.h"

namespace {

struct NoiseTest : testing::Test {
    FilterState hp, lp;
    NoiseState noise{};
    std::vector<float> table = std::vector<float>(65536);
    float params[kParamCount] = {};
    float left[512], right[512];

    void SetUp() override {
        Random random;
        random.seed(7);
        for (float& v : table) v = random.range(-1.0f, 1.0f);
        noise.hp = &hp;
        noise.lp = &lp;
        pinCounter(12345);
        initNoise(noise);
    }
    void TearDown() override { unpinCounter(); }

    // P17 level, P18 band centre, P19 band half-width.
    void setup(float level, float centre, float width, float levelMod = 1.0f, float amp = 1.0f) {
        params[kNoiseLevel] = level;
        params[kNoiseCentre] = centre;
        params[kNoiseWidth] = width;
        setupNoise(noise, 44100, params, levelMod, amp);
    }
    // The band edge that setupNoise should have made.
    FilterState makeFilterLike(float cutoff, uint32_t type) {
        FilterState s;
        setFilter(s, 44100, cutoff, 0.05f, type);
        return s;
    }
    void render(uint32_t count = 512) {
        for (uint32_t i = 0; i < count; ++i) left[i] = right[i] = 123.0f;  // stale voice data
        renderNoise(noise, table.data(), left, right, count);
    }
};

}  // namespace

TEST_F(NoiseTest, LevelOfOneHundredthOrLessClearsTheBlock) {
    setup(0.5f, 0.5f, 1.0f, 0.04f, 0.5f);  // 0.5 * 0.5 * 0.04 = 0.01 exactly
    ASSERT_EQ(noise.level, 0.01f);
    const uint32_t posL = noise.posL;
    render();
    for (int i = 0; i < 512; ++i) ASSERT_TRUE(left[i] == 0.0f && right[i] == 0.0f) << i;
    setup(std::nextafter(0.01f, 1.0f), 0.5f, 1.0f);
    render();
    EXPECT_NE(left[0], 0.0f);
    EXPECT_EQ(noise.posL, posL + 512);  // silent blocks do not advance
}

TEST_F(NoiseTest, WideBandPlaysTheRawTableAndWrapsAtItsEnd) {
    setup(0.5f, 0.5f, 0.99f);
    noise.posL = 65534;
    const uint32_t posR = noise.posR;
    render(4);
    EXPECT_EQ(left[0], table[65534] * 0.5f);
    EXPECT_EQ(left[2], table[0] * 0.5f);
    EXPECT_EQ(right[3], table[posR + 3] * 0.5f);
    EXPECT_EQ(noise.posL, 2u);
}

TEST_F(NoiseTest, NarrowerBandRunsLadderAtCentrePlusWidthThenHighPassAtCentreMinusWidth) {
    setup(0.5f, 0.5f, 0.98999995f);  // parameter byte 99 still filters
    FilterState refLp = makeFilterLike(0.5f + 0.98999995f, kFilterLadder);
    FilterState refHp = makeFilterLike(0.5f - 0.98999995f, kFilterHighPass);
    const uint32_t posL = noise.posL, posR = noise.posR;
    render();
    float expectL[512], expectR[512];
    for (uint32_t i = 0; i < 512; ++i) expectL[i] = table[posL + i] * 0.5f, expectR[i] = table[posR + i] * 0.5f;
    runFilter(refLp, kRunLadder, expectL, expectR, 512);
    runFilter(refHp, kRunBiquad, expectL, expectR, 512);
    EXPECT_TRUE(bytesEqual(left, expectL, sizeof left) && bytesEqual(right, expectR, sizeof right));

    const FilterState before = hp;  // a silent block leaves the band alone
    setup(0.0f, 0.9f, 0.05f);
    EXPECT_TRUE(bytesEqual(&hp, &before, sizeof hp));
}

TEST_F(NoiseTest, ChannelsStartApartAndStayDecorrelated) {
    for (uint64_t pin : {1ull, 999ull, 4000000000ull}) {
        pinCounter(pin);
        initNoise(noise);
        EXPECT_TRUE(noise.posL < 32768 && noise.posR < 32768 && noise.posL != noise.posR) << pin;
        setup(1.0f, 0.5f, 1.0f);
        double lr = 0.0, ll = 0.0, rr = 0.0;
        for (int block = 0; block < 16; ++block) {
            render();
            for (int i = 0; i < 512; ++i) lr += left[i] * right[i], ll += left[i] * left[i], rr += right[i] * right[i];
        }
        EXPECT_LT(std::fabs(lr / std::sqrt(ll * rr)), 0.05) << pin;
    }
}
