// Scalar math on 32-bit floats with this program's own definitions (floor,
// modulo, rounding and power differ from the usual library functions), and
// two bit operations. Pure functions, safe on any thread; the small ones are
// inline because the per-frame loops call them.
#pragma once
#include <cmath>
#include <cstdint>

// Pi and its relatives as the floats the DSP code computes with: the nearest
// single-precision values, whatever literal a file once spelled them with.
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kInvTwoPi = 0.15915494f;

// |x|
inline float absValue(float x) { return std::fabs(x); }
// |a| < b, strictly.
inline bool absLess(float a, float b) { return std::fabs(a) < b; }
// Cosine and sine through extended precision, rounded to float.
float cosRad(float x);
// out[i] = cosRad(x[i]) for n values, faster than one call each.
void cosRadBlock(const float* x, float* out, uint32_t n);
float sinRad(float x);
void sinCosRad(float x, float* sinOut, float* cosOut);
// Square root.
float squareRoot(float x);
// e^x as 2^r * 2^i with y = x*log2(e) split toward zero, in extended precision.
float exponential(float x);
// (e - 1/e) * 0.5 with e = exponential(x), in single precision.
float hyperbolicSine(float x);
// log2(x) / log2(10).
float logBase10(float x);
// base^exponent in extended precision; 0 for a zero or negative base, 0 or
// +infinity when the binary exponent leaves the representable range.
float power(float base, float exponent);
// Largest integer not above x, through a 32-bit signed integer; values
// outside that range (and NaN) give -2^31.
inline float floorInt(float x) {
    // The hardware's "integer indefinite" answer for out-of-range input.
    if (!(x >= -2147483648.0f && x < 2147483648.0f)) return -2147483648.0f;
    // floorf is exact, so this equals a conversion rounding toward -infinity.
    return float(int32_t(std::floor(x)));
}
// floorInt(x + 0.5) with the sum rounded to single precision.
inline float roundHalfUp(float x) { return floorInt(x + 0.5f); }  // SSE: the sum is rounded to single first
// a - floorInt(a / b) * b: the sign follows the divisor.
float floorMod(float a, float b);
// lo if v < lo, else hi if v > hi, else v.
inline float clamp(float lo, float v, float hi) {
    if (v < lo) return lo;
    if (v > hi) return hi;
    return v;
}
// a + (b - a) * t
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
// a if a > b, else b (so equal arguments give the second).
inline float maxOf(float a, float b) { return a > b ? a : b; }
// a if a < b, else b.
inline float minOf(float a, float b) { return a < b ? a : b; }
// The smaller of two unsigned values.
inline uint32_t minUnsigned(uint32_t a, uint32_t b) { return a < b ? a : b; }

// Sets (on) or clears bit n of a 16-bit word.
uint16_t setWordBit(uint16_t word, uint32_t n, bool on);
// Whether bit n of value is set.
bool testBit(uint32_t value, uint32_t n);
