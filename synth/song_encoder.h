// Builds song bytes (the layout read by decodeSong in synth/song_format.h)
// from parameter bytes and note lists. Header-only and host-side (std::vector):
// for the data generators, tests and the fuzzer's seed corpus.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "synth/song_format.h"  // constants only: nothing here needs linking

// One stored event: steps since the previous event of the track (from the
// song start for the first), note number (0 = none), velocity (0 = note off).
struct SongStep {
    uint16_t delta;
    uint8_t note;
    uint8_t velocity;
};

using InstrumentBytes = std::array<uint8_t, kParamCount>;  // parameter j = byte * 0.01

// The stored form of one song: instrument i plays tracks[i].
struct SongSource {
    uint16_t tempo = 120;  // beats per minute; a step is a sixteenth note
    std::vector<InstrumentBytes> instruments;
    std::vector<std::vector<SongStep>> tracks;
};

// Writes events by absolute step instead of delta. Gaps longer than a 16-bit
// delta are bridged with filler events (note 0, which playback skips).
struct TrackWriter {
    std::vector<SongStep> events;
    uint64_t lastStep = 0;

    // Adds an event at `step`; false (nothing added) when step lies before the
    // previous event. Events on one step play in the order they are added.
    bool add(uint64_t step, uint8_t note, uint8_t velocity) {
        if (step < lastStep) return false;
        uint64_t gap = step - lastStep;
        while (gap > 0xFFFF) {
            events.push_back({0xFFFF, 0, 0});
            gap -= 0xFFFF;
        }
        events.push_back({uint16_t(gap), note, velocity});
        lastStep = step;
        return true;
    }
};

namespace song_encoder_detail {
inline void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}
}  // namespace song_encoder_detail

// The song's bytes, or an empty vector when the source cannot be stored: a
// different number of instruments and tracks, or a count above 65,535.
// More than 32 instruments is stored as asked (decodeSong rejects it).
inline std::vector<uint8_t> encodeSong(const SongSource& song) {
    using namespace song_encoder_detail;
    std::vector<uint8_t> out;
    const size_t n = song.instruments.size();
    if (n != song.tracks.size() || n > 0xFFFF) return out;
    for (const auto& track : song.tracks)
        if (track.size() > 0xFFFF) return out;

    put16(out, uint32_t(n));
    put16(out, song.tempo);
    for (const auto& track : song.tracks) put16(out, uint32_t(track.size()));
    putTag(out, "INST");
    for (const auto& instrument : song.instruments) out.insert(out.end(), instrument.begin(), instrument.end());
    putTag(out, "SONG");
    for (const auto& track : song.tracks) {
        for (const SongStep& e : track) put16(out, e.delta);
        for (const SongStep& e : track) out.push_back(e.note);
        for (const SongStep& e : track) out.push_back(e.velocity);
    }
    putTag(out, "ENDS");
    return out;
}
