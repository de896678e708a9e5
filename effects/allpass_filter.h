// AllpassFilter: the diffusing stage of the reverb, and processAllpassPair,
// which runs a left and a right stage on a bus pair in place.
#pragma once
#include <cstdint>

constexpr int32_t kAllpassCapacity = 4096;

struct AllpassFilter {
    float buffer[kAllpassCapacity];
    int32_t length;  // frames, 1..kAllpassCapacity
    int32_t index;   // next frame to read and write
};

// Sets the length of a silent stage (units come zero-filled), clamped to
// 1..kAllpassCapacity.
void initAllpassFilter(AllpassFilter& allpass, int32_t length);

// For each frame and channel, in place: b = buffer[index]; buffer[index] =
// b x feedback + x; the sample becomes b - x. As a difference equation:
// y[n] = -x[n] + (1 + feedback) x[n - length] + feedback y[n - length].
void processAllpassPair(AllpassFilter& left, AllpassFilter& right, float feedback, float* busL,
                        float* busR, uint32_t n);
