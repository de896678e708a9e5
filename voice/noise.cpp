// The voice noise source: two read positions into the shared noise table,
// a block-rate level and an optional band made of a ladder low-pass and a
// biquad high-pass. It writes the first signal of every voice block.
#include "voice/noise.h"

#include "runtime/memory.h"
#include "runtime/random.h"
#include "voice/filter.h"
#include "runtime/params.h"

namespace {

constexpr uint32_t kNoisePositionMask = 65535;  // the noise table has 65536 entries
constexpr float kUnfilteredWidth = 0.99f;       // band width from which the band is skipped
constexpr float kAudibleLevel = 0.01f;          // at or below: the block is silent
constexpr float kBandResonance = 0.05f;         // both band edges are nearly flat

}  // namespace

void initNoise(NoiseState& noise) {
    Random random;
    random.seedFromClock();
    // Start points in the first half of the table, independent per channel,
    // so left and right play uncorrelated stretches of the same noise.
    noise.posL = random.next() % 32768;
    noise.posR = random.next() % 32768;
    noise.level = 0.0f;
    noise.filterOn = false;
}

void setupNoise(NoiseState& noise, uint32_t sampleRate, const float* params, float levelMod, float amp) {
    const float centre = params[kNoiseCentre];
    const float width = params[kNoiseWidth];
    noise.level = params[kNoiseLevel] * amp * levelMod;
    noise.filterOn = width < kUnfilteredWidth;
    if (noise.filterOn && noise.level > 0.0f) {
        setFilter(*noise.hp, sampleRate, centre - width, kBandResonance, kFilterHighPass);
        setFilter(*noise.lp, sampleRate, centre + width, kBandResonance, kFilterLadder);
    }
}

void renderNoise(NoiseState& noise, const float* noiseTable, float* left, float* right, uint32_t count) {
    if (!(noise.level > kAudibleLevel)) {
        fillWords(left, 0, count * 4);
        fillWords(right, 0, count * 4);
        return;
    }
    const float level = noise.level;
    // Masked reads and wraps: a position can never leave the table.
    uint32_t posL = noise.posL & kNoisePositionMask;
    uint32_t posR = noise.posR & kNoisePositionMask;
    for (uint32_t i = 0; i < count; ++i) {
        left[i] = noiseTable[posL] * level;
        posL = (posL + 1) & kNoisePositionMask;
        right[i] = noiseTable[posR] * level;
        posR = (posR + 1) & kNoisePositionMask;
    }
    noise.posL = posL;
    noise.posR = posR;
    if (noise.filterOn) {
        runFilter(*noise.lp, kRunLadder, left, right, count);
        runFilter(*noise.hp, kRunBiquad, left, right, count);
    }
}
