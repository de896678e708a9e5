// ThreeBandEq: the mid band is what the low and high bands leave of the input
// delayed by three frames, so neutral gains give the input back three frames
// late (up to rounding).
#include "effects/three_band_eq.h"

#include "runtime/math.h"
#include "runtime/params.h"

namespace {

// pi x 880 and pi x 5,000 as the floats the crossover coefficients use.
constexpr float kLowCrossoverAngle = 2764.6015625f;
constexpr float kHighCrossoverAngle = 15707.9638671875f;

struct BandGains {
    float low, mid, high;
};

void equaliseChannel(EqChannel& state, float lf, float hf, BandGains gains, float* samples,
                     uint32_t n) {
    float l1 = state.low[0], l2 = state.low[1], l3 = state.low[2], l4 = state.low[3];
    float p1 = state.high[0], p2 = state.high[1], p3 = state.high[2], p4 = state.high[3];
    float s1 = state.delay[0], s2 = state.delay[1], s3 = state.delay[2];
    for (uint32_t i = 0; i < n; ++i) {
        const float x = samples[i];
        l1 += lf * (x - l1);
        l2 += lf * (l1 - l2);
        l3 += lf * (l2 - l3);
        l4 += lf * (l3 - l4);
        const float low = l4;
        p1 += hf * (x - p1);
        p2 += hf * (p1 - p2);
        p3 += hf * (p2 - p3);
        p4 += hf * (p3 - p4);
        const float high = s3 - p4;
        const float mid = s3 - (high + low);
        s3 = s2;
        s2 = s1;
        s1 = x;
        samples[i] = low * gains.low + mid * gains.mid + high * gains.high;
    }
    // The render runs with flush-to-zero; this keeps the poles clean even for
    // a caller that does not.
    state.low[0] = flushTiny(l1);
    state.low[1] = flushTiny(l2);
    state.low[2] = flushTiny(l3);
    state.low[3] = flushTiny(l4);
    state.high[0] = flushTiny(p1);
    state.high[1] = flushTiny(p2);
    state.high[2] = flushTiny(p3);
    state.high[3] = flushTiny(p4);
    state.delay[0] = s1;
    state.delay[1] = s2;
    state.delay[2] = s3;
}

}  // namespace

float eqBandGain(float x) {
    if (x <= 0.5f) return 2.0f * x;
    const float t = (x - 0.5f) * 2.0f;
    return t * t * 10.0f + 1.0f;
}

EffectUnit* createThreeBandEq() {
    return allocateUnit<ThreeBandEq>();
}

void processThreeBandEq(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                        float* busR, uint32_t count) {
    auto* eq = static_cast<ThreeBandEq*>(unit);
    const BandGains gains{eqBandGain(params[kEqLow]), eqBandGain(params[kEqMid]),
                          eqBandGain(params[kEqHigh])};
    const float rate = float(sampleRate);
    const float lf = 2.0f * sinRad(kLowCrossoverAngle / rate);
    const float hf = 2.0f * sinRad(kHighCrossoverAngle / rate);
    equaliseChannel(eq->left, lf, hf, gains, busL, count);
    equaliseChannel(eq->right, lf, hf, gains, busR, count);
}
