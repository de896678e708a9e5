// Measuring song bytes (through decodeSong, the loader's own reading) and
// comparing the figures with the facts of the intro's piece.
#include "tools/songc/piece_facts.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "synth/song_format.h"
#include "tools/songc/song_folder.h"
#include "voice/instrument.h"

namespace {

// The piece: 10 instruments at 115 bpm, these event counts, 19,572 bytes.
constexpr uint32_t kPieceEventCounts[] = {1694, 1020, 506, 44, 484, 62, 212, 212, 212, 158};
constexpr uint8_t kPieceFirstBytes[] = {0x0A, 0x00, 0x73, 0x00, 0x9E, 0x06, 0xFC, 0x03};
constexpr uint32_t kPieceBytes = 19572;
constexpr uint32_t kPieceTempo = 115;
constexpr uint32_t kPieceLowestNote = 27, kPieceHighestNote = 85;
constexpr uint32_t kPieceLargestDelta = 468;
constexpr float kPieceLastEvent = 144.0f;
constexpr uint32_t kPieceRestrikes = 435;
constexpr uint32_t kPieceLargestParamByte = 100;  // every parameter in 0.00..1.00
// Waveshaper, stereo delay, flanger, reverb and EQ; chorus and formant filter
// stay unused.
const std::vector<uint32_t> kPieceEffectTypes = {1, 2, 4, 5, 7};
// Track 0 strikes an F sharp major triad and strikes it again 6 steps later;
// track 1 starts on D sharp in two octaves.
constexpr const char* kPieceOpening[2] = {"on 70 @0, on 73 @0, on 78 @0, off 70 @6, off 73 @6, off 78 @6, "
                                          "on 70 @6, on 73 @6, on 78 @6",
                                          "on 39 @0, on 51 @0"};
constexpr uint32_t kOpeningEvents[2] = {9, 2};

struct Event {
    float time;
    uint32_t note, velocity;
};

std::vector<Event> events(const DecodedSong& song, uint32_t t) {
    std::vector<Event> out;
    const NoteEvent* e = reinterpret_cast<const NoteEvent*>(song.tracks[t].items);
    for (uint32_t i = 0; i < song.tracks[t].count; ++i) out.push_back({e[i].time, e[i].note, e[i].velocity});
    return out;
}

// Where the parameter bytes of `instruments` instruments begin: after the
// count, the tempo, the event counts and the "INST" tag.
uint32_t parametersAt(uint32_t instruments) {
    return 4 + 2 * instruments + 4;
}

// Raw step deltas of every track, read straight from the layout.
uint32_t largestDelta(const std::vector<uint8_t>& bytes, const SongFigures& f) {
    uint32_t at = parametersAt(f.instruments) + kParamCount * f.instruments + 4, largest = 0;
    for (uint32_t count : f.eventCounts) {
        for (uint32_t i = 0; i < count; ++i, at += 2)
            largest = std::max<uint32_t>(largest, bytes[at] | (uint32_t(bytes[at + 1]) << 8));
        at += 2 * count;
    }
    return largest;
}

template <class... Args>
std::string format(const char* fmt, Args... args) {
    char line[512];
    std::snprintf(line, sizeof line, fmt, args...);
    return line;
}

// "a, b, c" for a list of numbers.
std::string list(const std::vector<uint32_t>& values) {
    std::string out;
    for (uint32_t v : values) out += (out.empty() ? "" : ", ") + std::to_string(v);
    return out;
}

}  // namespace

SongFigures measureSong(const std::vector<uint8_t>& bytes) {
    SongFigures f;
    f.bytes = uint32_t(bytes.size());
    DecodedSong song;
    if (!decodeSong(bytes.data(), uint32_t(bytes.size()), 0.0f, song)) return f;
    f.decoded = true;
    f.instruments = song.instrumentCount;
    f.tempo = song.tempo;
    for (uint32_t i = 0; i < song.instrumentCount; ++i) {
        const uint8_t* patch = bytes.data() + parametersAt(song.instrumentCount) + kParamCount * i;
        for (uint32_t j = 0; j < kParamCount; ++j) f.largestParamByte = std::max<uint32_t>(f.largestParamByte, patch[j]);
        for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
            const int32_t type = roundParam(10.0f * song.parameters[i][kFx0Type + s]);
            if (type != 0 && std::find(f.effectTypes.begin(), f.effectTypes.end(), uint32_t(type)) == f.effectTypes.end())
                f.effectTypes.push_back(uint32_t(type));
        }
    }
    std::sort(f.effectTypes.begin(), f.effectTypes.end());
    for (uint32_t t = 0; t < song.instrumentCount; ++t) {
        const std::vector<Event> track = events(song, t);
        f.eventCounts.push_back(uint32_t(track.size()));
        std::map<uint32_t, int> held;  // pitch -> notes sounding
        const uint32_t restrikesBefore = f.restrikes;
        for (size_t i = 0; i < track.size(); ++i) {
            const Event& e = track[i];
            f.lastEventTime = std::max(f.lastEventTime, e.time);
            if (e.note == 0) continue;
            if (e.velocity == 0) {
                ++f.noteOffs;
                if (held[e.note] > 0) --held[e.note];
                else ++f.strayOffs;
                continue;
            }
            ++f.noteOns;
            ++held[e.note];
            f.lowestNote = std::min(f.lowestNote, e.note);
            f.highestNote = std::max(f.highestNote, e.note);
            if (std::find(f.velocities.begin(), f.velocities.end(), e.velocity) == f.velocities.end())
                f.velocities.push_back(e.velocity);
            // Earlier events of the same step: an off of this pitch is a
            // re-strike; an off of any pitch after an on breaks the order.
            for (size_t j = i + 1; j < track.size() && track[j].time == e.time; ++j)
                if (track[j].velocity == 0 && track[j].note != 0) {
                    ++f.onsBeforeOffs;
                    break;
                }
            for (size_t j = i; j-- > 0 && track[j].time == e.time;)
                if (track[j].velocity == 0 && track[j].note == e.note) {
                    ++f.restrikes;
                    break;
                }
        }
        for (const auto& [note, count] : held) f.unmatchedOns += uint32_t(count);
        f.trackRestrikes.push_back(f.restrikes - restrikesBefore);
        if (t < 2) {
            for (size_t i = 0; i < track.size() && i < kOpeningEvents[t]; ++i)
                f.opening[t] += format("%s%s %u @%g", i == 0 ? "" : ", ", track[i].velocity ? "on" : "off",
                                       track[i].note, double(track[i].time / song.stepDuration));
        }
    }
    f.totalEvents = f.noteOns + f.noteOffs;
    std::sort(f.velocities.begin(), f.velocities.end());
    f.largestDelta = largestDelta(bytes, f);
    releaseDecodedSong(song);
    return f;
}

std::vector<std::string> pieceFaults(const std::vector<uint8_t>& bytes, const SongFigures& f) {
    std::vector<std::string> faults;
    if (!f.decoded) return {"the bytes do not decode"};
    const std::vector<uint32_t> counts(std::begin(kPieceEventCounts), std::end(kPieceEventCounts));
    if (f.instruments != 10) faults.push_back(format("%u instruments, not 10", f.instruments));
    if (f.tempo != kPieceTempo) faults.push_back(format("tempo %u, not %u", f.tempo, kPieceTempo));
    if (f.eventCounts != counts)
        faults.push_back("event counts " + list(f.eventCounts) + ", not " + list(counts));
    if (f.bytes != kPieceBytes) faults.push_back(format("%u bytes, not %u", f.bytes, kPieceBytes));
    if (!std::equal(std::begin(kPieceFirstBytes), std::end(kPieceFirstBytes), bytes.begin()))
        faults.push_back("the first bytes are not 0A 00 73 00 9E 06 FC 03");
    if (f.noteOns != f.noteOffs || f.unmatchedOns != 0 || f.strayOffs != 0)
        faults.push_back(format("%u note-ons, %u note-offs, %u never ended, %u offs of unheld notes", f.noteOns,
                                f.noteOffs, f.unmatchedOns, f.strayOffs));
    if (f.lowestNote != kPieceLowestNote || f.highestNote != kPieceHighestNote)
        faults.push_back(format("notes %u to %u, not %u to %u", f.lowestNote, f.highestNote, kPieceLowestNote,
                                kPieceHighestNote));
    if (f.velocities != std::vector<uint32_t>{kPieceVelocity})
        faults.push_back("note-on velocities " + list(f.velocities) + ", not only 80");
    if (f.largestDelta != kPieceLargestDelta)
        faults.push_back(format("largest delta %u steps, not %u", f.largestDelta, kPieceLargestDelta));
    if (f.lastEventTime != kPieceLastEvent)
        faults.push_back(format("last event at %.7g s, not %.1f s", double(f.lastEventTime), double(kPieceLastEvent)));
    if (f.largestParamByte > kPieceLargestParamByte)
        faults.push_back(format("a parameter byte of %u, above %u", f.largestParamByte, kPieceLargestParamByte));
    if (f.effectTypes != kPieceEffectTypes)
        faults.push_back("effect types " + list(f.effectTypes) + ", not " + list(kPieceEffectTypes));
    if (f.onsBeforeOffs != 0) faults.push_back(format("%u steps store a note-on before a note-off", f.onsBeforeOffs));
    for (int t = 0; t < 2; ++t)
        if (f.opening[t] != kPieceOpening[t])
            faults.push_back(format("track %d opens with %s, not %s", t, f.opening[t].c_str(), kPieceOpening[t]));
    if (f.restrikes != kPieceRestrikes)
        faults.push_back(format("%u re-strikes on one step, not %u", f.restrikes, kPieceRestrikes));
    return faults;
}

std::string describe(const SongFigures& f) {
    if (!f.decoded) return "the bytes do not decode\n";
    std::string out = format("%u bytes, %u instruments, tempo %u, events ", f.bytes, f.instruments, f.tempo);
    out += list(f.eventCounts) + format(" (%u)\n", f.totalEvents);
    out += format("notes %u to %u, velocities %s, largest delta %u steps, last event at %.7g s, %u re-strikes\n",
                  f.lowestNote, f.highestNote, list(f.velocities).c_str(), f.largestDelta, double(f.lastEventTime),
                  f.restrikes);
    out += "re-strikes by track " + list(f.trackRestrikes) + ", effect types " + list(f.effectTypes) + "\n";
    return out;
}
