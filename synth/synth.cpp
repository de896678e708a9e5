// Synth set-up, song loading and the start/stop hand-over between the
// thread that controls the Synth and the audio thread that renders it.
#include "synth/synth.h"

#include "runtime/memory.h"
#include "synth/song_format.h"

Synth::Synth()
    : instrumentCount(0),
      masterVolume(0.0f),
      time(0.0f),
      playing(false),
      controlRequests(0),
      requestedStart(0.0f),
      voiceWork(false) {
    for (DynArray& track : tracks) track.init(sizeof(NoteEvent));
    for (auto& slot : instruments) slot.store(nullptr, std::memory_order_relaxed);
    tables.sampleRate = 0;
}

Synth::~Synth() {
    clear(*this);
    for (DynArray& track : tracks) track.release();
}

void init(Synth& synth) {
    buildSynthTables(synth.tables);
    for (auto& slot : synth.instruments) slot.store(nullptr, std::memory_order_relaxed);
    synth.masterVolume = 0.1f;
    synth.instrumentCount.store(0, std::memory_order_relaxed);
    synth.playing.store(false, std::memory_order_relaxed);
}

void setSampleRate(Synth& synth, uint32_t rate) {
    synth.tables.sampleRate = rate;
}

void clear(Synth& synth) {
    synth.instrumentCount.store(0, std::memory_order_relaxed);
    for (uint32_t i = 0; i < kTrackCount; ++i) {
        synth.tracks[i].clear();
        Instrument* instrument = synth.instruments[i].load(std::memory_order_relaxed);
        if (instrument != nullptr) {
            destroyInstrument(instrument);
            synth.instruments[i].store(nullptr, std::memory_order_relaxed);
        }
    }
}

bool loadSong(Synth& synth, const uint8_t* data, uint32_t length, float timeOffset) {
    if (length == 0) {
        clear(synth);
        return true;
    }
    // Everything new is made first, so a failure anywhere leaves the old song.
    DecodedSong song;
    if (!decodeSong(data, length, timeOffset, song)) return false;
    Instrument* fresh[kTrackCount] = {};
    for (uint32_t i = 0; i < song.instrumentCount; ++i) {
        fresh[i] = createInstrument();
        if (fresh[i] == nullptr) {
            for (uint32_t j = 0; j < i; ++j) destroyInstrument(fresh[j]);
            releaseDecodedSong(song);
            return false;
        }
    }

    clear(synth);
    for (uint32_t i = 0; i < song.instrumentCount; ++i) {
        Instrument& instrument = *fresh[i];
        reset(instrument);
        copyBytes(instrument.params, song.parameters[i], sizeof(instrument.params));
        createEffectUnits(instrument);
        // The decoded track's storage becomes the Synth's track.
        synth.tracks[i].release();
        synth.tracks[i] = takeTrack(song, i);
        synth.instruments[i].store(&instrument, std::memory_order_relaxed);
    }
    synth.instrumentCount.store(song.instrumentCount, std::memory_order_relaxed);
    releaseDecodedSong(song);
    return true;
}

// Carries out the pending requests. Only the holder of voiceWork calls it.
// A stop is applied before a start: the request bits of stop clear an
// earlier start, so a start bit next to a stop bit always came later.
static void applyControlRequests(Synth& synth) {
    const uint32_t requests = synth.controlRequests.exchange(0);
    if (requests & kStopRequest) {
        synth.playing.store(false, std::memory_order_relaxed);
        for (auto& slot : synth.instruments) {
            Instrument* instrument = slot.load(std::memory_order_relaxed);
            if (instrument != nullptr) allNotesOff(*instrument);
        }
    }
    if (requests & kStartRequest) {
        synth.time.store(synth.requestedStart.load(std::memory_order_relaxed), std::memory_order_relaxed);
        synth.playing.store(true, std::memory_order_relaxed);
    }
}

static void drainControlRequests(Synth& synth) {
    // voiceWork is taken by exchange and never waited for. Whoever lets it go
    // looks at the requests again afterwards, so a request posted while the
    // other thread held it is never stranded (sequentially consistent order:
    // either the poster sees voiceWork free, or the holder sees the request).
    while (synth.controlRequests.load() != 0 && !synth.voiceWork.exchange(true)) {
        applyControlRequests(synth);
        synth.voiceWork.store(false);
    }
}

bool beginBlockWork(Synth& synth) {
    if (synth.voiceWork.exchange(true)) return false;
    applyControlRequests(synth);
    return true;
}

void endBlockWork(Synth& synth) {
    synth.voiceWork.store(false);
    drainControlRequests(synth);
}

void start(Synth& synth, float time) {
    synth.requestedStart.store(time, std::memory_order_relaxed);
    synth.controlRequests.fetch_or(kStartRequest);
    drainControlRequests(synth);
}

void stop(Synth& synth) {
    uint32_t requests = synth.controlRequests.load();
    while (!synth.controlRequests.compare_exchange_weak(requests, (requests & ~kStartRequest) | kStopRequest)) {
    }
    drainControlRequests(synth);
}
