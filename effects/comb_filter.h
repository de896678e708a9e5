// CombFilter: the state of one damped feedback comb of the reverb, which
// runs its combs inline (effects/reverb.cpp).
#pragma once
#include <cstdint>

// Longest comb: the reverb's tunings stay below 1,700 frames.
constexpr int32_t kCombCapacity = 4096;

// Per frame, for an input `in`: out = buffer[index]; store = store x damp1 +
// out x damp2; buffer[index] = in + store x feedback; the output is out.
// damp1 + damp2 = 1 makes the feedback path a unity-gain low-pass.
struct CombFilter {
    float buffer[kCombCapacity];
    int32_t length;  // frames, 1..kCombCapacity
    int32_t index;   // next frame to read and write
    float store;     // one-pole low-pass in the feedback path
};

// Sets the length of a silent comb (units come zero-filled), clamped to
// 1..kCombCapacity.
void initCombFilter(CombFilter& comb, int32_t length);
