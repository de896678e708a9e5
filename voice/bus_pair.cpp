// mixAdd: the one place where a signal is added into a bus with a level.
#include "voice/bus_pair.h"

float mixGain(float x) {
    if (x <= 0.5f) {
        const float twice = x * 2.0f;
        return twice * twice;
    }
    return (x - 0.5f) * 20.0f + 1.0f;
}

bool mixAdd(BusPair destination, BusPair source, uint32_t n, float x) {
    const float gain = mixGain(x);
    if (n == 0) return false;
    float* __restrict dl = destination.left;
    float* __restrict dr = destination.right;
    const float* __restrict sl = source.left;
    const float* __restrict sr = source.right;
    for (uint32_t i = 0; i < n; ++i) {
        dl[i] += gain * sl[i];
        dr[i] += gain * sr[i];
    }
    // The audibility sum stays a separate sequential float sum (left, then
    // right, frame by frame) so the threshold decision never depends on how
    // the compiler vectorised the addition above.
    float sum = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        sum += sl[i] < 0.0f ? -sl[i] : sl[i];
        sum += sr[i] < 0.0f ? -sr[i] : sr[i];
    }
    return sum > 1.0f;
}
