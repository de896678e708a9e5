// StereoDelay: whole milliseconds from the time parameters, then each channel
// through its own line.
#include "effects/stereo_delay.h"

#include "runtime/math.h"
#include "runtime/params.h"

namespace {

// float(truncate(p x 1000)) in single precision. Anything outside 0..10^7 ms
// (the line clamps to 4.35 s anyway) is held there before the conversion.
float wholeMilliseconds(float p) {
    const float ms = p * 1000.0f;
    if (!(ms > 0.0f)) return 0.0f;
    return float(uint32_t(minOf(ms, 1.0e7f)));
}

}  // namespace

EffectUnit* createStereoDelay() {
    StereoDelay* unit = allocateUnit<StereoDelay>();
    if (unit != nullptr) {
        initDelayLine(unit->left, false);
        initDelayLine(unit->right, false);
    }
    return unit;
}

void processStereoDelay(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                        float* busR, uint32_t count) {
    auto* delay = static_cast<StereoDelay*>(unit);
    setTime(delay->left, sampleRate, wholeMilliseconds(params[kDelayLeftTime]));
    setTime(delay->right, sampleRate, wholeMilliseconds(params[kDelayRightTime]));
    // Above 1 the echoes would grow without end; 1 (echoes that never fade)
    // is the most the parameter range gives.
    const float g = minOf(params[kDelayFeedback], 1.0f);
    processDelayLine(delay->left, busL, count, g);
    processDelayLine(delay->right, busR, count, g);
}
