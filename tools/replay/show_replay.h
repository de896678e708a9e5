// Replays the show offline up to a chosen clock, one frame per 1/60 s as the
// frame loop would run on a 60 Hz display: the song rendered block by block
// in lock-step, the timeline and the note feed stepped once per frame, the
// feed taking the voices of the block heard at each frame's clock exactly as
// the show does. The random seed is pinned, so a replay gives the same
// pictures every time.
#pragma once
#include <cstdint>
#include <vector>

#include "driver/heard_music.h"
#include "driver/note_feed.h"
#include "driver/timeline.h"

struct Synth;
struct SongRecording;

struct ShowReplay {
    Synth* synth = nullptr;  // null when replaying without music or from a recording
    // A song rendered beforehand, whose recorded voices stand in for the
    // Synth's (the development player); null otherwise.
    const SongRecording* recording = nullptr;
    Timeline timeline{};
    NoteFeed feed{};
    VoiceFrame voices{};       // of the block heard at the last frame
    HeardMusic* heard = nullptr;  // every rendered block's voices (with music)
    uint64_t renderedBytes = 0;   // stream bytes of the blocks rendered
    float lastClock = -1.0f;  // clock of the last frame stepped; none yet below 0
    uint32_t nextFrame = 0;   // next 60 Hz frame to step
    // When set, every block the replay renders is appended here: 16-bit
    // stereo, interleaved, from song time 0 (a video's sound track).
    std::vector<int16_t>* song = nullptr;
};

// Prepares a fresh Synth as the show does (seeded from `seed`) and starts it,
// or with music off leaves every note silent. The note feed gets one row per
// instrument (10 without music, the song's count).
bool initReplay(ShowReplay& replay, bool music, uint64_t seed);
// Replays from a recording instead of an offline Synth: the note feed gets
// `instruments` rows. Nothing is rendered; restartReplay rewinds it.
bool initRecordedReplay(ShowReplay& replay, const SongRecording& recording, uint32_t instruments);
// Back to before the first frame, the note feed silent, with the same rows
// and music source (a recording; an offline Synth cannot be rewound).
void restartReplay(ShowReplay& replay);
void releaseReplay(ShowReplay& replay);
// Steps every 60 Hz frame whose clock lies after the last one stepped and
// before `clock`, then a frame at `clock` itself (clock >= 0, never
// decreasing from call to call). The music is rendered past clock + the
// picture delay (the music time heard at that clock), so that the block
// being heard then has been rendered, as it always has in the show.
void advanceReplay(ShowReplay& replay, float clock);
// Renders music until the Synth's time is at least `time` (seconds) or the
// song has stopped; nothing without music. Every block is recorded for the
// heard-voice look-up and goes to `song` as well.
void renderReplayMusic(ShowReplay& replay, float time);
// Rows of the note arrays.
uint32_t replayInstruments(const ShowReplay& replay);
