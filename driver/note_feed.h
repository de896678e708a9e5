// Note-activity feed: the CPU copies of the `notes_velocity` (128 notes per
// instrument) and `max_notes_velocity` (one peak per instrument) textures,
// refreshed once per frame from a snapshot of the Synth's voices.
#pragma once
#include <cstdint>

struct Synth;

constexpr uint32_t kFeedNotes = 128;        // texels per row: note numbers 0..127
constexpr uint32_t kFeedVoices = 16;        // voices per instrument
constexpr uint32_t kFeedInstruments = 32;   // most instruments a Synth holds
// Per-frame fade of a released note and of a peak above the current loudest.
constexpr float kFeedDecay = 0.9f;

// What the feed needs of one voice.
struct VoiceState {
    bool active;       // key held; a voice in its release phase does not count
    int32_t note;      // its low 7 bits pick the column
    int32_t velocity;  // note-on velocity byte; loudness = velocity * 0.009375
};

// The voices of every instrument at one moment, instrument by instrument.
struct VoiceFrame {
    uint32_t instrumentCount;  // at most kFeedInstruments
    VoiceState voices[kFeedInstruments * kFeedVoices];
};

// Both arrays, made once at start-up and zero-filled.
struct NoteFeed {
    float* notes;       // `rows` rows of 128 entries; row i is instrument i
    float* peaks;       // `rows` entries
    uint32_t rows;      // instruments the arrays were made for
};

// Allocates and zeroes both arrays for `instrumentCount` instruments (at most
// kFeedInstruments). False when memory is short; the feed then has no rows.
bool initNoteFeed(NoteFeed& feed, uint32_t instrumentCount);
// Frees both arrays (tools and tests; the show keeps them to the end).
void releaseNoteFeed(NoteFeed& feed);

// velocity * 1.2/128, formed in double precision and rounded to a float:
// 80 gives 0.75, 255 gives 2.390625.
float noteLoudness(int32_t velocity);

// One frame: every note entry decays by 0.9 and is lifted to the loudness of
// any held voice on it; every peak takes the current loudest held voice when
// that is at least the peak, and otherwise decays by 0.9. Instruments beyond
// the rows the feed was made for are left out.
void stepNoteFeed(NoteFeed& feed, const VoiceFrame& frame);

// Reads the live voice state of a Synth without waiting for the audio thread
// (relaxed loads; a voice caught mid-change is accepted). An instrument slot
// that is still empty reads as 16 idle voices.
void readVoiceFrame(const Synth& synth, VoiceFrame& frame);
