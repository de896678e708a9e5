// ThreeBandEq: the mid band is what the low and high bands leave of the input
// delayed by three frames, so neutral gains give the input back three frames
// late (up to rounding).
#include "effects/three_band_eq.h"

#include <xmmintrin.h>

#include "runtime/math.h"
#include "runtime/params.h"

namespace {

// pi x 880 and pi x 5,000 as the floats the crossover coefficients use.
constexpr float kLowCrossoverAngle = 2764.6015625f;
constexpr float kHighCrossoverAngle = 15707.9638671875f;

struct BandGains {
    float low, mid, high;
};

// Both channels at once: lanes 0 and 1 run the left and right low-pass
// chains, lanes 2 and 3 the high-pass chains (the same one-pole recursion
// with the other coefficient), each lane with the arithmetic of the scalar
// recursion.
void equalise(EqChannel& left, EqChannel& right, float lf, float hf, BandGains gains, float* busL, float* busR,
              uint32_t n) {
    const __m128 coef = _mm_setr_ps(lf, lf, hf, hf);
    __m128 y1 = _mm_setr_ps(left.low[0], right.low[0], left.high[0], right.high[0]);
    __m128 y2 = _mm_setr_ps(left.low[1], right.low[1], left.high[1], right.high[1]);
    __m128 y3 = _mm_setr_ps(left.low[2], right.low[2], left.high[2], right.high[2]);
    __m128 y4 = _mm_setr_ps(left.low[3], right.low[3], left.high[3], right.high[3]);
    // Input delays, left and right in lanes 0 and 1.
    __m128 s1 = _mm_setr_ps(left.delay[0], right.delay[0], 0.0f, 0.0f);
    __m128 s2 = _mm_setr_ps(left.delay[1], right.delay[1], 0.0f, 0.0f);
    __m128 s3 = _mm_setr_ps(left.delay[2], right.delay[2], 0.0f, 0.0f);
    const __m128 gLow = _mm_set1_ps(gains.low);
    const __m128 gMid = _mm_set1_ps(gains.mid);
    const __m128 gHigh = _mm_set1_ps(gains.high);
    for (uint32_t i = 0; i < n; ++i) {
        const __m128 x = _mm_unpacklo_ps(_mm_load_ss(busL + i), _mm_load_ss(busR + i));
        const __m128 xx = _mm_movelh_ps(x, x);
        y1 = _mm_add_ps(y1, _mm_mul_ps(coef, _mm_sub_ps(xx, y1)));
        y2 = _mm_add_ps(y2, _mm_mul_ps(coef, _mm_sub_ps(y1, y2)));
        y3 = _mm_add_ps(y3, _mm_mul_ps(coef, _mm_sub_ps(y2, y3)));
        y4 = _mm_add_ps(y4, _mm_mul_ps(coef, _mm_sub_ps(y3, y4)));
        const __m128 low = y4;
        const __m128 high = _mm_sub_ps(s3, _mm_movehl_ps(y4, y4));
        const __m128 mid = _mm_sub_ps(s3, _mm_add_ps(high, low));
        s3 = s2;
        s2 = s1;
        s1 = x;
        const __m128 out =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(low, gLow), _mm_mul_ps(mid, gMid)), _mm_mul_ps(high, gHigh));
        _mm_store_ss(busL + i, out);
        _mm_store_ss(busR + i, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
    }
    alignas(16) float v[4][4], d[3][4];
    _mm_store_ps(v[0], y1);
    _mm_store_ps(v[1], y2);
    _mm_store_ps(v[2], y3);
    _mm_store_ps(v[3], y4);
    _mm_store_ps(d[0], s1);
    _mm_store_ps(d[1], s2);
    _mm_store_ps(d[2], s3);
    // The render runs with flush-to-zero; this keeps the poles clean even for
    // a caller that does not.
    for (int k = 0; k < 4; ++k) {
        left.low[k] = flushTiny(v[k][0]);
        right.low[k] = flushTiny(v[k][1]);
        left.high[k] = flushTiny(v[k][2]);
        right.high[k] = flushTiny(v[k][3]);
    }
    for (int k = 0; k < 3; ++k) {
        left.delay[k] = d[k][0];
        right.delay[k] = d[k][1];
    }
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
    equalise(eq->left, eq->right, lf, hf, gains, busL, busR, count);
}
