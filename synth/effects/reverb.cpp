// Reverb: combs, then allpasses, then the wet/dry mix back into the bus.
#include "synth/effects/reverb.h"

#include <emmintrin.h>

#include "runtime/math.h"
#include "runtime/memory.h"
#include "voice/params.h"

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

// One allpass stage on one sample: b = buffer[index]; buffer[index] = b x
// feedback + x; the result is b - x.
inline float allpassStep(AllpassFilter& stage, int32_t& index, float x) {
    const float b = stage.buffer[index];
    stage.buffer[index] = b * kAllpassFeedback + x;
    if (++index >= stage.length) index = 0;
    return b - x;
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
    // each side's allpasses and the wet/dry mix, frame by frame.
    CombFilter* combs = reverb->combs;
    __m128 storeLo = _mm_setr_ps(combs[0].store, combs[1].store, combs[2].store, combs[3].store);
    __m128 storeHi = _mm_setr_ps(combs[4].store, combs[5].store, combs[6].store, combs[7].store);
    const __m128 d1 = _mm_set1_ps(damp1);
    const __m128 d2 = _mm_set1_ps(damp2);
    const __m128 fb = _mm_set1_ps(feedback);
    AllpassFilter* stagesL = reverb->leftAllpasses;
    AllpassFilter* stagesR = reverb->rightAllpasses;
    int32_t indexL[kReverbAllpasses], indexR[kReverbAllpasses];
    for (int k = 0; k < kReverbAllpasses; ++k) {
        indexL[k] = stagesL[k].index;
        indexR[k] = stagesR[k].index;
    }

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
            for (uint32_t f = 0; f < run; ++f) {
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

        for (uint32_t j = 0; j < chunk; ++j) {
            const uint32_t i = done + j;
            float wetL = acc[j], wetR = acc[j];
#pragma GCC unroll 4
            for (int k = 0; k < kReverbAllpasses; ++k) {
                wetL = allpassStep(stagesL[k], indexL[k], wetL);
                wetR = allpassStep(stagesR[k], indexR[k], wetR);
            }
            busL[i] = wetL * wet1 + wetR * wet2 + busL[i] * dry;
            busR[i] = wetR * wet1 + wetL * wet2 + busR[i] * dry;
        }
        done += chunk;
    }

    alignas(16) float stores[kReverbCombs];
    _mm_store_ps(stores, storeLo);
    _mm_store_ps(stores + 4, storeHi);
    for (int k = 0; k < kReverbCombs; ++k) combs[k].store = stores[k];
    for (int k = 0; k < kReverbAllpasses; ++k) {
        stagesL[k].index = indexL[k];
        stagesR[k].index = indexR[k];
    }
}
