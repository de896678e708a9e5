// OscState: a voice's spectral wavetable oscillator. A spectrum of up to 65
// exponential partials is drawn into 512 bins, given a slowly rotating phase
// pattern, transformed into a 512-sample single cycle and played by up to ten
// unison copies with stereo detune, spread, drive and balance.
#pragma once
#include <cstdint>

#include "voice/bus_pair.h"

struct SynthTables;
struct ModState;
struct Voice;

inline constexpr uint32_t kWaveSize = 512;      // bins, and samples of one cycle
inline constexpr uint32_t kMaxUnison = 10;      // unison copies
inline constexpr uint32_t kMaxPartials = 65;    // 64 from the partial count, plus one

struct ComplexFloat {
    float re, im;
};

// What the wavetable was last transformed from; kNone (zero) until the first
// transform.
enum class WaveInput : uint32_t { kNone = 0, kSpectrum, kStillPattern, kMovingPattern };

struct OscState {
    float rotation;                   // phase-pattern position, 0 <= rotation < 100
    float phases[kMaxUnison][2];      // left and right phase of each copy, cycles in (0, 1]
    float incL, incR;                 // phase increments of the current block, cycles per sample
    ComplexFloat spectrum[kWaveSize];   // partial spectrum as built
    ComplexFloat animated[kWaveSize];   // spectrum with the phase pattern applied
    ComplexFloat wavetable[kWaveSize];  // transform output; only the real parts are played
    WaveInput transformed;            // the wavetable's input, kept to skip a repeat transform
    uint32_t cachedBins;              // inputs of the last build, compared before rebuilding
    uint32_t cachedPartials;
    float cachedSpacing, cachedRolloff, cachedWidth;
};

// Note-on (and reset): unison phases and the pattern rotation from one
// clock-seeded Random, increments 0. Spectra, wavetable and cache are kept.
void initOscillator(OscState& osc);

// Draws the partial spectrum for brightness b (1 at low notes, 0 from about
// 2 kHz) from P1, P2, P3, P16 and their modulation. Returns false, touching
// nothing, when the inputs match the last build.
bool buildSpectrum(const SynthTables& tables, const float* params, const ModState& mod, OscState& osc,
                   float brightness);
// Applies the rotating phase pattern (P4 sets its speed) to the spectrum.
// False, with `animated` untouched, while the rotation is below 0.00001.
bool animateSpectrum(const SynthTables& tables, const float* params, OscState& osc);
// In-place radix-2 transform of 512 interleaved complex values:
// X[n] = sum_k x[k] e^(sign 2 pi i k n / 512), unscaled.
void fft512(ComplexFloat* data, int32_t sign);
// Scales the real parts to a peak of 1 (peaks below 0.00001 count as
// 0.00001) and removes their mean. Imaginary parts are left alone.
void normalizeWave(ComplexFloat* data, uint32_t count);
// The block-rate wavetable refresh: build, animate, transform, normalise;
// the transform is skipped when its input is the one it last had.
void refreshWavetable(const SynthTables& tables, const float* params, const ModState& mod, OscState& osc,
                      float brightness);

// One block of the oscillator as the parameters and modulation decode it,
// before any sample is made.
struct OscillatorBlock {
    bool silent;           // nothing to add: no level now and none ramping out
    uint32_t copies;       // unison copies, 1..kMaxUnison
    float incL, incR;      // the first copy's phase increments, cycles per sample
    float spreadInc;       // added to incL (taken from incR) for each further copy
    float driveGain;       // gain before the hard clip
    float gainL, gainR;    // lane gains the block ramps to
};

// Decodes P5..P15 and their modulation for one block. `frequency` is the
// voice's glided pitch in Hz, amp its velocity gain (0 once released),
// gainL/gainR the lane gains the last block ended with.
OscillatorBlock decodeOscillator(const SynthTables& tables, const float* params, const ModState& mod, float frequency,
                                 float amp, float gainL, float gainR);
// Adds `count` frames of every copy into out, the lane gains ramping from
// gainL/gainR to the block's, which they then become. Nothing for a silent
// block.
void runOscillator(const OscillatorBlock& block, OscState& osc, float& gainL, float& gainR, BusPair out,
                   uint32_t count);
// decodeOscillator then runOscillator for a whole Voice: its modulation,
// oscillator, pitch and gains.
void renderOscillator(const SynthTables& tables, const float* params, Voice& voice, float amp, BusPair out,
                      uint32_t count);
