// The level of what is playing, for the player's overlay: the short-term
// loudness (LUFS) and the true peak (dBTP) of the last stretch heard, by the
// same meters as the song report, so that the two agree.
#pragma once
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class LoudnessMeter;

// How much music before the heard position a reading covers: the short-term
// loudness window.
constexpr double kLevelWindowSeconds = 3.0;
// How far the heard position moves before the reading is made again.
constexpr double kLevelStepSeconds = 0.25;

struct LevelReading {
    float truePeak;   // dBTP of the last 3 s (to 100 ms), -inf for silence
    float shortTerm;  // LUFS of the last 3 s, -inf for silence
};

// The overlay's reading of the music heard up to a frame of a recording
// (interleaved 16-bit stereo at the player's sample rate). While the music
// plays on, only the frames heard since the last reading are fed to a running
// meter: a tenth of the main thread's time that measuring the whole window
// afresh costs (17 to 28 ms). A step back, a jump of more than the window or
// another recording (a new song) starts a fresh meter on the window before
// the position, since the stretch heard is then not a continuation of the
// last one.
class LevelFollower {
public:
    LevelFollower();
    ~LevelFollower();

    // `frames` is the whole recording, `end` the heard position in frames;
    // true when it measured again.
    bool follow(const int16_t* frames, int64_t end);
    const LevelReading& reading() const { return reading_; }

private:
    void feed(const int16_t* frames, int64_t begin, int64_t end);

    struct PeakPiece {
        int64_t end;  // the frame after the piece
        double dbtp;
    };
    LevelReading reading_{-INFINITY, -INFINITY};
    std::unique_ptr<LoudnessMeter> meter_;
    const int16_t* recording_ = nullptr;
    int64_t end_ = -1;
    std::deque<PeakPiece> peaks_;  // of the pieces fed that end inside the window
    std::vector<float> samples_;   // one piece as floats
};

// A bar of `width` characters for a value from -60 to 0 ('#' filled, '.' empty).
void levelBar(float db, char* out, int32_t width);
