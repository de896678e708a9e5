// The program's own math definitions where they differ from a usual library,
// the Park-Miller sequence, the counter pin and the MXCSR flag table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>
#include <xmmintrin.h>

#include "runtime/counter.h"
#include "runtime/exit_callbacks.h"
#include "runtime/float_mode.h"
#include "runtime/math.h"
#include "runtime/random.h"

TEST(Math, FloorModRoundHalfUpAndFloorIntFollowTheirOwnDefinitions) {
    EXPECT_EQ(floorMod(-1.0f, 3.0f), 2.0f);
    EXPECT_EQ(floorMod(5.5f, 2.0f), 1.5f);
    EXPECT_EQ(roundHalfUp(-0.5f), 0.0f);
    EXPECT_EQ(roundHalfUp(2.5f), 3.0f);
    EXPECT_EQ(roundHalfUp(-1.5f), -1.0f);
    // 0.49999997 + 0.5 rounds to 1.0 in single precision before the floor.
    EXPECT_EQ(roundHalfUp(0.49999997f), 1.0f);
    EXPECT_EQ(floorInt(-0.5f), -1.0f);
    EXPECT_EQ(floorInt(3.0f), 3.0f);
    EXPECT_EQ(floorInt(-3.0f), -3.0f);
    EXPECT_EQ(floorInt(3e9f), -2147483648.0f);
    EXPECT_EQ(floorInt(-3e9f), -2147483648.0f);
    EXPECT_EQ(floorInt(NAN), -2147483648.0f);
}

TEST(Math, PowerIsZeroForZeroOrNegativeBaseAndSaturatesOutOfRange) {
    EXPECT_EQ(power(0.0f, 0.0f), 0.0f);
    EXPECT_EQ(power(-8.0f, 1.0f / 3.0f), 0.0f);
    EXPECT_EQ(power(-2.0f, 0.0f), 0.0f);
    EXPECT_EQ(power(2.0f, 10.0f), 1024.0f);
    EXPECT_EQ(power(2.0f, 0.5f), std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(power(2.7182817f, 1.3862489f), float(std::pow(2.7182817, 1.3862489)));
    EXPECT_EQ(power(2.0f, 20000.0f), INFINITY);
    EXPECT_EQ(power(2.0f, -20000.0f), 0.0f);
    EXPECT_EQ(power(2.0f, 1e30f), INFINITY);
    EXPECT_EQ(power(2.0f, -1e30f), 0.0f);
}

// power is the extended-precision power rounded once, whichever way it is
// computed: every entry of the waveshaper's curve for every shape a song
// byte can give, then a million random pairs over the whole float range,
// in the audio thread's flush-to-zero mode (a flushed denormal would differ)
// and under upward rounding (where the double shortcut would round its own
// way).
TEST(Math, PowerRoundsLikeTheExtendedPrecisionPower) {
    auto extended = [](float base, float exponent) {
        if (base == 0.0f) return 0.0f;
        const long double y = (long double)exponent * log2l(base);
        if (std::isnan(y)) return 0.0f;
        if (y >= 2147483647.5L) return INFINITY;
        if (y < -2147483648.5L) return 0.0f;
        const int32_t n = int32_t(rintl(y));
        if (int64_t(n) + 16383 <= 0) return 0.0f;
        if (int64_t(n) + 16383 >= 32768) return INFINITY;
        return float(exp2l(y - n) * ldexpl(1.0L, n));
    };
    auto same = [](float a, float b) { return std::memcmp(&a, &b, 4) == 0 || (std::isnan(a) && std::isnan(b)); };
    const uint32_t savedMode = _mm_getcsr();
    setFloatMode(kRenderFloatMode);
    for (uint32_t byte = 0; byte <= 100; ++byte) {
        const float a = 1.0f - float(byte) * 0.01f;
        for (uint32_t i = 0; i < 32768; ++i) {
            const float base = float(i) * (1.0f / 32768.0f);
            ASSERT_TRUE(same(power(base, a), extended(base, a))) << base << " ^ " << a;
        }
    }
    Random random;
    random.seed(99);
    for (uint32_t mode : {kRenderFloatMode, 0x04u | kRenderFloatMode}) {
        setFloatMode(mode);
        for (int n = 0; n < 500000; ++n) {
            const uint32_t baseBits = uint32_t(random.rangeInt(0, 0x7F800001));
            float base;
            std::memcpy(&base, &baseBits, 4);
            const float exponent = n % 2 == 0 ? random.range(-3.0f, 3.0f) : random.range(-300.0f, 300.0f);
            ASSERT_TRUE(same(power(base, exponent), extended(base, exponent))) << base << " ^ " << exponent << " mode " << mode;
        }
    }
    _mm_setcsr(savedMode);
    for (float base : {0.0f, -0.0f, -2.0f, INFINITY, NAN, 1.0f, 0x1p-149f})
        for (float exponent : {0.0f, 2.0f, -2.0f, INFINITY, -INFINITY, NAN})
            EXPECT_TRUE(same(power(base, exponent), extended(base, exponent))) << base << " ^ " << exponent;
}

TEST(Math, ExponentialAndFriends) {
    EXPECT_EQ(exponential(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(exponential(1.0f), 2.7182817f);
    EXPECT_FLOAT_EQ(exponential(-2.5f), std::exp(-2.5f));
    EXPECT_EQ(exponential(-1000.0f), 0.0f);
    EXPECT_EQ(exponential(1000.0f), INFINITY);
    EXPECT_FLOAT_EQ(hyperbolicSine(1.0f), std::sinh(1.0f));
    EXPECT_FLOAT_EQ(logBase10(1000.0f), 3.0f);
    float s, c;
    sinCosRad(0.5f, &s, &c);
    EXPECT_EQ(s, sinRad(0.5f));
    EXPECT_EQ(c, cosRad(0.5f));
    EXPECT_FLOAT_EQ(s, std::sin(0.5f));
}

// The cosine is the extended-precision one rounded to float, whichever way
// it is computed, one at a time or a block at a time: a sample of every
// 4,099th float across the double-precision range and beyond it on both
// sides (the slow test checks all), then the edges, an odd count and values
// the block form leaves to cosRad.
TEST(Math, CosineRoundsLikeTheExtendedPrecisionCosine) {
    std::vector<float> x;
    for (uint32_t u = 0x30000000u; u < 0x4F000000u; u += 4099u) {
        float v;
        std::memcpy(&v, &u, 4);
        x.push_back(v);
        x.push_back(-v);
    }
    EXPECT_GT(x.size(), 200000u);
    for (float v : {0.0f, -0.0f, 0x1p-13f, 1023.99994f, 1024.0f, 1e6f, 3.1415927f, 0.7853982f, 1.5707964f})
        x.push_back(v);
    std::vector<float> block(x.size());
    cosRadBlock(x.data(), block.data(), uint32_t(x.size()));
    for (size_t i = 0; i < x.size(); ++i) {
        ASSERT_EQ(cosRad(x[i]), float(cosl(x[i]))) << x[i];
        ASSERT_EQ(block[i], float(cosl(x[i]))) << x[i];
    }
    const float odd[3] = {NAN, INFINITY, 2.0f};
    float oddOut[3];
    cosRadBlock(odd, oddOut, 3);
    EXPECT_TRUE(std::isnan(cosRad(NAN)) && std::isnan(oddOut[0]));
    EXPECT_TRUE(std::isnan(cosRad(INFINITY)) && std::isnan(oddOut[1]));
    EXPECT_EQ(oddOut[2], cosRad(2.0f));
}

TEST(Math, ComparisonsAndClamps) {
    EXPECT_EQ(clamp(0.0f, 5.0f, 1.0f), 1.0f);
    EXPECT_EQ(clamp(0.0f, -5.0f, 1.0f), 0.0f);
    EXPECT_FALSE(absLess(-0.5f, 0.5f));
    EXPECT_TRUE(absLess(-0.49f, 0.5f));
    // Equal arguments give the second one: visible with signed zeros.
    EXPECT_TRUE(std::signbit(maxOf(0.0f, -0.0f)));
    EXPECT_TRUE(std::signbit(minOf(0.0f, -0.0f)));
    EXPECT_EQ(lerp(2.0f, 4.0f, 0.25f), 2.5f);
    EXPECT_EQ(minUnsigned(3u, 0xFFFFFFFFu), 3u);
    EXPECT_EQ(setWordBit(0x1F80, 15, true), 0x9F80);
    EXPECT_EQ(setWordBit(0x9F80, 15, false), 0x1F80);
    EXPECT_TRUE(testBit(0x80000000u, 31));
    EXPECT_FALSE(testBit(0x7FFFFFFFu, 31));
}

TEST(Random, ParkMillerSequenceAndSeeding) {
    Random r;
    EXPECT_EQ(r.next(), 16807u);
    EXPECT_EQ(r.next(), 282475249u);
    r.seed(0xFFFFFFFFu);
    EXPECT_EQ(r.state, 1u);
    r.seed(0);
    EXPECT_EQ(r.state, 1u);
    // Reference: the 10,000th value of the minimal standard generator from 1.
    Random m;
    uint32_t value = 0;
    for (int i = 0; i < 10000; ++i) value = m.next();
    EXPECT_EQ(value, 1043618065u);
    // A state at or above 2^31 (possible from the clock) is stepped as written.
    Random big;
    big.state = 0xFFFFFFFEu;
    EXPECT_LE(big.next(), 0x80000000u);
}

TEST(Random, UnitRangesStayInBounds) {
    Random r;
    r.seed(12345);
    bool seen[7] = {};
    for (int i = 0; i < 10000; ++i) {
        const float u = r.nextUnit();
        EXPECT_GE(u, 0.0f);
        EXPECT_LE(u, 1.0f);
        const uint32_t k = r.rangeInt(0, 7);
        ASSERT_LT(k, 7u);
        seen[k] = true;
        const float x = r.range(-2.0f, 3.0f);
        EXPECT_GE(x, -2.0f);
        EXPECT_LE(x, 3.0f);
    }
    for (bool s : seen) EXPECT_TRUE(s);
    // Steps of 2147483583 and above round to 2^31 as floats, so nextUnit
    // gives exactly 1 there (411174057 steps to 2147483600).
    r.state = 411174057u;
    EXPECT_EQ(r.nextUnit(), 1.0f);
    EXPECT_EQ(r.state, 2147483600u);
}

TEST(Counter, PinnedCounterMakesSeedsReproducible) {
    pinCounter(41);
    Random a, b;
    a.seedFromClock();
    b.seedFromClock();
    EXPECT_EQ(a.state, 42u);
    EXPECT_EQ(a.next(), b.next());
    pinCounter(0x1234567800000005ull);  // only the low 32 bits seed
    a.seedFromClock();
    EXPECT_EQ(a.state, 6u);
    unpinCounter();
    const uint64_t t0 = readCounter();
    const uint64_t t1 = readCounter();
    EXPECT_GE(t1, t0);
    EXPECT_NE(t0, 0x1234567800000005ull);
}

TEST(FloatMode, FlagsMapOntoMxcsr) {
    EXPECT_EQ(floatModeValue(0x21), 0x9F80u);
    EXPECT_EQ(floatModeValue(0x01), 0x9F80u);
    EXPECT_EQ(floatModeValue(0x00), 0x1F80u);
    EXPECT_EQ(floatModeValue(0x02), 0x1FC0u);
    EXPECT_EQ(floatModeValue(0x04), 0x5F80u);  // round up
    EXPECT_EQ(floatModeValue(0x08), 0x3F80u);  // round down
    EXPECT_EQ(floatModeValue(0x10), 0x7F80u);  // toward zero
    const unsigned saved = _mm_getcsr();
    setFloatMode(0x21);
    EXPECT_EQ(_mm_getcsr() & 0xFFC0u, 0x9F80u);
    volatile float tiny = 1e-38f;
    EXPECT_EQ(tiny * 1e-5f, 0.0f);  // a denormal result is flushed
    _mm_setcsr(saved);
}

namespace {
int order[40];
int calls = 0;
int32_t first() { order[calls++] = 1; return 0; }
int32_t second() { order[calls++] = 2; return 0; }
void initialiser() { registerExitCallback(first); }
}  // namespace

TEST(ExitCallbacks, RunInRegistrationOrderAndRefuseThe33rd) {
    clearExitCallbacks();
    const Initialiser table[] = {nullptr, initialiser, nullptr};
    runInitialisers(table, table + 3);
    EXPECT_EQ(registerExitCallback(second), 0);
    for (int i = 2; i < 32; ++i) EXPECT_EQ(registerExitCallback(second), 0);
    EXPECT_EQ(registerExitCallback(first), -1);
    calls = 0;
    runExitCallbacks();
    EXPECT_EQ(calls, 32);
    EXPECT_EQ(order[0], 1);
    EXPECT_EQ(order[1], 2);
    clearExitCallbacks();
    calls = 0;
    runExitCallbacks();
    EXPECT_EQ(calls, 0);
}
