// Offline replay of the show's clock, timeline and note feed.
#include "tools/replay/show_replay.h"

#include "data/song.h"
#include "driver/music.h"
#include "driver/show.h"
#include "runtime/counter.h"
#include "synth/synth.h"
#include "tools/replay/song_recording.h"

namespace {

// Instruments assumed when no song is loaded: the scenes address 10 rows.
constexpr uint32_t kSilentInstruments = 10;

void renderBlockOfReplay(ShowReplay& replay) {
    Synth& synth = *replay.synth;
    const int16_t* out = nullptr;
    renderBlock(synth, &out);
    if (out == nullptr) return;
    replay.renderedBytes += kBlockFrames * 4;
    recordBlock(*replay.heard, synth, synth.time.load(std::memory_order_relaxed), replay.renderedBytes);
    if (replay.song) replay.song->insert(replay.song->end(), out, out + kBlockFrames * 2);
}

// One frame-loop iteration's timeline and note-feed work at `clock`, with
// the frame loop's look-up of the voices being heard.
void stepFrame(ShowReplay& replay, float clock) {
    stepTimeline(replay.timeline, clock);
    if (replay.recording) {
        // A block not yet recorded keeps the previous frame's voices, as the
        // show keeps them when its look-up fails.
        recordedVoices(*replay.recording, clock + kPictureDelay, replay.voices);
    } else if (replay.synth) {
        const float heard = clock + kPictureDelay;
        // Rendered up to and past the heard time: the block that starts
        // exactly at it is the one heard, so it must be in the record.
        Synth& synth = *replay.synth;
        while (synth.time.load(std::memory_order_relaxed) <= heard && synth.playing.load(std::memory_order_relaxed))
            renderBlockOfReplay(replay);
        heardVoices(*replay.heard, heard, replay.voices);
    } else {
        replay.voices.instrumentCount = kSilentInstruments;
    }
    stepNoteFeed(replay.feed, replay.voices);
    replay.lastClock = clock;
}

}  // namespace

bool initReplay(ShowReplay& replay, bool music, uint64_t seed) {
    initTimeline(replay.timeline);
    replay.lastClock = -1.0f;
    replay.nextFrame = 0;
    replay.voices = {};
    uint32_t instruments = kSilentInstruments;
    replay.renderedBytes = 0;
    if (music) {
        pinCounter(seed);
        replay.synth = new Synth;
        if (!prepareSynth(*replay.synth, kSong, kSongSize)) return false;
        instruments = replay.synth->instrumentCount.load(std::memory_order_relaxed);
        replay.heard = new HeardMusic;
        if (!initHeardMusic(*replay.heard, instruments, nullptr)) return false;
        start(*replay.synth, 0.0f);
    }
    // Until a block is heard every voice is idle, as in the show.
    replay.voices.instrumentCount = instruments;
    return initNoteFeed(replay.feed, instruments);
}

bool initRecordedReplay(ShowReplay& replay, const SongRecording& recording, uint32_t instruments) {
    replay.recording = &recording;
    replay.synth = nullptr;
    replay.renderedBytes = 0;
    if (!initNoteFeed(replay.feed, instruments)) return false;
    restartReplay(replay);
    return true;
}

void restartReplay(ShowReplay& replay) {
    initTimeline(replay.timeline);
    replay.lastClock = -1.0f;
    replay.nextFrame = 0;
    replay.voices = {};
    replay.voices.instrumentCount = replay.feed.rows;
    for (uint32_t i = 0; i < replay.feed.rows * kFeedNotes; ++i) replay.feed.notes[i] = 0.0f;
    for (uint32_t i = 0; i < replay.feed.rows; ++i) replay.feed.peaks[i] = 0.0f;
}

void releaseReplay(ShowReplay& replay) {
    releaseNoteFeed(replay.feed);
    if (replay.heard) releaseHeardMusic(*replay.heard);
    delete replay.heard;
    replay.heard = nullptr;
    delete replay.synth;
    replay.synth = nullptr;
}

void advanceReplay(ShowReplay& replay, float clock) {
    for (;;) {
        float frameClock = float(replay.nextFrame) / 60.0f;
        if (!(frameClock < clock)) break;
        replay.nextFrame++;
        if (frameClock > replay.lastClock) stepFrame(replay, frameClock);
    }
    if (clock > replay.lastClock) stepFrame(replay, clock);
}

void renderReplayMusic(ShowReplay& replay, float time) {
    Synth* synth = replay.synth;
    if (!synth) return;
    while (synth->time.load(std::memory_order_relaxed) < time && synth->playing.load(std::memory_order_relaxed))
        renderBlockOfReplay(replay);
}

uint32_t replayInstruments(const ShowReplay& replay) {
    return replay.feed.rows;
}
