// What the intro's own piece must decode to: its size, first bytes, tempo,
// event counts, note range and the shape of its opening. The song compiler
// measures any song bytes and refuses to write the piece when one fact breaks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Figures of one song, measured on its bytes through the program's decoder.
struct SongFigures {
    bool decoded = false;
    uint32_t bytes = 0;
    uint32_t instruments = 0;
    uint32_t tempo = 0;
    std::vector<uint32_t> eventCounts;
    uint32_t totalEvents = 0, noteOns = 0, noteOffs = 0;
    uint32_t lowestNote = 255, highestNote = 0;
    std::vector<uint32_t> velocities;  // distinct note-on velocities, ascending
    uint32_t largestDelta = 0;         // steps
    float lastEventTime = 0.0f;        // seconds
    uint32_t restrikes = 0;            // a note released and struck again on one step
    std::vector<uint32_t> trackRestrikes;
    uint32_t unmatchedOns = 0;         // note-ons without a later note-off of their pitch
    uint32_t strayOffs = 0;            // note-offs of a pitch that was not held
    uint32_t onsBeforeOffs = 0;        // steps where an on is stored before an off
    std::string opening[2];            // first events of tracks 0 and 1, "on 70 @0 ..."
    uint32_t largestParamByte = 0;
    std::vector<uint32_t> effectTypes;  // types selected by any effect slot, ascending
};

SongFigures measureSong(const std::vector<uint8_t>& bytes);

// One line per fact of the piece that `figures` (of `bytes`) breaks; empty
// when all hold.
std::vector<std::string> pieceFaults(const std::vector<uint8_t>& bytes, const SongFigures& figures);

// A short human summary: counts per track, ranges, re-strikes.
std::string describe(const SongFigures& figures);
