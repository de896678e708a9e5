// Reverb: combs, then allpasses, then the wet/dry mix back into the bus.
#include "effects/reverb.h"

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
    for (int k = 0; k < kReverbCombs; ++k) {
        initCombFilter(unit->leftCombs[k], kReverbCombLengths[k]);
        initCombFilter(unit->rightCombs[k], kReverbCombLengths[k]);
    }
    for (int k = 0; k < kReverbAllpasses; ++k) {
        initAllpassFilter(unit->leftAllpasses[k], kReverbAllpassLengths[k]);
        initAllpassFilter(unit->rightAllpasses[k], kReverbAllpassLengths[k] + kReverbStereoSpread);
    }
    return unit;
}

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

    float* accL = reverb->accL;
    float* accR = reverb->accR;
    fillWords(accL, 0, count * 4);
    fillWords(accR, 0, count * 4);
    for (int k = 0; k < kReverbCombs; ++k) {
        float* outL = reverb->combOutL[k];
        float* outR = reverb->combOutR[k];
        processCombPair(reverb->leftCombs[k], reverb->rightCombs[k], damp1, damp2, feedback,
                        kCombInputGain, busL, busR, outL, outR, count);
        // Unity-gain sum of the comb outputs.
        for (uint32_t i = 0; i < count; ++i) {
            accL[i] += outL[i];
            accR[i] += outR[i];
        }
    }
    for (int k = 0; k < kReverbAllpasses; ++k)
        processAllpassPair(reverb->leftAllpasses[k], reverb->rightAllpasses[k], kAllpassFeedback,
                           accL, accR, count);
    for (uint32_t i = 0; i < count; ++i) {
        const float left = busL[i];
        const float right = busR[i];
        busL[i] = accL[i] * wet1 + accR[i] * wet2 + left * dry;
        busR[i] = accR[i] * wet1 + accL[i] * wet2 + right * dry;
    }
}
