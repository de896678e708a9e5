// The song's text source: named instrument patches and a score of patterns
// placed on tracks, read into the stored form that encodeSong writes.
//
// Both files are UTF-8 text (a leading byte-order mark is skipped).
// Patches (one block per instrument, at most 32, names unique):
//   instrument NAME
//     PARAM BYTE                       a parameter by its name in runtime/params.h, byte 0..100
//     env1|env2 A D S R CURVE          the five envelope bytes
//     lfo1|lfo2 RATE DEPTH SHAPE SYNC  the four LFO bytes
//     mod SOURCE AMOUNT DEST           next modulation slot: lfo1 lfo2 env1 env2, 0..10, a target
//     fx TYPE                          next effect slot, by its name in effects/effect_registry.cpp
//   end
// Score:
//   tempo BPM                          exactly once
//   section NAME @STEP                 where a section of the piece begins (section_marks.h)
//   pattern NAME LENGTH                length in steps (a step is a sixteenth note)
//     STEP LENGTH NOTE...              notes as names (C4 = 60, D#2, Eb2) or numbers
//     grid NOTE LENGTH x...x...        one character a step from step 0: x strikes
//   end
//   track NAME                         the notes of instrument NAME: one track each
//     @STEP PATTERN [xTIMES] [+N|-N] [..STOP]
//                                      the pattern from STEP, repeated, transposed, and cut
//                                      at step STOP (later notes dropped, held ones shortened)
//   end
// A word that starts with '#' starts a comment (a '#' inside a word is a sharp).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "synth/song_encoder.h"

// One note of a track: struck at `step`, released `length` steps later.
struct SourceNote {
    uint32_t step;
    uint32_t length;
    uint8_t note;
};

struct SongText {
    uint16_t tempo = 0;
    std::vector<std::string> instrumentNames;
    std::vector<InstrumentBytes> instruments;
    std::vector<std::vector<SourceNote>> tracks;  // tracks[i] plays instruments[i]
};

// Reads both texts; false with a message "file:line: what" in `error` at the
// first fault (unknown name, value out of range, a pattern used before it is
// defined, two overlapping notes of one pitch on one track, a track of more
// events than a song can store, ...). Tracks come out in instrument order.
bool parseSongText(const std::string& instrumentsText, const std::string& instrumentsFile,
                   const std::string& scoreText, const std::string& scoreFile, SongText& out, std::string& error);

// Note-ons and note-offs of one track in stored order: by step, and within a
// step every note-off before every note-on, so a note that ends where it is
// struck again is released first and then restarted.
std::vector<SongStep> trackEvents(const std::vector<SourceNote>& notes, uint8_t velocity);

// The stored form of the whole song, every note-on with `velocity`.
SongSource songSource(const SongText& text, uint8_t velocity);
