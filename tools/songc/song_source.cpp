// Reading the song's text source: patches into parameter bytes, patterns and
// their placements into note lists, with a file:line message for every fault.
#include "tools/songc/song_source.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "effects/effect_registry.h"
#include "runtime/params.h"
#include "voice/instrument.h"
#include "voice/modulation.h"

namespace {

constexpr int kMaxByte = 100;  // parameter bytes of the piece stay in 0.00..1.00
// A track's event count is stored in 16 bits; every note takes two events.
constexpr size_t kMostTrackEvents = 65535;
constexpr size_t kMostTrackNotes = kMostTrackEvents / 2;

struct Named {
    const char* name;
    int code;
};

const Named kSources[] = {{"lfo1", kSourceLfo1}, {"lfo2", kSourceLfo2}, {"env1", kSourceEnv1}, {"env2", kSourceEnv2}};

// Modulation targets by the name of the parameter they multiply ("pitch"
// multiplies the oscillator frequency, "modK.scale" slot K's value).
const Named kDestinations[] = {
    {"osc.width", kDestPartialWidth},        {"osc.rolloff", kDestRolloff},
    {"osc.partials", kDestPartialCount},     {"osc.spacing", kDestSpacing},
    {"osc.level", kDestOscLevel},            {"pitch", kDestPitch},
    {"osc.stereo_detune", kDestStereoDetune}, {"osc.spread", kDestUnisonSpread},
    {"osc.drive", kDestDrive},               {"noise.level", kDestNoiseLevel},
    {"lowpass.cutoff", kDestLowPassCutoff},  {"lowpass.resonance", kDestLowPassResonance},
    {"highpass.cutoff", kDestHighPassCutoff}, {"highpass.resonance", kDestHighPassResonance},
    {"bandpass.cutoff", kDestBandPassCutoff}, {"bandpass.resonance", kDestBandPassResonance},
    {"notch.cutoff", kDestNotchCutoff},      {"notch.resonance", kDestNotchResonance},
    {"env1.decay", kDestEnv1Decay},          {"env2.decay", kDestEnv2Decay},
    {"mod0.scale", kDestSlotScale0 + 0},     {"mod1.scale", kDestSlotScale0 + 1},
    {"mod2.scale", kDestSlotScale0 + 2},     {"mod3.scale", kDestSlotScale0 + 3},
    {"mod4.scale", kDestSlotScale0 + 4},     {"mod5.scale", kDestSlotScale0 + 5},
    {"mod6.scale", kDestSlotScale0 + 6},     {"mod7.scale", kDestSlotScale0 + 7},
};

template <size_t N>
int lookUp(const Named (&table)[N], const std::string& name) {
    for (const Named& entry : table)
        if (name == entry.name) return entry.code;
    return -1;
}

// An effect type by its name in the registry; -1 for none.
int effectIndex(const std::string& name) {
    for (int t = 1; t <= kEffectTypeCount; ++t)
        if (name == effectType(t)->name) return t;
    return -1;
}

int paramIndex(const std::string& name) {
    for (uint32_t i = 0; i < kParamCount; ++i)
        if (name == kParamNames[i]) return int(i);
    return -1;
}

// The smallest byte whose parameter value the engine rounds to `code` at
// `scale` (source 14, destination 39, effect type 10).
int codeByte(int code, float scale) {
    for (int b = 0; b <= kMaxByte; ++b)
        if (roundParam(scale * (float(b) * 0.01f)) == code) return b;
    return -1;
}

// The byte whose slot amount (2x up to 0.5, then 1 + 9 (2x - 1)^2) is
// nearest to `amount`.
int amountByte(double amount) {
    int best = 0;
    double bestError = 1e9;
    for (int b = 0; b <= kMaxByte; ++b) {
        const double x = b * 0.01;
        const double a = x <= 0.5 ? 2.0 * x : 1.0 + 9.0 * (2.0 * (x - 0.5)) * (2.0 * (x - 0.5));
        if (std::fabs(a - amount) < bestError) bestError = std::fabs(a - amount), best = b;
    }
    return best;
}

// One line split into words; a word that starts with '#' starts a comment
// (a '#' inside a word is a sharp, as in D#2).
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w && w[0] != '#';) out.push_back(w);
    return out;
}

bool parseInt(const std::string& text, long lo, long hi, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= lo && value <= hi;
}

// "C4" is 60, "D#2" 39, "Eb2" 39; a plain number is taken as it is.
bool parseNote(const std::string& text, long& note) {
    if (parseInt(text, 1, 127, note)) return true;
    static const int kPitchClass[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    if (text.size() < 2 || text[0] < 'A' || text[0] > 'G') return false;
    long pc = kPitchClass[text[0] - 'A'];
    size_t at = 1;
    if (text[at] == '#') pc += 1, ++at;
    else if (text[at] == 'b') pc -= 1, ++at;
    long octave = 0;
    if (!parseInt(text.substr(at), -1, 9, octave)) return false;
    note = 12 * (octave + 1) + pc;
    return note >= 1 && note <= 127;
}

// Bytes of the well-formed UTF-8 sequence at `at` (overlong forms,
// surrogates and values above U+10FFFF refused); 0 when there is none.
size_t utf8Length(const std::string& text, size_t at) {
    const auto lead = uint8_t(text[at]);
    if (lead < 0x80) return 1;
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || at + length > text.size()) return 0;
    const auto second = uint8_t(text[at + 1]);
    const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if ((uint8_t(text[at + i]) & 0xC0) != 0x80) return 0;
    return length;
}

struct Pattern {
    uint32_t length = 0;
    std::vector<SourceNote> notes;
};

class Reader {
public:
    Reader(const std::string& file, std::string& error) : file_(file), error_(error) {}

    // Line 0 stands for the file as a whole.
    bool fail(int line, const std::string& what) {
        error_ = file_ + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what;
        return false;
    }

    // The text without a leading byte-order mark, or false at the line of
    // the first NUL byte or byte that is not UTF-8: a binary file or text in
    // another encoding would otherwise be read up to some surprising point.
    bool plainText(const std::string& text, std::string& body) {
        const size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
        int line = 1;
        for (size_t i = start; i < text.size();) {
            const auto byte = uint8_t(text[i]);
            if (byte == '\n') ++line;
            if (byte == 0) return fail(line, "a NUL byte: not a text file");
            const size_t length = utf8Length(text, i);
            if (length == 0) return fail(line, "a byte that is not UTF-8 text (save the file as UTF-8)");
            i += length;
        }
        body = text.substr(start);
        return true;
    }

    bool instruments(const std::string& text, SongText& out) {
        std::istringstream in(text);
        std::string line;
        InstrumentBytes* patch = nullptr;
        int mods = 0, effects = 0;
        for (int n = 1; std::getline(in, line); ++n) {
            const std::vector<std::string> w = words(line);
            if (w.empty()) continue;
            if (patch == nullptr) {
                if (w[0] != "instrument" || w.size() != 2) return fail(n, "expected 'instrument NAME'");
                if (out.instruments.size() == kMaxInstruments)
                    return fail(n, "more than " + std::to_string(kMaxInstruments) +
                                       " instruments (a song holds no more)");
                if (std::count(out.instrumentNames.begin(), out.instrumentNames.end(), w[1]) != 0)
                    return fail(n, "instrument '" + w[1] + "' defined twice");
                out.instrumentNames.push_back(w[1]);
                out.instruments.push_back(InstrumentBytes{});
                patch = &out.instruments.back();
                mods = effects = 0;
            } else if (w[0] == "end") {
                patch = nullptr;
            } else if (w[0] == "env1" || w[0] == "env2" || w[0] == "lfo1" || w[0] == "lfo2") {
                const bool env = w[0][0] == 'e';
                const uint32_t count = env ? kEnvelopeParamCount : 4;
                const uint32_t base = w[0] == "env1" ? kEnv1Attack
                                      : w[0] == "env2" ? kEnv2Attack
                                      : w[0] == "lfo1" ? kLfo1Rate
                                                       : kLfo2Rate;
                if (w.size() != count + 1) return fail(n, w[0] + " takes " + std::to_string(count) + " bytes");
                for (uint32_t i = 0; i < count; ++i)
                    if (!setByte(n, *patch, base + i, w[i + 1])) return false;
            } else if (w[0] == "mod") {
                if (w.size() != 4) return fail(n, "expected 'mod SOURCE AMOUNT DEST'");
                if (mods == int(kModSlotCount)) return fail(n, "more than 8 modulation slots");
                const int source = lookUp(kSources, w[1]);
                const int dest = lookUp(kDestinations, w[3]);
                char* end = nullptr;
                const double amount = std::strtod(w[2].c_str(), &end);
                if (source < 0) return fail(n, "unknown modulation source '" + w[1] + "'");
                if (dest < 0) return fail(n, "unknown modulation target '" + w[3] + "'");
                if (*end != '\0' || !(amount >= 0.0 && amount <= 10.0))
                    return fail(n, "modulation amount must be 0..10");
                const uint32_t base = kMod0Source + kModSlotStride * uint32_t(mods++);
                (*patch)[base] = uint8_t(codeByte(source, 14.0f));
                (*patch)[base + 1] = uint8_t(amountByte(amount));
                (*patch)[base + 2] = uint8_t(codeByte(dest, 39.0f));
            } else if (w[0] == "fx") {
                if (w.size() != 2) return fail(n, "expected 'fx TYPE'");
                if (effects == int(kEffectSlotCount)) return fail(n, "more than 10 effect slots");
                const int type = effectIndex(w[1]);
                if (type < 0) return fail(n, "unknown effect '" + w[1] + "'");
                (*patch)[kFx0Type + uint32_t(effects++)] = uint8_t(codeByte(type, 10.0f));
            } else {
                const int index = paramIndex(w[0]);
                if (index < 0) return fail(n, "unknown parameter '" + w[0] + "'");
                if (w.size() != 2) return fail(n, "expected '" + w[0] + " BYTE'");
                if (!setByte(n, *patch, uint32_t(index), w[1])) return false;
            }
        }
        if (patch != nullptr) return fail(0, "instrument without 'end'");
        return true;
    }

    bool score(const std::string& text, SongText& out) {
        std::istringstream in(text);
        std::string line;
        ScoreState state;
        // Tracks are bound to instruments by name; each instrument's notes
        // go to its own slot, whatever order the tracks come in.
        out.tracks.assign(out.instruments.size(), {});
        trackLines_.assign(out.instruments.size(), 0);
        for (int n = 1; std::getline(in, line); ++n) {
            const std::vector<std::string> w = words(line);
            if (w.empty()) continue;
            bool ok = true;
            if (state.pattern == nullptr && state.track == nullptr) {
                if (w[0] == "tempo") ok = tempoLine(n, w, state, out);
                else if (w[0] == "pattern") ok = patternStart(n, w, state);
                else if (w[0] == "section") ok = true;  // a mark places no notes: section_marks.cpp reads it
                else if (w[0] == "track") ok = trackStart(n, w, state, out);
                else ok = fail(n, "expected 'tempo BPM', 'pattern NAME LENGTH' or 'track NAME'");
            } else if (w[0] == "end") {
                state.pattern = nullptr;
                state.track = nullptr;
            } else if (state.pattern != nullptr) {
                ok = patternLine(n, w, *state.pattern);
            } else {
                ok = placement(n, w, state, *state.track);
            }
            if (!ok) return false;
        }
        if (state.pattern != nullptr || state.track != nullptr) return fail(0, "pattern or track without 'end'");
        if (out.tempo == 0) return fail(0, "no tempo");
        for (size_t i = 0; i < trackLines_.size(); ++i)
            if (trackLines_[i] == 0) return fail(0, "no track for instrument '" + out.instrumentNames[i] + "'");
        return noOverlaps(out) && eventsFit(out);
    }

private:
    struct ScoreState {
        std::map<std::string, Pattern> patterns;
        Pattern* pattern = nullptr;                // the pattern being read
        std::vector<SourceNote>* track = nullptr;  // the track being read
        int tempoAt = 0;                           // line of the tempo, 0 until read
    };

    bool tempoLine(int n, const std::vector<std::string>& w, ScoreState& state, SongText& out) {
        long bpm = 0;
        if (w.size() != 2 || !parseInt(w[1], 1, 65535, bpm)) return fail(n, "expected 'tempo BPM', BPM 1..65535");
        if (state.tempoAt != 0)
            return fail(n, "a second tempo (the first is at line " + std::to_string(state.tempoAt) + ")");
        state.tempoAt = n;
        out.tempo = uint16_t(bpm);
        return true;
    }

    bool patternStart(int n, const std::vector<std::string>& w, ScoreState& state) {
        long length = 0;
        if (w.size() != 3) return fail(n, "expected 'pattern NAME LENGTH'");
        if (state.patterns.count(w[1])) return fail(n, "pattern '" + w[1] + "' defined twice");
        if (!parseInt(w[2], 1, 65535, length)) return fail(n, "pattern length must be 1..65535 steps");
        state.pattern = &state.patterns[w[1]];
        state.pattern->length = uint32_t(length);
        return true;
    }

    bool trackStart(int n, const std::vector<std::string>& w, ScoreState& state, SongText& out) {
        if (w.size() != 2) return fail(n, "expected 'track NAME', NAME one of the instruments");
        const auto named = std::find(out.instrumentNames.begin(), out.instrumentNames.end(), w[1]);
        if (named == out.instrumentNames.end()) return fail(n, "no instrument '" + w[1] + "' for this track");
        const size_t index = size_t(named - out.instrumentNames.begin());
        if (trackLines_[index] != 0)
            return fail(n, "a second track '" + w[1] + "' (the first is at line " +
                               std::to_string(trackLines_[index]) + ")");
        trackLines_[index] = n;
        state.track = &out.tracks[index];
        return true;
    }

    bool addPatternNote(int n, Pattern& pattern, SourceNote note) {
        if (pattern.notes.size() >= kMostTrackNotes) return fail(n, "a pattern of more notes than a track can hold");
        pattern.notes.push_back(note);
        return true;
    }

    bool patternLine(int n, const std::vector<std::string>& w, Pattern& pattern) {
        long step = 0, length = 0, note = 0;
        if (w[0] == "grid") {
            if (w.size() != 4 || !parseNote(w[1], note) || !parseInt(w[2], 1, 65535, length))
                return fail(n, "expected 'grid NOTE LENGTH x...'");
            if (w[3].size() > pattern.length) return fail(n, "grid longer than its pattern");
            for (size_t s = 0; s < w[3].size(); ++s) {
                if (w[3][s] == 'x') {
                    if (!addPatternNote(n, pattern, {uint32_t(s), uint32_t(length), uint8_t(note)})) return false;
                } else if (w[3][s] != '.') {
                    return fail(n, "a grid holds only 'x' and '.'");
                }
            }
            return true;
        }
        if (w.size() < 3 || !parseInt(w[0], 0, long(pattern.length) - 1, step) || !parseInt(w[1], 1, 65535, length))
            return fail(n, "expected 'STEP LENGTH NOTE...' with STEP inside the pattern");
        for (size_t i = 2; i < w.size(); ++i) {
            if (!parseNote(w[i], note)) return fail(n, "bad note '" + w[i] + "'");
            if (!addPatternNote(n, pattern, {uint32_t(step), uint32_t(length), uint8_t(note)})) return false;
        }
        return true;
    }

    // One placement, expanded at once; the track's note limit is checked
    // note by note, so a hostile repeat count fails before it fills the memory.
    bool placement(int n, const std::vector<std::string>& w, const ScoreState& state, std::vector<SourceNote>& track) {
        long at = 0;
        if (w[0].size() < 2 || w[0][0] != '@' || !parseInt(w[0].substr(1), 0, 1 << 24, at) || w.size() < 2)
            return fail(n, "expected '@STEP PATTERN [xTIMES] [+N|-N] [..STOP]'");
        const auto found = state.patterns.find(w[1]);
        if (found == state.patterns.end()) return fail(n, "no pattern '" + w[1] + "' defined above");
        const Pattern& pattern = found->second;
        long times = 1, shift = 0, stop = 1L << 30;
        for (size_t i = 2; i < w.size(); ++i) {
            if (w[i][0] == 'x' && parseInt(w[i].substr(1), 1, 4096, times)) continue;
            if (w[i].rfind("..", 0) == 0 && parseInt(w[i].substr(2), at + 1, 1 << 24, stop)) continue;
            if ((w[i][0] == '+' || w[i][0] == '-') && parseInt(w[i], -127, 127, shift)) continue;
            return fail(n, "bad placement option '" + w[i] + "'");
        }
        for (long t = 0; t < times; ++t) {
            for (const SourceNote& note : pattern.notes) {
                const long pitch = long(note.note) + shift;
                if (pitch < 1 || pitch > 127) return fail(n, "transposed note outside 1..127");
                const long step = at + t * long(pattern.length) + long(note.step);
                if (step >= stop) continue;
                if (track.size() >= kMostTrackNotes)
                    return fail(n, "the track holds more than " + std::to_string(kMostTrackNotes) +
                                       " notes (65,535 events, a note-on and a note-off each)");
                track.push_back({uint32_t(step), uint32_t(std::min(long(note.length), stop - step)), uint8_t(pitch)});
            }
        }
        return true;
    }

    // Long gaps cost filler events: the count is exact only once the notes
    // are in order.
    bool eventsFit(const SongText& out) {
        for (size_t t = 0; t < out.tracks.size(); ++t)
            if (trackEvents(out.tracks[t], 1).size() > kMostTrackEvents)
                return fail(trackLines_[t],
                            "the track needs more than 65,535 events (long silences take filler events)");
        return true;
    }

    bool setByte(int line, InstrumentBytes& patch, uint32_t index, const std::string& text) {
        long value = 0;
        if (!parseInt(text, 0, kMaxByte, value))
            return fail(line, std::string(kParamNames[index]) + " takes a byte 0.." + std::to_string(kMaxByte));
        patch[index] = uint8_t(value);
        return true;
    }

    // A note-off releases every voice of its pitch, so a second note of one
    // pitch struck while the first still sounds would be cut by the first
    // one's end: the source must not ask for that.
    bool noOverlaps(SongText& out) {
        for (size_t t = 0; t < out.tracks.size(); ++t) {
            std::vector<SourceNote> notes = out.tracks[t];
            std::stable_sort(notes.begin(), notes.end(), [](const SourceNote& x, const SourceNote& y) {
                return x.note != y.note ? x.note < y.note : x.step < y.step;
            });
            for (size_t i = 1; i < notes.size(); ++i) {
                if (notes[i].note == notes[i - 1].note && notes[i].step < notes[i - 1].step + notes[i - 1].length)
                    return fail(0, "track '" + out.instrumentNames[t] + "': note " + std::to_string(notes[i].note) +
                                       " at step " + std::to_string(notes[i].step) + " overlaps the one at step " +
                                       std::to_string(notes[i - 1].step));
            }
        }
        return true;
    }

    std::string file_;
    std::string& error_;
    std::vector<int> trackLines_;  // line of each instrument's track, 0 until read
};

}  // namespace

bool parseSongText(const std::string& instrumentsText, const std::string& instrumentsFile,
                   const std::string& scoreText, const std::string& scoreFile, SongText& out, std::string& error) {
    out = SongText{};
    Reader instruments(instrumentsFile, error), score(scoreFile, error);
    std::string instrumentsBody, scoreBody;
    return instruments.plainText(instrumentsText, instrumentsBody) && score.plainText(scoreText, scoreBody) &&
           instruments.instruments(instrumentsBody, out) && score.score(scoreBody, out);
}

std::vector<SongStep> trackEvents(const std::vector<SourceNote>& notes, uint8_t velocity) {
    struct Event {
        uint64_t step;
        int order;  // 0 off, 1 on
        uint8_t note;
    };
    std::vector<Event> events;
    for (const SourceNote& n : notes) {
        events.push_back({n.step, 1, n.note});
        events.push_back({uint64_t(n.step) + n.length, 0, n.note});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.step != b.step ? a.step < b.step : a.order < b.order;
    });
    TrackWriter writer;
    for (const Event& e : events) writer.add(e.step, e.note, e.order == 1 ? velocity : 0);
    return writer.events;
}

SongSource songSource(const SongText& text, uint8_t velocity) {
    SongSource song;
    song.tempo = text.tempo;
    song.instruments = text.instruments;
    for (const auto& notes : text.tracks) song.tracks.push_back(trackEvents(notes, velocity));
    return song;
}
