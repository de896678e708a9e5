// The level of what is playing, for the player's overlay: the sample peak
// and the RMS level of a stretch of 16-bit stereo, in dB of full scale. The
// overlay asks only for a LevelReading of the last stretch heard, so a
// loudness meter (short-term loudness, true peak) can take this one's place
// behind the same call.
#pragma once
#include <cstdint>

// How much music before the heard position a reading covers.
constexpr double kLevelWindowSeconds = 0.4;

struct LevelReading {
    const char* loudnessName;  // what `loudness` is, for the overlay ("rms")
    float peak;      // dBFS of the largest sample, -inf for silence
    float loudness;  // dBFS, -inf for silence
};

// Reads `frames` interleaved stereo frames (either channel counts).
LevelReading measureLevel(const int16_t* frames, uint32_t count);
// A bar of `width` characters for a dBFS value from -60 to 0 ('#' filled, '.' empty).
void levelBar(float db, char* out, int32_t width);
