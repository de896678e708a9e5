// Scalar math on 32-bit floats with this program's own definitions (floor,
// modulo, rounding and power differ from the usual library functions), and
// two bit operations. Pure functions, safe on any thread.
#pragma once
#include <cstdint>

// Pi and its relatives as the floats the DSP code computes with: the nearest
// single-precision values, whatever literal a file once spelled them with.
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kInvTwoPi = 0.15915494f;

// |x|
float absValue(float x);
// |a| < b, strictly.
bool absLess(float a, float b);
// Cosine and sine through extended precision, rounded to float.
float cosRad(float x);
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
float floorInt(float x);
// floorInt(x + 0.5) with the sum rounded to single precision.
float roundHalfUp(float x);
// a - floorInt(a / b) * b: the sign follows the divisor.
float floorMod(float a, float b);
// lo if v < lo, else hi if v > hi, else v.
float clamp(float lo, float v, float hi);
// a + (b - a) * t
float lerp(float a, float b, float t);
// a if a > b, else b (so equal arguments give the second).
float maxOf(float a, float b);
// a if a < b, else b.
float minOf(float a, float b);
// The smaller of two unsigned values.
uint32_t minUnsigned(uint32_t a, uint32_t b);

// Sets (on) or clears bit n of a 16-bit word.
uint16_t setWordBit(uint16_t word, uint32_t n, bool on);
// Whether bit n of value is set.
bool testBit(uint32_t value, uint32_t n);
