// SynthTables: the sample rate and the shared lookup tables (random phase
// sines, sine, decay, note frequencies, LFO step values, noise) that every
// voice reads. Built once per Synth; read-only afterwards.
#pragma once
#include <cstdint>

inline constexpr uint32_t kTableSize = 4096;       // phaseSines, sine, decay
inline constexpr uint32_t kNoteCount = 128;        // MIDI notes 0..127
inline constexpr uint32_t kStepValueCount = 256;   // LFO shape 4 sample-and-hold values
inline constexpr uint32_t kNoiseTableSize = 65536; // noise generator loop

struct SynthTables {
    uint32_t sampleRate;                 // frames per second, set by setSampleRate
    float phaseSines[kTableSize];        // sin(u), u uniform in [0, 2pi]
    float sine[kTableSize];              // sin(2pi i / 4096)
    float decay[kTableSize];             // exp(-i / 819.2): the partial profile
    float noteFrequency[kNoteCount];     // Hz, equal temperament, note 69 ~ 440 Hz
    float stepValues[kStepValueCount];   // uniform in [0, 1]
    float noiseTable[kNoiseTableSize];   // uniform in about [-1, +1]
};

// Fills every table except sampleRate from one clock-seeded Random, in a
// fixed draw order so that a pinned counter gives identical tables.
void buildSynthTables(SynthTables& tables);
