// Voice filter coefficients and the per-frame filter loops. Each loop copies
// the history into registers, runs both channels as lanes 0 and 1 of one
// vector, and writes the history back at the end of the block.
#include "voice/filter.h"

#include "runtime/math.h"

namespace {

// Resonance stays below the ladder's self-oscillation point and keeps the
// notch's poles inside the unit circle.
constexpr float kMaxResonance = 0.85f;

// Cutoff in 0..1 to Hz with a square law: fine control at the low end.
float wideCutoffHz(float u) { return u * u * 20000.0f + 30.0f; }    // ladder, notch
float narrowCutoffHz(float u) { return u * u * 10000.0f + 30.0f; }  // high-pass, band-pass

void setLadder(FilterState& s, float u, float q, float sampleRate) {
    // Tuning polynomial of the four one-pole stages: k is each stage's
    // feedback (-1 at 0 Hz), p its input gain, and the resonance feedback is
    // raised as p falls to keep the resonance even across the range.
    const float f = 2.0f * wideCutoffHz(u) / sampleRate;
    s.k = 3.6f * f - 1.6f * f * f - 1.0f;
    s.p = (s.k + 1.0f) * 0.5f;
    s.r = q * power(2.7182817f, (1.0f - s.p) * 1.3862489f);
}

void setNotch(FilterState& s, float u, float q, float sampleRate) {
    // Zeros on the unit circle at w, poles at radius q on the same angle;
    // v lifts the pass band back towards unity as q falls.
    const float w = wideCutoffHz(u) * kTwoPi / sampleRate;
    const float cw = cosRad(w);
    const float oneMinusQ = 1.0f - q;
    const float v = oneMinusQ * oneMinusQ / (2.0f * (absValue(cw) + 1.0f)) + q;
    s.a0 = 1.0f;  // not applied: the others are already normalised
    s.b0 = v;
    s.b1 = -2.0f * cw * v;
    s.b2 = v;
    s.a1 = -2.0f * cw * q;
    s.a2 = q * q;
}

void setHighOrBandPass(FilterState& s, float u, float q, float sampleRate, bool highPass) {
    // Bandwidth form of the usual two-pole design with 1 - q as the width
    // and 0.5 * log10(2) as its factor. The gain at w0 is sw / (2 alpha).
    const float w0 = narrowCutoffHz(u) * kTwoPi / sampleRate;
    const float cw = cosRad(w0);
    const float sw = sinRad(w0);
    const float alpha = hyperbolicSine(0.5f * logBase10(2.0f) * (1.0f - q) * w0 / sw) * sw;
    float b0, b1, b2;
    if (highPass) {
        b0 = (1.0f + cw) * 0.5f;
        b1 = -(1.0f + cw);
        b2 = (1.0f + cw) * 0.5f;
    } else {
        b0 = sw * 0.5f;
        b1 = 0.0f;
        b2 = -sw * 0.5f;
    }
    s.a0 = 1.0f + alpha;
    const float inv = 1.0f / s.a0;
    s.a1 = -2.0f * cw * inv;
    s.a2 = (1.0f - alpha) * inv;
    s.b0 = b0 * inv;
    s.b1 = b1 * inv;
    s.b2 = b2 * inv;
}

// Left in lane 0, right in lane 1, zeros above.
inline __m128 loadFrame(const float* left, const float* right, uint32_t i) {
    return _mm_unpacklo_ps(_mm_load_ss(left + i), _mm_load_ss(right + i));
}

inline void storeFrame(__m128 v, float* left, float* right, uint32_t i) {
    _mm_store_ss(left + i, v);
    _mm_store_ss(right + i, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
}

// One ladder stage: y' = p x + p x_prev - k y.
inline __m128 ladderStage(__m128 p, __m128 k, __m128 x, __m128 xPrev, __m128 y) {
    return _mm_sub_ps(_mm_add_ps(_mm_mul_ps(p, x), _mm_mul_ps(p, xPrev)), _mm_mul_ps(k, y));
}

void runLadder(FilterState& s, float* left, float* right, uint32_t count) {
    const __m128 k = _mm_set1_ps(s.k);
    const __m128 p = _mm_set1_ps(s.p);
    const __m128 r = _mm_set1_ps(s.r);
    const __m128 sixth = _mm_set1_ps(0.16666667f);
    __m128 xPrev = s.ladderX, y1 = s.ladderY1, y2 = s.ladderY2, y3 = s.ladderY3, y4 = s.ladderY4;
    for (uint32_t i = 0; i < count; ++i) {
        const __m128 x = _mm_sub_ps(loadFrame(left, right, i), _mm_mul_ps(r, y4));
        const __m128 n1 = ladderStage(p, k, x, xPrev, y1);
        const __m128 n2 = ladderStage(p, k, n1, y1, y2);
        const __m128 n3 = ladderStage(p, k, n2, y2, y3);
        const __m128 n4 = ladderStage(p, k, n3, y3, y4);
        // Soft saturation of the output only: the history keeps n4 itself.
        const __m128 cube = _mm_mul_ps(_mm_mul_ps(n4, n4), n4);
        storeFrame(_mm_sub_ps(n4, _mm_mul_ps(cube, sixth)), left, right, i);
        xPrev = x;
        y1 = n1;
        y2 = n2;
        y3 = n3;
        y4 = n4;
    }
    s.ladderX = xPrev;
    s.ladderY1 = y1;
    s.ladderY2 = y2;
    s.ladderY3 = y3;
    s.ladderY4 = y4;
}

// b0 u0 + b1 u1 + b2 u2 - a1 y1 - a2 y2, summed left to right.
inline __m128 biquadSum(const __m128* c, __m128 u0, __m128 u1, __m128 u2, __m128 y1, __m128 y2) {
    __m128 sum = _mm_add_ps(_mm_mul_ps(c[0], u0), _mm_mul_ps(c[1], u1));
    sum = _mm_add_ps(sum, _mm_mul_ps(c[2], u2));
    sum = _mm_sub_ps(sum, _mm_mul_ps(c[3], y1));
    return _mm_sub_ps(sum, _mm_mul_ps(c[4], y2));
}

void runBiquad(FilterState& s, float* left, float* right, uint32_t count) {
    const __m128 c[5] = {_mm_set1_ps(s.b0), _mm_set1_ps(s.b1), _mm_set1_ps(s.b2),
                         _mm_set1_ps(s.a1), _mm_set1_ps(s.a2)};
    __m128 x1 = s.x1, x2 = s.x2, y1 = s.y1, y2 = s.y2;
    for (uint32_t i = 0; i < count; ++i) {
        const __m128 in = loadFrame(left, right, i);
        const __m128 out = biquadSum(c, in, x1, x2, y1, y2);
        storeFrame(out, left, right, i);
        x2 = x1;
        x1 = in;
        y2 = y1;
        y1 = out;
    }
    s.x1 = x1;
    s.x2 = x2;
    s.y1 = y1;
    s.y2 = y2;
}

// The same difference equation fed from one frame further back, so the
// output lags the direct form by exactly one frame.
void runDelayedBiquad(FilterState& s, float* left, float* right, uint32_t count) {
    const __m128 c[5] = {_mm_set1_ps(s.b0), _mm_set1_ps(s.b1), _mm_set1_ps(s.b2),
                         _mm_set1_ps(s.a1), _mm_set1_ps(s.a2)};
    __m128 x1 = s.x1, x2 = s.x2, x3 = s.x3, y1 = s.y1, y2 = s.y2;
    for (uint32_t i = 0; i < count; ++i) {
        const __m128 in = loadFrame(left, right, i);
        const __m128 out = biquadSum(c, x1, x2, x3, y1, y2);
        storeFrame(out, left, right, i);
        x3 = x2;
        x2 = x1;
        y2 = y1;
        y1 = out;
        x1 = in;
    }
    s.x1 = x1;
    s.x2 = x2;
    s.x3 = x3;
    s.y1 = y1;
    s.y2 = y2;
}

}  // namespace

void setFilter(FilterState& state, uint32_t sampleRate, float cutoff, float resonance, uint32_t type) {
    const float u = clamp(0.0f, cutoff, 1.0f);
    const float q = clamp(0.0f, resonance, kMaxResonance);
    const float sr = float(sampleRate);
    switch (type) {
        case kFilterLadder: setLadder(state, u, q, sr); break;
        case kFilterHighPass: setHighOrBandPass(state, u, q, sr, true); break;
        case kFilterBandPass: setHighOrBandPass(state, u, q, sr, false); break;
        case kFilterNotch: setNotch(state, u, q, sr); break;
        default: break;
    }
}

void runFilter(FilterState& state, uint32_t mode, float* left, float* right, uint32_t count) {
    if (mode == kRunLadder) {
        runLadder(state, left, right, count);
    } else if (mode == kRunDelayedBiquad) {
        runDelayedBiquad(state, left, right, count);
    } else {
        runBiquad(state, left, right, count);
    }
}
