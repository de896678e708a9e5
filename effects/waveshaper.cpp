// Waveshaper: the curve is rebuilt only when P84 changes, then each sample is
// one table look-up.
#include "effects/waveshaper.h"

#include <emmintrin.h>

#include "runtime/math.h"
#include "runtime/params.h"

namespace {

// Entries not yet computed for the current exponent hold this; every real
// entry is a power of a base in [0, 1) with an exponent of 0 or more, so it
// lies in [0, 1].
constexpr float kNotComputed = -1.0f;

// curve[i] for the current exponent, computed on first use: a block reads at
// most 1,024 of the 32,768 entries, so a change of P84 costs a fill instead
// of 32,768 powers.
inline float curveEntry(float* curve, uint32_t i, float exponent) {
    float v = curve[i];
    if (v == kNotComputed) {
        // i x 2^-15 is exact; power(0, a) is 0 for every a.
        v = power(float(i) * (1.0f / 32768.0f), exponent);
        curve[i] = v;
    }
    return v;
}

void shapeChannel(float* curve, float exponent, float* samples, uint32_t n) {
    // Magnitude, index and sign four samples to a vector, the look-ups one by
    // one; each lane computes what the scalar loop below does.
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    const __m128 zero = _mm_setzero_ps();
    const __m128 signBit = _mm_set1_ps(-0.0f);
    const __m128 scale = _mm_set1_ps(32767.0f);
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(samples + i);
        const __m128 magnitude = _mm_andnot_ps(signBit, x);
        const __m128 below = _mm_cmplt_ps(magnitude, one);  // false for NaN
        const __m128 m = _mm_or_ps(_mm_and_ps(below, magnitude), _mm_andnot_ps(below, one));
        alignas(16) int32_t index[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_cvttps_epi32(_mm_mul_ps(m, scale)));
        const __m128 entry = _mm_setr_ps(curveEntry(curve, uint32_t(index[0]), exponent),
                                         curveEntry(curve, uint32_t(index[1]), exponent),
                                         curveEntry(curve, uint32_t(index[2]), exponent),
                                         curveEntry(curve, uint32_t(index[3]), exponent));
        const __m128 sign = _mm_or_ps(_mm_and_ps(_mm_cmpgt_ps(x, zero), one), _mm_and_ps(_mm_cmplt_ps(x, zero), minusOne));
        _mm_storeu_ps(samples + i, _mm_mul_ps(entry, sign));
    }
    for (; i < n; ++i) {
        const float x = samples[i];
        // Magnitudes of 1 and more (and NaN) read the last entry; the index
        // reaches 32,767 at most.
        const float m = absLess(x, 1.0f) ? absValue(x) : 1.0f;
        const float sign = x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f);
        samples[i] = curveEntry(curve, uint32_t(m * 32767.0f), exponent) * sign;
    }
}

}  // namespace

EffectUnit* createWaveshaper() {
    Waveshaper* unit = allocateUnit<Waveshaper>();
    // No exponent can be negative (see below), so the first block builds the curve.
    if (unit != nullptr) unit->exponent = -1.0f;
    return unit;
}

namespace {

// The curve's exponent for P84; a new one marks every entry as not computed.
// P84 above 1 would make the exponent negative and the curve explode
// towards 2^23 near zero; shape 1 (hard sign) is the strongest there is.
float matchExponent(Waveshaper& shaper, const float* params) {
    const float a = 1.0f - minOf(params[kShaperAmount], 1.0f);
    if (a != shaper.exponent) {
        shaper.exponent = a;
        for (uint32_t i = 0; i < kWaveshaperCurveSize; ++i) shaper.curve[i] = kNotComputed;
    }
    return a;
}

}  // namespace

void prepareWaveshaper(EffectUnit* unit, const float* params) {
    auto* shaper = static_cast<Waveshaper*>(unit);
    const float a = matchExponent(*shaper, params);
    for (uint32_t i = 0; i < kWaveshaperCurveSize; ++i) curveEntry(shaper->curve, i, a);
}

void processWaveshaper(EffectUnit* unit, uint32_t, const float* params, float* busL, float* busR,
                       uint32_t count) {
    auto* shaper = static_cast<Waveshaper*>(unit);
    const float a = matchExponent(*shaper, params);
    shapeChannel(shaper->curve, a, busL, count);
    shapeChannel(shaper->curve, a, busR, count);
}
