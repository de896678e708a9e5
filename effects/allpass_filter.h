// AllpassFilter: the state of one diffusing stage of the reverb, which runs
// its stages inline (effects/reverb.cpp).
#pragma once
#include <cstdint>

constexpr int32_t kAllpassCapacity = 4096;

// Per frame, in place: b = buffer[index]; buffer[index] = b x feedback + x;
// the sample becomes b - x. As a difference equation:
// y[n] = -x[n] + (1 + feedback) x[n - length] + feedback y[n - length].
struct AllpassFilter {
    float buffer[kAllpassCapacity];
    int32_t length;  // frames, 1..kAllpassCapacity
    int32_t index;   // next frame to read and write
};

// Sets the length of a silent stage (units come zero-filled), clamped to
// 1..kAllpassCapacity.
void initAllpassFilter(AllpassFilter& allpass, int32_t length);
