// Offline replay of the show's clock, timeline and note feed.
#include "tools/capture/show_replay.h"

#include "data/song.h"
#include "driver/show.h"
#include "runtime/counter.h"
#include "synth/synth.h"

namespace {

// Instruments assumed when no song is loaded: the scenes address 10 rows.
constexpr uint32_t kSilentInstruments = 10;

// One frame-loop iteration's timeline and note-feed work at `clock`.
void stepFrame(ShowReplay& replay, float clock) {
    stepTimeline(replay.timeline, clock);
    if (replay.synth) {
        renderReplayMusic(replay, clock + kPictureDelay);
        readVoiceFrame(*replay.synth, replay.voices);
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
    if (music) {
        pinCounter(seed);
        replay.synth = new Synth;
        init(*replay.synth);
        setSampleRate(*replay.synth, 44100);
        if (!loadSong(*replay.synth, kProvisionalSong, kProvisionalSongSize, 0.0f)) return false;
        replay.synth->masterVolume = 0.4f;
        start(*replay.synth, 0.0f);
        instruments = replay.synth->instrumentCount.load(std::memory_order_relaxed);
    }
    return initNoteFeed(replay.feed, instruments);
}

void releaseReplay(ShowReplay& replay) {
    releaseNoteFeed(replay.feed);
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
    const int16_t* out = nullptr;
    while (synth->time.load(std::memory_order_relaxed) < time && synth->playing.load(std::memory_order_relaxed)) {
        renderBlock(*synth, &out);
        if (replay.song) replay.song->insert(replay.song->end(), out, out + kBlockFrames * 2);
    }
}

uint32_t replayInstruments(const ShowReplay& replay) {
    return replay.feed.rows;
}
