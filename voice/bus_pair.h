// BusPair, the stereo unit of exchange between the block renderer, the
// Instrument render and the effect units, and mixAdd, the gain-curved
// addition of one bus pair into another.
#pragma once
#include <cstdint>

// Two separate arrays of one block, left and right, of the same length.
struct BusPair {
    float* left;
    float* right;
};

// Gain of a level setting x in 0..1: (2x)^2 up to 0.5, then a straight line
// to 11 at x = 1 (g(0.25) = 0.25, g(0.5) = 1, g(0.75) = 6).
float mixGain(float x);

// destination += mixGain(x) * source over n frames. True when the source
// held sound: the sum of |left| + |right| over the block exceeds 1.0.
bool mixAdd(BusPair destination, BusPair source, uint32_t n, float x);
// The addition of mixAdd alone, for callers that ignore whether the source
// held sound (the block renderer's final mix).
void mixInto(BusPair destination, BusPair source, uint32_t n, float x);
