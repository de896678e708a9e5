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
#include "tools/common/text_file.h"
#include "voice/instrument.h"
#include "voice/modulation.h"

namespace {

constexpr int kMaxByte = 100;  // parameter bytes of the piece stay in 0.00..1.00

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
        std::map<std::string, Pattern> patterns;
        Pattern* pattern = nullptr;
        std::vector<SourceNote>* track = nullptr;
        for (int n = 1; std::getline(in, line); ++n) {
            const std::vector<std::string> w = words(line);
            if (w.empty()) continue;
            long a = 0, b = 0;
            if (pattern == nullptr && track == nullptr) {
                if (w[0] == "tempo" && w.size() == 2) {
                    if (!parseInt(w[1], 1, 65535, a)) return fail(n, "tempo must be 1..65535");
                    out.tempo = uint16_t(a);
                } else if (w[0] == "pattern" && w.size() == 3) {
                    if (patterns.count(w[1])) return fail(n, "pattern '" + w[1] + "' defined twice");
                    if (!parseInt(w[2], 1, 65535, a)) return fail(n, "pattern length must be 1..65535 steps");
                    pattern = &patterns[w[1]];
                    pattern->length = uint32_t(a);
                } else if (w[0] == "track" && w.size() == 2) {
                    out.trackNames.push_back(w[1]);
                    out.tracks.emplace_back();
                    track = &out.tracks.back();
                } else {
                    return fail(n, "expected 'tempo BPM', 'pattern NAME LENGTH' or 'track NAME'");
                }
            } else if (w[0] == "end") {
                pattern = nullptr;
                track = nullptr;
            } else if (pattern != nullptr && w[0] == "grid") {
                long note = 0;
                if (w.size() != 4 || !parseNote(w[1], note) || !parseInt(w[2], 1, 65535, b))
                    return fail(n, "expected 'grid NOTE LENGTH x...'");
                if (w[3].size() > pattern->length) return fail(n, "grid longer than its pattern");
                for (size_t s = 0; s < w[3].size(); ++s) {
                    if (w[3][s] == 'x') pattern->notes.push_back({uint32_t(s), uint32_t(b), uint8_t(note)});
                    else if (w[3][s] != '.') return fail(n, "a grid holds only 'x' and '.'");
                }
            } else if (pattern != nullptr) {
                if (w.size() < 3 || !parseInt(w[0], 0, pattern->length - 1, a) || !parseInt(w[1], 1, 65535, b))
                    return fail(n, "expected 'STEP LENGTH NOTE...' with STEP inside the pattern");
                for (size_t i = 2; i < w.size(); ++i) {
                    long note = 0;
                    if (!parseNote(w[i], note)) return fail(n, "bad note '" + w[i] + "'");
                    pattern->notes.push_back({uint32_t(a), uint32_t(b), uint8_t(note)});
                }
            } else {
                if (w[0].size() < 2 || w[0][0] != '@' || !parseInt(w[0].substr(1), 0, 1 << 24, a) || w.size() < 2)
                    return fail(n, "expected '@STEP PATTERN [xTIMES] [+N|-N] [..STOP]'");
                const auto found = patterns.find(w[1]);
                if (found == patterns.end()) return fail(n, "no pattern '" + w[1] + "' defined above");
                long times = 1, shift = 0, stop = 1L << 30;
                for (size_t i = 2; i < w.size(); ++i) {
                    if (w[i][0] == 'x' && parseInt(w[i].substr(1), 1, 4096, times)) continue;
                    if (w[i].rfind("..", 0) == 0 && parseInt(w[i].substr(2), a + 1, 1 << 24, stop)) continue;
                    if ((w[i][0] == '+' || w[i][0] == '-') && parseInt(w[i], -127, 127, shift)) continue;
                    return fail(n, "bad placement option '" + w[i] + "'");
                }
                for (long t = 0; t < times; ++t) {
                    for (const SourceNote& note : found->second.notes) {
                        const long pitch = long(note.note) + shift;
                        if (pitch < 1 || pitch > 127) return fail(n, "transposed note outside 1..127");
                        const long step = a + t * long(found->second.length) + long(note.step);
                        if (step >= stop) continue;
                        const long length = std::min(long(note.length), stop - step);
                        track->push_back({uint32_t(step), uint32_t(length), uint8_t(pitch)});
                    }
                }
            }
        }
        if (pattern != nullptr || track != nullptr) return fail(0, "pattern or track without 'end'");
        if (out.tempo == 0) return fail(0, "no tempo");
        return noOverlaps(out);
    }

private:
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
                    return fail(0, "track '" + out.trackNames[t] + "': note " + std::to_string(notes[i].note) +
                                       " at step " + std::to_string(notes[i].step) + " overlaps the one at step " +
                                       std::to_string(notes[i - 1].step));
            }
        }
        return true;
    }

    std::string file_;
    std::string& error_;
};

}  // namespace

bool parseSongText(const std::string& instrumentsText, const std::string& instrumentsFile,
                   const std::string& scoreText, const std::string& scoreFile, SongText& out, std::string& error) {
    out = SongText{};
    if (!Reader(instrumentsFile, error).instruments(instrumentsText, out)) return false;
    Reader score(scoreFile, error);
    if (!score.score(scoreText, out)) return false;
    if (out.tracks.size() != out.instruments.size())
        return score.fail(0, std::to_string(out.instruments.size()) + " instruments but " +
                                 std::to_string(out.tracks.size()) + " tracks");
    return true;
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

bool compileSongFolder(const std::string& folder, uint8_t velocity, std::vector<uint8_t>& bytes, std::string& error) {
    const std::string instrumentsFile = folder + "/instruments.txt";
    const std::string scoreFile = folder + "/score.txt";
    std::string instruments, score;
    if (!readTextFile(instrumentsFile, instruments)) {
        error = instrumentsFile + ": cannot be read";
        return false;
    }
    if (!readTextFile(scoreFile, score)) {
        error = scoreFile + ": cannot be read";
        return false;
    }
    SongText text;
    if (!parseSongText(instruments, instrumentsFile, score, scoreFile, text, error)) return false;
    bytes = encodeSong(songSource(text, velocity));
    return true;
}
