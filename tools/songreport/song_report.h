// The song report: a song's text source rendered through the intro's own
// Synth, the mix and every track alone, and measured per section of its
// marks and as a whole, as a producer would check a mix.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/meters/loudness.h"
#include "tools/meters/band_power.h"
#include "tools/songc/section_marks.h"
#include "tools/songc/song_source.h"

// The kick-over-bass figure: kick against bass energy in 40-100 Hz during the
// first 100 ms of every kick, where both fight for the same speaker travel.
constexpr double kKickBandLow = 40.0;
constexpr double kKickBandHigh = 100.0;
constexpr double kKickWindowSeconds = 0.1;
// Track roles, by the name of the track in the score.
constexpr const char* kKickTrack = "kick";
constexpr const char* kBassTrack = "bass";

// Samples of a rendered song: interleaved stereo, the 16-bit output that is
// heard, scaled so that full scale is 1.0.
using Stereo = std::vector<float>;

// Renders song bytes for `seconds` (whole blocks) with the counter pinned to
// `seed`, so that the same bytes and seed give the same samples. Empty when
// the bytes do not load.
Stereo renderSong(const std::vector<uint8_t>& bytes, double seconds, uint64_t seed);

// The song's bytes as songc stores them, and with the notes of every track
// but `track` taken out: the same instruments, that track alone.
std::vector<uint8_t> mixSong(const SongText& text);
std::vector<uint8_t> soloSong(const SongText& text, size_t track);

// Kick over bass in dB over a set of kicks: the weakest kick and the median.
// A kick with no bass under it counts as +inf.
struct KickOverBass {
    size_t kicks = 0;
    double least = 0.0;
    double median = 0.0;
};
// Kicks struck at the given frames of the two solos (kicks whose window runs
// past either signal are left out).
KickOverBass kickOverBass(const Stereo& kick, const Stereo& bass, const std::vector<size_t>& kickFrames,
                          uint32_t sampleRate);

struct SectionFigures {
    std::string name;
    uint32_t step = 0;
    double start = 0.0, end = 0.0;  // music seconds
    Loudness loudness;  // maxShortTerm: the loudest 3 s of the song that end in the section
    double level = 0.0;                          // dBFS RMS of the mix
    std::array<double, kOctaveBands> octaves{};  // dB of the section's total power
    std::vector<double> trackLevels;             // dBFS RMS of each track alone
    KickOverBass kickOverBass;
};

struct TrackFigures {
    std::string name;
    double loudness = 0.0;          // integrated LUFS of the track alone
    std::vector<double> cutEnds;    // music seconds of each cut note end
    size_t events = 0;              // stored note-ons and note-offs
    size_t bytes = 0;               // its parameter block and its events
};

struct SongReport {
    double seconds = 0.0;      // rendered: whole blocks, at least what was asked
    uint64_t seed = 0;
    uint16_t tempo = 0;
    bool kickAndBass = false;  // both roles found: the kick-over-bass figures hold
    std::vector<SectionFigures> sections;
    SectionFigures song;       // the whole render
    double below60 = 0.0;      // dB of the song's power below 60 Hz
    double low200to500 = 0.0;  // and in 200-500 Hz
    std::vector<TrackFigures> tracks;
    size_t songBytes = 0;      // everything, with the header and tags
};

// Renders and measures. Sections that start at or after `seconds` are left
// out; a song without marks is one section. A song that does not load gives
// a report with nothing rendered (song.end 0).
SongReport makeSongReport(const SongText& text, const std::vector<SectionMark>& marks, double seconds,
                          uint64_t seed);

// The report as a table for people, and as JSON (non-finite figures as null).
std::string reportText(const SongReport& report);
std::string reportJson(const SongReport& report);
