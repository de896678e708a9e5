// PROVISIONAL song generator: writes kProvisionalSong, a stand-in piece (A minor, 115 bpm,
// 125 s, ten instruments) until the real piece is composed. It exercises the engine: unison
// pad with release tails, gliding mono bass, vibrato lead, arpeggio, noise drums, stabs, bell.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "synth/song_encoder.h"

namespace {

constexpr int kStepsPerBar = 16;
constexpr int kBars = 60;  // 60 bars of 16 steps at 115 bpm: 125 s

// Parameter numbers used below (the voice chain and the effect units read them).
enum Param {
    kLevel = 0, kWidth = 1, kPartials = 2, kRolloff = 3, kMotion = 4, kOscLevel = 5, kBalance = 6,
    kDetune = 7, kOctave = 8, kGlide = 9, kStereoDetune = 10, kFixedPitch = 11, kPolyphony = 12,
    kDrive = 13, kUnison = 14, kSpread = 15, kSpacing = 16, kNoiseLevel = 17, kNoiseCentre = 18,
    kNoiseWidth = 19, kLowPass = 20, kLowPassCutoff = 21, kLowPassResonance = 22, kHighPass = 23,
    kHighPassCutoff = 24, kHighPassResonance = 25, kEnv1 = 26, kEnv2 = 31, kLfo1Rate = 36,
    kLfo1Depth = 37, kLfo1Shape = 38, kLfo1Sync = 39, kLfo2Rate = 40, kLfo2Depth = 41, kLfo2Shape = 42,
    kSlots = 44, kEffectTypes = 74, kDelayLeft = 87, kDelayRight = 88, kDelayFeedback = 89,
    kReverbRoom = 90, kReverbDamp = 91, kReverbWet = 92, kReverbWidth = 93, kChorusRate = 85,
    kChorusDepth = 86, kChorusLevel = 98, kEqLow = 101, kEqMid = 102, kEqHigh = 103, kBandPass = 106,
    kBandPassCutoff = 107, kBandPassResonance = 108,
};
enum Source { kLfo1 = 1, kLfo2 = 2, kEnvelope1 = 3, kEnvelope2 = 4 };
enum Destination {
    kToOscLevel = 5, kToPitch = 6, kToNoiseLevel = 11, kToLowPassCutoff = 12, kToBandPassCutoff = 16,
};
enum EffectType { kDelay = 2, kChorus = 3, kReverb = 5, kEq = 7 };

// The byte whose parameter value p = byte * 0.01 gives `code` under the
// engine's rounding, floor(scale * p + 0.5), computed the same way in float.
uint8_t codeByte(int code, float scale) {
    for (int b = 0; b <= 100; ++b) {
        const float p = float(b) * 0.01f;
        if (int(std::floor(scale * p + 0.5f)) == code) return uint8_t(b);
    }
    // A wrong song must not be written: stop the build here.
    std::fprintf(stderr, "generate_song: no parameter byte gives code %d\n", code);
    std::exit(1);
}

// The byte for a modulation amount in 0..10 (1 at 50; square law above).
uint8_t amountByte(float amount) {
    const float x = amount <= 1.0f ? amount * 0.5f : 0.5f + std::sqrt((amount - 1.0f) / 9.0f) * 0.5f;
    return uint8_t(std::lround(std::min(1.0f, x) * 100.0f));
}

struct Patch {
    InstrumentBytes p{};
    int nextSlot = 0;

    Patch& set(int index, int byte) {
        p[index] = uint8_t(byte);
        return *this;
    }
    // Attack, decay, sustain, release, curve as bytes; env 1 or 2.
    Patch& envelope(int which, int a, int d, int s, int r, int curve) {
        const int base = which == 1 ? kEnv1 : kEnv2;
        return set(base, a).set(base + 1, d).set(base + 2, s).set(base + 3, r).set(base + 4, curve);
    }
    Patch& route(int source, float amount, int destination) {
        const int base = kSlots + 3 * nextSlot++;
        p[base] = codeByte(source, 14.0f);
        p[base + 1] = amountByte(amount);
        p[base + 2] = codeByte(destination, 39.0f);
        return *this;
    }
    Patch& effect(int slot, int type) {
        p[kEffectTypes + slot] = codeByte(type, 10.0f);
        return *this;
    }
    Patch& reverb(int room, int damp, int wet, int width) {
        return set(kReverbRoom, room).set(kReverbDamp, damp).set(kReverbWet, wet).set(kReverbWidth, width);
    }
};

// Harmonic-ish spectrum: partials half a bin apart from their harmonic,
// with a roll-off and a little width. Octave byte 50 plays the note as is.
Patch basePatch(int level, int partials, int rolloff) {
    Patch patch;
    patch.set(kLevel, level).set(kPartials, partials).set(kRolloff, rolloff).set(kSpacing, 12);
    patch.set(kWidth, 2).set(kOscLevel, 50).set(kBalance, 50).set(kOctave, 50);
    return patch;
}

std::vector<InstrumentBytes> makeInstruments() {
    std::vector<InstrumentBytes> out;

    // 0 pad: ten unison copies, slow attack, long exponential release, reverb.
    Patch pad = basePatch(66, 30, 45);
    pad.set(kUnison, 100).set(kSpread, 42).set(kStereoDetune, 35).set(kPolyphony, 100).set(kMotion, 30);
    pad.set(kOscLevel, 30).set(kLowPass, 100).set(kLowPassCutoff, 40).set(kLowPassResonance, 15);
    pad.envelope(1, 90, 60, 75, 70, 100).route(kEnvelope1, 1.0f, kToOscLevel);
    pad.effect(0, kChorus).set(kChorusRate, 30).set(kChorusDepth, 50).set(kChorusLevel, 40);
    pad.effect(1, kReverb).reverb(70, 50, 35, 100);
    out.push_back(pad.p);

    // 1 bass: monophonic with glide, resonant low-pass, a little drive.
    Patch bass = basePatch(100, 24, 30);
    bass.set(kPolyphony, 0).set(kGlide, 30).set(kDrive, 3).set(kOscLevel, 100);
    bass.set(kLowPass, 100).set(kLowPassCutoff, 32).set(kLowPassResonance, 30);
    bass.envelope(1, 30, 45, 70, 30, 100).route(kEnvelope1, 1.0f, kToOscLevel);
    bass.envelope(2, 0, 40, 40, 40, 100).route(kEnvelope2, 1.4f, kToLowPassCutoff);
    out.push_back(bass.p);

    // 2 lead: three unison copies, vibrato from LFO 1, stereo delay.
    Patch lead = basePatch(90, 36, 40);
    lead.set(kUnison, 22).set(kSpread, 30).set(kStereoDetune, 25).set(kPolyphony, 20).set(kOscLevel, 70);
    lead.set(kLowPass, 100).set(kLowPassCutoff, 55).set(kLowPassResonance, 20);
    lead.set(kLfo1Rate, 80).set(kLfo1Depth, 8).set(kLfo1Shape, 0).set(kLfo1Sync, 100);
    lead.envelope(1, 55, 50, 70, 45, 100).route(kEnvelope1, 1.0f, kToOscLevel).route(kLfo1, 1.0f, kToPitch);
    lead.effect(0, kDelay).set(kDelayLeft, 39).set(kDelayRight, 52).set(kDelayFeedback, 30);
    lead.effect(1, kReverb).reverb(50, 60, 20, 80);
    out.push_back(lead.p);

    // 3 arpeggio: fast plucks with an envelope on the cutoff.
    Patch arp = basePatch(100, 40, 35);
    arp.set(kPolyphony, 50).set(kOscLevel, 100).set(kStereoDetune, 20);
    arp.set(kLowPass, 100).set(kLowPassCutoff, 30).set(kLowPassResonance, 35);
    arp.envelope(1, 0, 30, 0, 20, 100).route(kEnvelope1, 1.0f, kToOscLevel);
    arp.envelope(2, 0, 25, 0, 20, 100).route(kEnvelope2, 2.0f, kToLowPassCutoff);
    arp.effect(0, kDelay).set(kDelayLeft, 39).set(kDelayRight, 26).set(kDelayFeedback, 25);
    out.push_back(arp.p);

    // 4 kick: a fixed-pitch sine at 55 Hz whose pitch falls from 3x.
    Patch kick = basePatch(100, 0, 0);
    kick.set(kSpacing, 0).set(kFixedPitch, 23).set(kOscLevel, 100).set(kPolyphony, 20).set(kDrive, 2);
    kick.envelope(1, 0, 25, 0, 10, 100).route(kEnvelope1, 1.0f, kToOscLevel);
    kick.envelope(2, 0, 10, 33, 10, 100).route(kEnvelope2, 3.0f, kToPitch);
    out.push_back(kick.p);

    // 5 snare: band-passed noise over a short 180 Hz body.
    Patch snare = basePatch(50, 0, 0);
    snare.set(kSpacing, 0).set(kFixedPitch, 42).set(kOscLevel, 30).set(kPolyphony, 20);
    snare.set(kNoiseLevel, 40).set(kNoiseCentre, 55).set(kNoiseWidth, 35);
    snare.envelope(1, 0, 18, 0, 10, 100).route(kEnvelope1, 1.0f, kToNoiseLevel).route(kEnvelope1, 1.0f, kToOscLevel);
    snare.effect(0, kReverb).reverb(40, 50, 18, 100);
    out.push_back(snare.p);

    // 6 hi-hat: high band of noise, very short.
    Patch hat = basePatch(32, 0, 0);
    hat.set(kOscLevel, 0).set(kPolyphony, 30).set(kNoiseLevel, 60).set(kNoiseCentre, 78).set(kNoiseWidth, 18);
    hat.envelope(1, 0, 5, 0, 5, 100).route(kEnvelope1, 1.0f, kToNoiseLevel);
    out.push_back(hat.p);

    // 7 chord stabs: plucked chords with a release tail into the reverb.
    Patch stab = basePatch(78, 32, 45);
    stab.set(kUnison, 11).set(kSpread, 35).set(kStereoDetune, 30).set(kPolyphony, 100).set(kOscLevel, 100);
    stab.set(kLowPass, 100).set(kLowPassCutoff, 42).set(kLowPassResonance, 25);
    stab.envelope(1, 15, 55, 30, 55, 100).route(kEnvelope1, 1.0f, kToOscLevel);
    stab.effect(0, kReverb).reverb(65, 40, 35, 100);
    out.push_back(stab.p);

    // 8 bell: widely spaced partials (inharmonic), slow decay, spectral motion.
    Patch bell = basePatch(62, 6, 60);
    bell.set(kSpacing, 30).set(kMotion, 60).set(kPolyphony, 50).set(kOscLevel, 100).set(kBalance, 60);
    bell.envelope(1, 5, 75, 0, 65, 100).route(kEnvelope1, 1.0f, kToOscLevel);
    bell.effect(0, kDelay).set(kDelayLeft, 52).set(kDelayRight, 78).set(kDelayFeedback, 35);
    bell.effect(1, kReverb).reverb(75, 30, 40, 100);
    out.push_back(bell.p);

    // 9 sweep: noise through a band-pass whose cutoff an LFO sweeps, slow swell.
    Patch sweep = basePatch(27, 0, 0);
    sweep.set(kOscLevel, 0).set(kPolyphony, 20).set(kNoiseLevel, 55).set(kNoiseWidth, 100);
    sweep.set(kBandPass, 100).set(kBandPassCutoff, 45).set(kBandPassResonance, 60);
    sweep.set(kLfo2Rate, 20).set(kLfo2Depth, 90).set(kLfo2Shape, 0);
    sweep.envelope(1, 100, 50, 100, 60, 100).route(kEnvelope1, 1.0f, kToNoiseLevel).route(kLfo2, 1.0f, kToBandPassCutoff);
    sweep.effect(0, kReverb).reverb(70, 50, 40, 100);
    out.push_back(sweep.p);

    return out;
}

struct Note {
    int step, length, note, velocity;
};

// Note-ons and note-offs in step order; offs first within a step, so a note
// struck again on the step it ends is released and then restarted.
std::vector<SongStep> toTrack(std::vector<Note> notes) {
    struct Event {
        int step, order, note, velocity;
    };
    std::vector<Event> events;
    for (const Note& n : notes) {
        events.push_back({n.step, 1, n.note, n.velocity});
        events.push_back({n.step + n.length, 0, n.note, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.step != b.step ? a.step < b.step : a.order < b.order;
    });
    TrackWriter writer;
    for (const Event& e : events) writer.add(uint64_t(e.step), uint8_t(e.note), uint8_t(e.velocity));
    return writer.events;
}

struct Chord {
    int root;      // bass note
    int tones[3];  // pad voicing
};
// Two bars per chord. Main: Am F C G; breakdown: Dm F Am E.
const Chord kMain[4] = {{33, {57, 60, 64}}, {29, {57, 60, 65}}, {36, {55, 60, 64}}, {31, {55, 59, 62}}};
const Chord kBreak[4] = {{38, {57, 62, 65}}, {29, {57, 60, 65}}, {33, {57, 60, 64}}, {28, {56, 59, 64}}};

const Chord& chordAt(int bar) {
    const int index = (bar / 2) % 4;
    return bar >= 32 && bar < 40 ? kBreak[index] : kMain[index];
}

// The lead's eight-bar phrase over Am F C G: step within the phrase, length, note.
const int kMelody[][3] = {
    {0, 6, 76},   {6, 2, 74},   {8, 4, 72},   {12, 4, 71},  {16, 8, 69},  {24, 4, 72},  {28, 4, 76},
    {32, 6, 77},  {38, 2, 76},  {40, 4, 72},  {44, 4, 69},  {48, 8, 72},  {56, 4, 69},  {60, 4, 72},
    {64, 6, 79},  {70, 2, 76},  {72, 4, 72},  {76, 4, 76},  {80, 8, 79},  {88, 4, 81},  {92, 4, 79},
    {96, 6, 74},  {102, 2, 71}, {104, 4, 67}, {108, 4, 71}, {112, 12, 74},
};

bool inRange(int bar, int first, int last) {
    return bar >= first && bar <= last;
}

std::vector<std::vector<SongStep>> makeTracks() {
    std::vector<Note> pad, bass, lead, arp, kick, snare, hat, stab, bell, sweep;
    const int v = 80;

    for (int bar = 0; bar < kBars - 4; bar += 2) {
        const Chord& chord = chordAt(bar);
        const int at = bar * kStepsPerBar;
        // Pad: one chord per two bars, legato, restruck on the change.
        for (int tone : chord.tones) pad.push_back({at, 2 * kStepsPerBar, tone, v});
        // Bell: a high chord tone at the start of every other bar pair.
        if ((bar % 4) == 0 && !inRange(bar, 8, 15))
            bell.push_back({at, 6, chord.tones[2] + 12, v});
    }
    // Outro: the tonic held, the last pad notes releasing into the end.
    for (int tone : kMain[0].tones) pad.push_back({(kBars - 4) * kStepsPerBar, 3 * kStepsPerBar, tone, v});
    bell.push_back({(kBars - 4) * kStepsPerBar, 8, 76, v});
    bell.push_back({(kBars - 3) * kStepsPerBar, 8, 81, v});

    for (int bar = 0; bar < kBars - 4; ++bar) {
        const Chord& chord = chordAt(bar);
        const int at = bar * kStepsPerBar;
        const bool groove = inRange(bar, 8, 31) || inRange(bar, 40, 55);
        const bool full = inRange(bar, 16, 31) || inRange(bar, 40, 55);

        if (groove) {
            // Bass: roots with octave and fifth jumps that glide.
            const int r = chord.root;
            const int pattern[][3] = {{0, 3, r}, {3, 3, r}, {6, 2, r + 12}, {8, 3, r}, {11, 3, r + 7}, {14, 2, r + 12}};
            for (const auto& p : pattern) bass.push_back({at + p[0], p[1], p[2], v});
            for (int s = 0; s < 16; s += 4) kick.push_back({at + s, 1, 36, s == 0 ? 100 : v});
            // Eighth hats; sixteenths in the second half.
            const int hatStep = bar >= 40 ? 1 : 2;
            for (int s = 0; s < 16; s += hatStep) hat.push_back({at + s, 1, 42, (s % 4) == 2 ? 100 : 60});
        }
        if (full) {
            snare.push_back({at + 4, 1, 38, v});
            snare.push_back({at + 12, 1, 38, v});
            if ((bar % 4) == 3) snare.push_back({at + 15, 1, 38, 60});
            // Stabs on the off-beats.
            for (int s : {3, 10})
                for (int tone : chord.tones) stab.push_back({at + s, 2, tone + 12, v});
        }
        if (full || inRange(bar, 32, 39)) {
            // Arpeggio: sixteenths up and down the chord over two octaves.
            const int order[16] = {0, 1, 2, 3, 4, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5};
            for (int s = 0; s < 16; ++s) {
                const int i = order[s];
                arp.push_back({at + s, 1, chord.tones[i % 3] + 12 * (i / 3) + 12, v});
            }
        }
    }

    // Lead: the phrase in bars 16..31 and, an octave up, in 40..55.
    for (int start : {16, 24, 40, 48}) {
        const int shift = start >= 40 ? 12 : 0;
        for (const auto& m : kMelody) lead.push_back({start * kStepsPerBar + m[0], m[1], m[2] + shift, v});
    }

    // Sweeps: swells leading into each section.
    for (int bar : {6, 14, 30, 38, 54}) sweep.push_back({bar * kStepsPerBar, 2 * kStepsPerBar, 60, v});

    // Final bass note under the outro.
    bass.push_back({(kBars - 4) * kStepsPerBar, 2 * kStepsPerBar, 33, v});

    return {toTrack(pad),  toTrack(bass), toTrack(lead), toTrack(arp),  toTrack(kick),
            toTrack(snare), toTrack(hat), toTrack(stab), toTrack(bell), toTrack(sweep)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output.cpp\n", argv[0]);
        return 1;
    }
    SongSource song;
    song.tempo = 115;
    song.instruments = makeInstruments();
    song.tracks = makeTracks();
    const std::vector<uint8_t> bytes = encodeSong(song);
    if (bytes.empty()) {
        std::fprintf(stderr, "song could not be encoded\n");
        return 1;
    }

    FILE* file = std::fopen(argv[1], "w");
    if (file == nullptr) return 1;
    std::fprintf(file, "// Generated by data/generate_song.cpp: the PROVISIONAL song. Do not edit.\n");
    std::fprintf(file, "#include \"data/song.h\"\n\n");
    std::fprintf(file, "const uint32_t kProvisionalSongSize = %zu;\n", bytes.size());
    std::fprintf(file, "const uint8_t kProvisionalSong[] = {");
    for (size_t i = 0; i < bytes.size(); ++i) std::fprintf(file, "%s%u,", i % 24 == 0 ? "\n    " : "", bytes[i]);
    std::fprintf(file, "\n};\n");
    return std::fclose(file) == 0 ? 0 : 1;
}
