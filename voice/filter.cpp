// Voice filter coefficients and the per-frame filter loops. Each loop copies
// the histories of up to eight voices into registers, runs their channels as
// the lanes of up to four vectors, and writes the histories back at the end
// of the block.
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

// Up to eight voices filtered side by side: vector g carries voice 2g in
// lanes 0 (left) and 1 (right) and voice 2g + 1 in lanes 2 and 3, each lane
// with its own voice's coefficients and history, so every lane does exactly
// the arithmetic of one channel filtered alone. The recursions are serial,
// one frame after the other; running several voices in one vector (and up
// to four vectors in one loop) shares that wait. A group with an odd number
// of voices repeats its last voice in the spare half of the same vector:
// that half reads the same input (a vector reads before it writes), computes
// the same values and writes them to the same places.
template <uint32_t Vectors>
struct Lanes {
    static constexpr uint32_t kVoices = 2 * Vectors;
    FilterState* state[kVoices];
    float* left[kVoices];
    float* right[kVoices];

    Lanes(FilterState* const* states, float* const* lefts, float* const* rights, uint32_t voices) {
        for (uint32_t v = 0; v < kVoices; ++v) {
            const uint32_t from = v < voices ? v : voices - 1;
            state[v] = states[from];
            left[v] = lefts[from];
            right[v] = rights[from];
        }
    }

    __m128 frame(uint32_t g, uint32_t i) const {
        const __m128 a = _mm_unpacklo_ps(_mm_load_ss(left[2 * g] + i), _mm_load_ss(right[2 * g] + i));
        const __m128 b = _mm_unpacklo_ps(_mm_load_ss(left[2 * g + 1] + i), _mm_load_ss(right[2 * g + 1] + i));
        return _mm_movelh_ps(a, b);
    }

    // The second voice first, so a repeated voice ends with its own lanes.
    void store(uint32_t g, uint32_t i, __m128 v) const {
        _mm_store_ss(left[2 * g + 1] + i, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2)));
        _mm_store_ss(right[2 * g + 1] + i, _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
        _mm_store_ss(left[2 * g] + i, v);
        _mm_store_ss(right[2 * g] + i, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
    }

    __m128 coefficient(uint32_t g, float FilterState::*c) const {
        const float a = state[2 * g]->*c, b = state[2 * g + 1]->*c;
        return _mm_setr_ps(a, a, b, b);
    }

    __m128 history(uint32_t g, __m128 FilterState::*h) const {
        return _mm_movelh_ps(state[2 * g]->*h, state[2 * g + 1]->*h);
    }

    // Back into the two states, whose lanes 2 and 3 stay zero.
    void keep(uint32_t g, __m128 FilterState::*h, __m128 v) const {
        const __m128 zero = _mm_setzero_ps();
        state[2 * g + 1]->*h = _mm_movehl_ps(zero, v);
        state[2 * g]->*h = _mm_movelh_ps(v, zero);
    }
};

// One ladder stage: y' = p x + p x_prev - k y.
inline __m128 ladderStage(__m128 p, __m128 k, __m128 x, __m128 xPrev, __m128 y) {
    return _mm_sub_ps(_mm_add_ps(_mm_mul_ps(p, x), _mm_mul_ps(p, xPrev)), _mm_mul_ps(k, y));
}

template <uint32_t V>
void runLadder(const Lanes<V>& lanes, uint32_t count) {
    const __m128 sixth = _mm_set1_ps(0.16666667f);
    __m128 k[V], p[V], r[V], xPrev[V], y1[V], y2[V], y3[V], y4[V];
    for (uint32_t g = 0; g < V; ++g) {
        k[g] = lanes.coefficient(g, &FilterState::k);
        p[g] = lanes.coefficient(g, &FilterState::p);
        r[g] = lanes.coefficient(g, &FilterState::r);
        xPrev[g] = lanes.history(g, &FilterState::ladderX);
        y1[g] = lanes.history(g, &FilterState::ladderY1);
        y2[g] = lanes.history(g, &FilterState::ladderY2);
        y3[g] = lanes.history(g, &FilterState::ladderY3);
        y4[g] = lanes.history(g, &FilterState::ladderY4);
    }
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t g = 0; g < V; ++g) {
            const __m128 x = _mm_sub_ps(lanes.frame(g, i), _mm_mul_ps(r[g], y4[g]));
            const __m128 n1 = ladderStage(p[g], k[g], x, xPrev[g], y1[g]);
            const __m128 n2 = ladderStage(p[g], k[g], n1, y1[g], y2[g]);
            const __m128 n3 = ladderStage(p[g], k[g], n2, y2[g], y3[g]);
            const __m128 n4 = ladderStage(p[g], k[g], n3, y3[g], y4[g]);
            // Soft saturation of the output only: the history keeps n4 itself.
            const __m128 cube = _mm_mul_ps(_mm_mul_ps(n4, n4), n4);
            lanes.store(g, i, _mm_sub_ps(n4, _mm_mul_ps(cube, sixth)));
            xPrev[g] = x;
            y1[g] = n1;
            y2[g] = n2;
            y3[g] = n3;
            y4[g] = n4;
        }
    }
    for (uint32_t g = 0; g < V; ++g) {
        lanes.keep(g, &FilterState::ladderX, xPrev[g]);
        lanes.keep(g, &FilterState::ladderY1, y1[g]);
        lanes.keep(g, &FilterState::ladderY2, y2[g]);
        lanes.keep(g, &FilterState::ladderY3, y3[g]);
        lanes.keep(g, &FilterState::ladderY4, y4[g]);
    }
}

// b0 u0 + b1 u1 + b2 u2 - a1 y1 - a2 y2, summed left to right.
inline __m128 biquadSum(const __m128* c, __m128 u0, __m128 u1, __m128 u2, __m128 y1, __m128 y2) {
    __m128 sum = _mm_add_ps(_mm_mul_ps(c[0], u0), _mm_mul_ps(c[1], u1));
    sum = _mm_add_ps(sum, _mm_mul_ps(c[2], u2));
    sum = _mm_sub_ps(sum, _mm_mul_ps(c[3], y1));
    return _mm_sub_ps(sum, _mm_mul_ps(c[4], y2));
}

// The direct form, or with `Delayed` the same difference equation fed from
// one frame further back, so that its output lags the direct form by
// exactly one frame.
template <uint32_t V, bool Delayed>
void runBiquad(const Lanes<V>& lanes, uint32_t count) {
    __m128 c[V][5], x1[V], x2[V], x3[V], y1[V], y2[V];
    for (uint32_t g = 0; g < V; ++g) {
        c[g][0] = lanes.coefficient(g, &FilterState::b0);
        c[g][1] = lanes.coefficient(g, &FilterState::b1);
        c[g][2] = lanes.coefficient(g, &FilterState::b2);
        c[g][3] = lanes.coefficient(g, &FilterState::a1);
        c[g][4] = lanes.coefficient(g, &FilterState::a2);
        x1[g] = lanes.history(g, &FilterState::x1);
        x2[g] = lanes.history(g, &FilterState::x2);
        x3[g] = lanes.history(g, &FilterState::x3);
        y1[g] = lanes.history(g, &FilterState::y1);
        y2[g] = lanes.history(g, &FilterState::y2);
    }
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t g = 0; g < V; ++g) {
            const __m128 in = lanes.frame(g, i);
            const __m128 out = Delayed ? biquadSum(c[g], x1[g], x2[g], x3[g], y1[g], y2[g])
                                       : biquadSum(c[g], in, x1[g], x2[g], y1[g], y2[g]);
            lanes.store(g, i, out);
            x3[g] = x2[g];
            x2[g] = x1[g];
            x1[g] = in;
            y2[g] = y1[g];
            y1[g] = out;
        }
    }
    for (uint32_t g = 0; g < V; ++g) {
        lanes.keep(g, &FilterState::x1, x1[g]);
        lanes.keep(g, &FilterState::x2, x2[g]);
        if (Delayed) lanes.keep(g, &FilterState::x3, x3[g]);
        lanes.keep(g, &FilterState::y1, y1[g]);
        lanes.keep(g, &FilterState::y2, y2[g]);
    }
}

template <uint32_t V>
void runMode(const Lanes<V>& lanes, uint32_t mode, uint32_t count) {
    if (mode == kRunLadder) {
        runLadder(lanes, count);
    } else if (mode == kRunDelayedBiquad) {
        runBiquad<V, true>(lanes, count);
    } else {
        runBiquad<V, false>(lanes, count);
    }
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
    FilterState* states[1] = {&state};
    runFilters(states, &left, &right, 1, mode, count);
}

void runFilters(FilterState* const* states, float* const* left, float* const* right, uint32_t voices, uint32_t mode,
                uint32_t count) {
    for (uint32_t first = 0; first < voices; first += 8) {
        const uint32_t n = voices - first < 8 ? voices - first : 8;
        FilterState* const* s = states + first;
        switch ((n + 1) / 2) {
            case 1: runMode(Lanes<1>(s, left + first, right + first, n), mode, count); break;
            case 2: runMode(Lanes<2>(s, left + first, right + first, n), mode, count); break;
            case 3: runMode(Lanes<3>(s, left + first, right + first, n), mode, count); break;
            default: runMode(Lanes<4>(s, left + first, right + first, n), mode, count); break;
        }
    }
}
