// Reverb: combs, then allpasses, then the wet/dry mix back into the bus.
#include "effects/reverb.h"

#include <emmintrin.h>

#include "runtime/math.h"
#include "runtime/memory.h"
#include "runtime/params.h"

namespace {

// Keeps the mono sum of a full-scale bus well below full scale in each comb.
constexpr float kCombInputGain = 0.015f;
constexpr float kAllpassFeedback = 0.5f;

}  // namespace

const int32_t kReverbCombLengths[kReverbCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
const int32_t kReverbAllpassLengths[kReverbAllpasses] = {556, 441, 341, 225};

EffectUnit* createReverb() {
    Reverb* unit = allocateUnit<Reverb>();
    if (unit == nullptr) return nullptr;
    for (int k = 0; k < kReverbCombs; ++k) initCombFilter(unit->combs[k], kReverbCombLengths[k]);
    for (int k = 0; k < kReverbAllpasses; ++k) {
        initAllpassFilter(unit->leftAllpasses[k], kReverbAllpassLengths[k]);
        initAllpassFilter(unit->rightAllpasses[k], kReverbAllpassLengths[k] + kReverbStereoSpread);
    }
    return unit;
}

namespace {

// One allpass stage on four consecutive frames of its buffer: b = entry;
// entry = b x feedback + x; the sample becomes b - x. An entry written here
// is read again only a buffer length later, so the four are independent.
inline __m128 allpassFour(float* entries, __m128 x) {
    const __m128 b = _mm_loadu_ps(entries);
    _mm_storeu_ps(entries, _mm_add_ps(_mm_mul_ps(b, _mm_set1_ps(kAllpassFeedback)), x));
    return _mm_sub_ps(b, x);
}

inline float allpassOne(float* entry, float x) {
    const float b = *entry;
    *entry = b * kAllpassFeedback + x;
    return b - x;
}

// Frames left before `index` reaches the end of a buffer of `length`.
inline uint32_t roomIn(int32_t length, int32_t index) {
    return uint32_t(length - index);
}

inline void advance(int32_t& index, int32_t length, uint32_t frames) {
    index += int32_t(frames);
    if (index >= length) index = 0;
}

}  // namespace

void processReverb(EffectUnit* unit, uint32_t, const float* params, float* busL, float* busR,
                   uint32_t count) {
    auto* reverb = static_cast<Reverb*>(unit);
    // Damping and room size above 1 would make the combs unstable (a store
    // pole beyond 1, or a loop gain of 1 and more) and the tail would grow
    // without end: P91 = 1 (damp1 0.4) and P90 = 1 (feedback 0.98) are the
    // strongest settings.
    const float damp1 = minOf(params[kReverbDamp], 1.0f) * 0.4f;
    const float damp2 = 1.0f - damp1;
    const float feedback = minOf(params[kReverbRoom], 1.0f) * 0.28f + 0.7f;
    const float wet = params[kReverbWet] * 3.0f;
    const float dry = (1.0f - params[kReverbWet]) * 2.0f;
    const float width = params[kReverbWidth];
    const float wet1 = (width + 1.0f) * 0.5f * wet;
    const float wet2 = (1.0f - width) * 0.5f * wet;
    if (count > kReverbMaxBlock) return;

    // Every comb and allpass only looks back in time, at least its own
    // length, so a frame can go through the whole unit (combs, their sum,
    // each side's allpasses, the wet/dry mix) before the next one starts:
    // the values are those of running each stage over the block in turn.
    // That lets the allpasses and the mix fill the time the combs' damping
    // recursion, serial from frame to frame, leaves the processor idle.
    // The block goes in runs in which no buffer reaches its end, so each
    // stage reads and writes one straight stretch; within a run, four frames
    // at a time: each comb's four entries are one load (frames in lanes),
    // which also serves their sum in comb order; transposed, they give four
    // vectors with the combs in lanes (each lane the arithmetic of one comb)
    // for the recursion, whose results are transposed back.
    CombFilter* combs = reverb->combs;
    AllpassFilter* leftStages = reverb->leftAllpasses;
    AllpassFilter* rightStages = reverb->rightAllpasses;
    __m128 storeLo = _mm_setr_ps(combs[0].store, combs[1].store, combs[2].store, combs[3].store);
    __m128 storeHi = _mm_setr_ps(combs[4].store, combs[5].store, combs[6].store, combs[7].store);
    const __m128 d1 = _mm_set1_ps(damp1);
    const __m128 d2 = _mm_set1_ps(damp2);
    const __m128 fb = _mm_set1_ps(feedback);
    const __m128 w1 = _mm_set1_ps(wet1), w2 = _mm_set1_ps(wet2), d = _mm_set1_ps(dry);
    for (uint32_t j = 0; j < count;) {
        uint32_t run = count - j;
        float* at[kReverbCombs];
        float* left[kReverbAllpasses];
        float* right[kReverbAllpasses];
#pragma GCC unroll 8
        for (int k = 0; k < kReverbCombs; ++k) {
            run = minUnsigned(run, roomIn(combs[k].length, combs[k].index));
            at[k] = combs[k].buffer + combs[k].index;
        }
#pragma GCC unroll 4
        for (int k = 0; k < kReverbAllpasses; ++k) {
            run = minUnsigned(run, roomIn(leftStages[k].length, leftStages[k].index));
            run = minUnsigned(run, roomIn(rightStages[k].length, rightStages[k].index));
            left[k] = leftStages[k].buffer + leftStages[k].index;
            right[k] = rightStages[k].buffer + rightStages[k].index;
        }
        float* outL = busL + j;
        float* outR = busR + j;
        uint32_t f = 0;
        for (; f + 4 <= run; f += 4) {
            __m128 lo[4], hi[4];
            for (int k = 0; k < 4; ++k) {
                lo[k] = _mm_loadu_ps(at[k] + f);
                hi[k] = _mm_loadu_ps(at[k + 4] + f);
            }
            __m128 total = _mm_setzero_ps();
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) total = _mm_add_ps(total, lo[k]);
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) total = _mm_add_ps(total, hi[k]);
            _MM_TRANSPOSE4_PS(lo[0], lo[1], lo[2], lo[3]);
            _MM_TRANSPOSE4_PS(hi[0], hi[1], hi[2], hi[3]);
            const __m128 dryL = _mm_loadu_ps(outL + f), dryR = _mm_loadu_ps(outR + f);
            alignas(16) float inputs[4];
            _mm_store_ps(inputs, _mm_mul_ps(_mm_add_ps(dryL, dryR), _mm_set1_ps(kCombInputGain)));
#pragma GCC unroll 4
            for (int t = 0; t < 4; ++t) {
                const __m128 in = _mm_set1_ps(inputs[t]);
                storeLo = _mm_add_ps(_mm_mul_ps(storeLo, d1), _mm_mul_ps(lo[t], d2));
                storeHi = _mm_add_ps(_mm_mul_ps(storeHi, d1), _mm_mul_ps(hi[t], d2));
                lo[t] = _mm_add_ps(in, _mm_mul_ps(storeLo, fb));
                hi[t] = _mm_add_ps(in, _mm_mul_ps(storeHi, fb));
            }
            _MM_TRANSPOSE4_PS(lo[0], lo[1], lo[2], lo[3]);
            _MM_TRANSPOSE4_PS(hi[0], hi[1], hi[2], hi[3]);
            for (int k = 0; k < 4; ++k) {
                _mm_storeu_ps(at[k] + f, lo[k]);
                _mm_storeu_ps(at[k + 4] + f, hi[k]);
            }
            __m128 l = total, r = total;
#pragma GCC unroll 4
            for (int k = 0; k < kReverbAllpasses; ++k) {
                l = allpassFour(left[k] + f, l);
                r = allpassFour(right[k] + f, r);
            }
            _mm_storeu_ps(outL + f, _mm_add_ps(_mm_add_ps(_mm_mul_ps(l, w1), _mm_mul_ps(r, w2)), _mm_mul_ps(dryL, d)));
            _mm_storeu_ps(outR + f, _mm_add_ps(_mm_add_ps(_mm_mul_ps(r, w1), _mm_mul_ps(l, w2)), _mm_mul_ps(dryR, d)));
        }
        for (; f < run; ++f) {
            const __m128 in = _mm_set1_ps((outL[f] + outR[f]) * kCombInputGain);
            float out[kReverbCombs];
#pragma GCC unroll 8
            for (int k = 0; k < kReverbCombs; ++k) out[k] = at[k][f];
            storeLo = _mm_add_ps(_mm_mul_ps(storeLo, d1), _mm_mul_ps(_mm_setr_ps(out[0], out[1], out[2], out[3]), d2));
            storeHi = _mm_add_ps(_mm_mul_ps(storeHi, d1), _mm_mul_ps(_mm_setr_ps(out[4], out[5], out[6], out[7]), d2));
            alignas(16) float write[kReverbCombs];
            _mm_store_ps(write, _mm_add_ps(in, _mm_mul_ps(storeLo, fb)));
            _mm_store_ps(write + 4, _mm_add_ps(in, _mm_mul_ps(storeHi, fb)));
            float total = 0.0f;
#pragma GCC unroll 8
            for (int k = 0; k < kReverbCombs; ++k) {
                at[k][f] = write[k];
                total += out[k];
            }
            float l = total, r = total;
            for (int k = 0; k < kReverbAllpasses; ++k) {
                l = allpassOne(left[k] + f, l);
                r = allpassOne(right[k] + f, r);
            }
            const float dryL = outL[f], dryR = outR[f];
            outL[f] = l * wet1 + r * wet2 + dryL * dry;
            outR[f] = r * wet1 + l * wet2 + dryR * dry;
        }
        for (int k = 0; k < kReverbCombs; ++k) advance(combs[k].index, combs[k].length, run);
        for (int k = 0; k < kReverbAllpasses; ++k) {
            advance(leftStages[k].index, leftStages[k].length, run);
            advance(rightStages[k].index, rightStages[k].length, run);
        }
        j += run;
    }

    alignas(16) float stores[kReverbCombs];
    _mm_store_ps(stores, storeLo);
    _mm_store_ps(stores + 4, storeHi);
    for (int k = 0; k < kReverbCombs; ++k) combs[k].store = stores[k];
}
