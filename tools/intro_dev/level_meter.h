// The level of what is playing, for the player's overlay: the short-term
// loudness (LUFS) and the true peak (dBTP) of the last stretch heard, by the
// same meters as the song report, so that the two agree.
#pragma once
#include <cmath>
#include <cstdint>

// How much music before the heard position a reading covers: the short-term
// loudness window.
constexpr double kLevelWindowSeconds = 3.0;

struct LevelReading {
    float truePeak;   // dBTP of the stretch, -inf for silence
    float shortTerm;  // LUFS of its last 3 s, -inf for silence
};

// Reads `frames` interleaved 16-bit stereo frames at the player's sample rate.
LevelReading measureLevel(const int16_t* frames, uint32_t count);
// The overlay's reading of the music heard up to frame `end`, measured again
// only once the heard position has moved by kLevelStepSeconds either way or
// the recording is another (a new song): one reading of 3 s costs about
// 17 ms of the main thread, too much for every frame.
constexpr double kLevelStepSeconds = 0.25;
struct LevelFollower {
    LevelReading reading{-INFINITY, -INFINITY};
    int64_t end = -1;
    const int16_t* recording = nullptr;
    // `frames` is the whole recording; true when it measured.
    bool follow(const int16_t* frames, int64_t end);
};

// A bar of `width` characters for a value from -60 to 0 ('#' filled, '.' empty).
void levelBar(float db, char* out, int32_t width);
