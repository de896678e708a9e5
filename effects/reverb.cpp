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

// One allpass stage over n samples in place: b = buffer[index]; buffer[index]
// = b x feedback + x; the sample becomes b - x. An entry written here is read
// again only `length` frames later, so within a stretch that does not reach
// the end of the buffer the samples are independent: four to a vector.
void diffuse(AllpassFilter& stage, float* x, uint32_t n) {
    const __m128 feedback = _mm_set1_ps(kAllpassFeedback);
    for (uint32_t j = 0; j < n;) {
        const uint32_t room = uint32_t(stage.length - stage.index);
        const uint32_t run = n - j < room ? n - j : room;
        float* buffer = stage.buffer + stage.index;
        float* samples = x + j;
        uint32_t f = 0;
        for (; f + 4 <= run; f += 4) {
            const __m128 b = _mm_loadu_ps(buffer + f);
            const __m128 in = _mm_loadu_ps(samples + f);
            _mm_storeu_ps(buffer + f, _mm_add_ps(_mm_mul_ps(b, feedback), in));
            _mm_storeu_ps(samples + f, _mm_sub_ps(b, in));
        }
        for (; f < run; ++f) {
            const float b = buffer[f];
            buffer[f] = b * kAllpassFeedback + samples[f];
            samples[f] = b - samples[f];
        }
        stage.index += int32_t(run);
        if (stage.index >= stage.length) stage.index = 0;
        j += run;
    }
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

    // Every comb and allpass only looks back in time, so running them in
    // chunks gives the values of running each stage over the block in turn.
    // Per chunk: the eight combs, four to a vector (each lane one comb with
    // the arithmetic it has alone), their outputs summed in comb order; then
    // each side's allpasses stage by stage, and the wet/dry mix.
    CombFilter* combs = reverb->combs;
    __m128 storeLo = _mm_setr_ps(combs[0].store, combs[1].store, combs[2].store, combs[3].store);
    __m128 storeHi = _mm_setr_ps(combs[4].store, combs[5].store, combs[6].store, combs[7].store);
    const __m128 d1 = _mm_set1_ps(damp1);
    const __m128 d2 = _mm_set1_ps(damp2);
    const __m128 fb = _mm_set1_ps(feedback);
    constexpr uint32_t kChunk = 512;
    alignas(16) float acc[kChunk];
    for (uint32_t done = 0; done < count;) {
        const uint32_t chunk = count - done < kChunk ? count - done : kChunk;
        // Runs in which no comb reaches its end: there each comb reads and
        // writes one straight stretch of its buffer.
        for (uint32_t j = 0; j < chunk;) {
            uint32_t run = chunk - j;
            float* at[kReverbCombs];
#pragma GCC unroll 8
            for (int k = 0; k < kReverbCombs; ++k) {
                const uint32_t left = uint32_t(combs[k].length - combs[k].index);
                if (left < run) run = left;
                at[k] = combs[k].buffer + combs[k].index;
            }
            const float* inL = busL + done + j;
            const float* inR = busR + done + j;
            float* sum = acc + j;
            uint32_t f = 0;
            // Four frames at a time: each comb's four entries are one load
            // (frames in lanes), which also serves the sum; transposed, they
            // give four vectors with the combs in lanes for the recursion,
            // whose results are transposed back into one store per comb.
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
                _mm_storeu_ps(sum + f, total);
                _MM_TRANSPOSE4_PS(lo[0], lo[1], lo[2], lo[3]);
                _MM_TRANSPOSE4_PS(hi[0], hi[1], hi[2], hi[3]);
                const __m128 in4 = _mm_mul_ps(_mm_add_ps(_mm_loadu_ps(inL + f), _mm_loadu_ps(inR + f)),
                                              _mm_set1_ps(kCombInputGain));
                alignas(16) float inputs[4];
                _mm_store_ps(inputs, in4);
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
            }
            for (; f < run; ++f) {
                const __m128 in = _mm_set1_ps((inL[f] + inR[f]) * kCombInputGain);
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
                sum[f] = total;
            }
            for (int k = 0; k < kReverbCombs; ++k) {
                combs[k].index += int32_t(run);
                if (combs[k].index >= combs[k].length) combs[k].index = 0;
            }
            j += run;
        }

        alignas(16) float wetR[kChunk];
        for (uint32_t j = 0; j < chunk; ++j) wetR[j] = acc[j];
        float* wetL = acc;
        for (int k = 0; k < kReverbAllpasses; ++k) {
            diffuse(reverb->leftAllpasses[k], wetL, chunk);
            diffuse(reverb->rightAllpasses[k], wetR, chunk);
        }
        const __m128 w1 = _mm_set1_ps(wet1), w2 = _mm_set1_ps(wet2), d = _mm_set1_ps(dry);
        float* outL = busL + done;
        float* outR = busR + done;
        uint32_t j = 0;
        for (; j + 4 <= chunk; j += 4) {
            const __m128 l = _mm_load_ps(wetL + j), r = _mm_load_ps(wetR + j);
            _mm_storeu_ps(outL + j, _mm_add_ps(_mm_add_ps(_mm_mul_ps(l, w1), _mm_mul_ps(r, w2)),
                                               _mm_mul_ps(_mm_loadu_ps(outL + j), d)));
            _mm_storeu_ps(outR + j, _mm_add_ps(_mm_add_ps(_mm_mul_ps(r, w1), _mm_mul_ps(l, w2)),
                                               _mm_mul_ps(_mm_loadu_ps(outR + j), d)));
        }
        for (; j < chunk; ++j) {
            outL[j] = wetL[j] * wet1 + wetR[j] * wet2 + outL[j] * dry;
            outR[j] = wetR[j] * wet1 + wetL[j] * wet2 + outR[j] * dry;
        }
        done += chunk;
    }

    alignas(16) float stores[kReverbCombs];
    _mm_store_ps(stores, storeLo);
    _mm_store_ps(stores + 4, storeHi);
    for (int k = 0; k < kReverbCombs; ++k) combs[k].store = stores[k];
}
