// The program's own scalar math. Where a result is formed in extended
// precision (long double, 80-bit x87 here) it is rounded to float once.
#include "runtime/math.h"

#include <xmmintrin.h>

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

namespace {

float powerExtended(float base, float exponent) {
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

}  // namespace

float power(float base, float exponent) {
#if defined(__GLIBC__) && defined(__x86_64__)
    // The extended-precision form costs about 110 ns (two x87 transcendental
    // instructions), and the waveshaper's curve alone takes 32,768 of them.
    // glibc's double pow is within one double ulp (2^-52) of the true power
    // and the extended form within 2^-55 for results in the normal float
    // range, so when every value within 2^-46 of the double result rounds to
    // the same float, the extended form rounds to that float as well. Only
    // where that fails (about one result in two million), and outside the
    // normal range, where a double-to-float conversion would flush a
    // denormal that the x87 keeps, does the extended form run. Both
    // roundings are to nearest, the mode this program keeps (MXCSR bits 13
    // and 14 clear); under another mode the extended form runs.
    if (base > 0.0f && base < INFINITY && std::isfinite(exponent) && (_mm_getcsr() & 0x6000u) == 0) {
        const double v = std::pow(double(base), double(exponent));
        if (v >= 0x1p-125 && v <= 0x1p127) {
            const float low = float(v * (1.0 - 0x1p-46));
            if (low == float(v * (1.0 + 0x1p-46))) return low;
        }
    }
#endif
    return powerExtended(base, exponent);
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
