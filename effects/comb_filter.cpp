// CombFilter: initialisation and the paired per-frame loop.
#include "effects/comb_filter.h"

void initCombFilter(CombFilter& comb, int32_t length) {
    comb.length = length < 1 ? 1 : (length > kCombCapacity ? kCombCapacity : length);
    comb.index = 0;
    comb.store = 0.0f;
}

// One comb on one frame; the caller keeps index and store in locals.
static inline float combStep(float* buffer, int32_t& index, int32_t length, float& store,
                             float in, float damp1, float damp2, float feedback) {
    const float out = buffer[index];
    store = store * damp1 + out * damp2;
    buffer[index] = in + store * feedback;
    if (++index >= length) index = 0;
    return out;
}

void processCombPair(CombFilter& left, CombFilter& right, float damp1, float damp2, float feedback,
                     float gain, const float* inL, const float* inR, float* outL, float* outR,
                     uint32_t n) {
    int32_t indexL = left.index, indexR = right.index;
    float storeL = left.store, storeR = right.store;
    for (uint32_t i = 0; i < n; ++i) {
        const float in = (inL[i] + inR[i]) * gain;
        outL[i] = combStep(left.buffer, indexL, left.length, storeL, in, damp1, damp2, feedback);
        outR[i] = combStep(right.buffer, indexR, right.length, storeR, in, damp1, damp2, feedback);
    }
    left.index = indexL;
    right.index = indexR;
    left.store = storeL;
    right.store = storeR;
}
