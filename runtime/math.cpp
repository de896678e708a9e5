// The program's own scalar math. Where a result is formed in extended
// precision (long double, 80-bit x87 here) it is rounded to float once.
#include "runtime/math.h"

#include <cmath>

float cosRad(float x) {
#if defined(__GLIBC__) && defined(__x86_64__)
    // glibc's cosl reduces every argument beyond pi/4 with a many-word pi, at
    // several hundred instructions a call; the flanger makes two calls a
    // frame with phases that only grow. For every float with 2^-13 <= |x| <
    // 1024 the double-precision cosine rounds to the same float (checked
    // float by float: tests/slow/cosine_exhaustive_test.cpp), at a tenth of
    // the cost.
    const float magnitude = std::fabs(x);
    if (magnitude >= 0x1p-13f && magnitude < 1024.0f) return float(std::cos(double(x)));
#endif
    return float(cosl(x));
}

float sinRad(float x) {
    return float(sinl(x));
}

void sinCosRad(float x, float* sinOut, float* cosOut) {
    *sinOut = sinRad(x);
    *cosOut = cosRad(x);
}

float squareRoot(float x) {
    return std::sqrt(x);
}

float exponential(float x) {
    const long double y = (long double)x * 1.44269504088896340736L;  // log2(e)
    if (std::isnan(y)) return float(y);
    if (y > 20000.0L) return INFINITY;
    if (y < -20000.0L) return 0.0f;
    const long double i = truncl(y);
    return float(exp2l(y - i) * ldexpl(1.0L, int(i)));
}

float hyperbolicSine(float x) {
    const float e = exponential(x);
    return (e - 1.0f / e) * 0.5f;
}

float logBase10(float x) {
    return float(log2l(x) / log2l(10.0L));
}

float power(float base, float exponent) {
    if (base == 0.0f) return 0.0f;
    const long double y = (long double)exponent * log2l(base);
    if (std::isnan(y)) return 0.0f;  // negative base
    if (y >= 2147483647.5L) return INFINITY;
    if (y < -2147483648.5L) return 0.0f;
    const int32_t n = int32_t(rintl(y));
    const long double f = y - n;
    if (int64_t(n) + 16383 <= 0) return 0.0f;
    if (int64_t(n) + 16383 >= 32768) return INFINITY;
    return float(exp2l(f) * ldexpl(1.0L, n));
}

float floorMod(float a, float b) {
    return a - floorInt(a / b) * b;
}

uint16_t setWordBit(uint16_t word, uint32_t n, bool on) {
    const uint16_t mask = uint16_t(1u << n);
    return on ? uint16_t(word | mask) : uint16_t(word & ~mask);
}

bool testBit(uint32_t value, uint32_t n) {
    return ((value >> n) & 1u) != 0;
}
