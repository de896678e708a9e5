// Waveshaper: the curve is rebuilt only when P84 changes, then each sample is
// one table look-up.
#include "synth/effects/waveshaper.h"

#include "runtime/math.h"
#include "voice/params.h"

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
    for (uint32_t i = 0; i < n; ++i) {
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

void processWaveshaper(EffectUnit* unit, uint32_t, const float* params, float* busL, float* busR,
                       uint32_t count) {
    auto* shaper = static_cast<Waveshaper*>(unit);
    // P84 above 1 would make the exponent negative and the curve explode
    // towards 2^23 near zero; shape 1 (hard sign) is the strongest there is.
    const float a = 1.0f - minOf(params[kShaperAmount], 1.0f);
    if (a != shaper->exponent) {
        shaper->exponent = a;
        for (uint32_t i = 0; i < kWaveshaperCurveSize; ++i) shaper->curve[i] = kNotComputed;
    }
    shapeChannel(shaper->curve, a, busL, count);
    shapeChannel(shaper->curve, a, busR, count);
}
