// NoiseState: a voice's stereo noise source. Both channels read the shared
// noise table from their own random start, and can be band-limited by a
// ladder low-pass followed by a biquad high-pass.
#pragma once
#include <cstdint>

struct FilterState;

struct NoiseState {
    uint32_t posL;       // read position of the left channel, 0..65535
    uint32_t posR;       // read position of the right channel, 0..65535
    bool filterOn;       // band-limit this block (band width below 0.99)
    FilterState* hp;     // band's lower edge, high-pass biquad
    FilterState* lp;     // band's upper edge, ladder low-pass
    float level;         // output gain of this block
};

// Fresh generator: both read positions from one clock-seeded Random (left
// first), level 0, filter off. The two FilterState pointers are kept.
void initNoise(NoiseState& noise);

// Block-rate setup from the instrument's parameter block: level = P17 * amp
// * levelMod (levelMod is the modulation product aimed at the noise level).
// P18 is the band's centre and P19 its half-width, in cutoff units; a width
// of 0.99 or more leaves the noise unfiltered.
void setupNoise(NoiseState& noise, uint32_t sampleRate, const float* params, float levelMod, float amp);

// Writes `count` frames of noise into left and right, band-limited when the
// filter is on; with a level of 0.01 or less it clears them instead.
void renderNoise(NoiseState& noise, const float* noiseTable, float* left, float* right, uint32_t count);
