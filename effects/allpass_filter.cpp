// AllpassFilter: initialisation and the paired per-frame loop.
#include "effects/allpass_filter.h"

void initAllpassFilter(AllpassFilter& allpass, int32_t length) {
    allpass.length = length < 1 ? 1 : (length > kAllpassCapacity ? kAllpassCapacity : length);
    allpass.index = 0;
}

// One channel through one stage; the channels share nothing, so each runs the
// whole block on its own.
static void runAllpass(AllpassFilter& allpass, float feedback, float* samples, uint32_t n) {
    float* buffer = allpass.buffer;
    const int32_t length = allpass.length;
    int32_t index = allpass.index;
    for (uint32_t i = 0; i < n; ++i) {
        const float x = samples[i];
        const float b = buffer[index];
        buffer[index] = b * feedback + x;
        samples[i] = b - x;
        if (++index >= length) index = 0;
    }
    allpass.index = index;
}

void processAllpassPair(AllpassFilter& left, AllpassFilter& right, float feedback, float* busL,
                        float* busR, uint32_t n) {
    runAllpass(left, feedback, busL, n);
    runAllpass(right, feedback, busR, n);
}
