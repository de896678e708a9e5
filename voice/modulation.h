// ModState: a voice's two envelopes, two LFOs and eight-slot modulation
// matrix, evaluated once per block. Every modulated quantity of the voice
// chain is its parameter times modProduct(destination).
#pragma once
#include <cstdint>

struct SynthTables;

inline constexpr uint32_t kModSlotCount = 8;

// Envelope stages.
enum EnvelopeStage : int32_t {
    kEnvelopeAttack = 0,
    kEnvelopeDecay = 1,
    kEnvelopeSustain = 2,
    kEnvelopeRelease = 3,
    kEnvelopeFinished = 4,
};

// Source codes of a slot (round(14 * P(44 + 3k))); every other code is "none".
enum ModSource : int32_t { kSourceLfo1 = 1, kSourceLfo2 = 2, kSourceEnv1 = 3, kSourceEnv2 = 4 };

// Destination codes (round(39 * P(46 + 3k))). 0, 7 and 30..39 reach nothing.
enum ModDestination : int32_t {
    kDestPartialWidth = 1,
    kDestRolloff = 2,
    kDestPartialCount = 3,
    kDestSpacing = 4,
    kDestOscLevel = 5,
    kDestPitch = 6,
    kDestStereoDetune = 8,
    kDestUnisonSpread = 9,
    kDestDrive = 10,
    kDestNoiseLevel = 11,
    kDestLowPassCutoff = 12,
    kDestLowPassResonance = 13,
    kDestHighPassCutoff = 14,
    kDestHighPassResonance = 15,
    kDestBandPassCutoff = 16,
    kDestBandPassResonance = 17,
    kDestNotchCutoff = 18,
    kDestNotchResonance = 19,
    kDestEnv1Decay = 20,
    kDestEnv2Decay = 21,
    kDestSlotScale0 = 22,  // 22 + k scales slot k from the next block on
};

struct Envelope {
    float value;    // 0..1
    int32_t stage;  // EnvelopeStage
};

struct Lfo {
    float phase;  // radians, 0..2pi
    float value;  // last output
};

struct ModSlot {
    int32_t source;       // ModSource code
    int32_t destination;  // ModDestination code
    float amount;         // 0..10, 1 at a setting of 0.5
    float value;          // this block's factor, 1.0 when the slot has no source
};

struct ModState {
    Envelope env1, env2;
    Lfo lfo1, lfo2;
    float sourceValue[4];  // last output of LFO 1, LFO 2, envelope 1, envelope 2
    ModSlot slots[kModSlotCount];
    float scale[kModSlotCount];  // slot k's extra factor, from last block's destination 22 + k
};

// Once per Instrument: scales to 1.0 (the slots keep whatever they hold).
void resetModulation(ModState& mod);
// Note-on: both envelopes to value 0 in attack, LFO phases to the given
// start phases. Slots, scales and source values are left as they were.
void startModulation(ModState& mod, float lfo1Phase, float lfo2Phase);
// Note-off: both envelopes enter release from wherever they are.
void releaseModulation(ModState& mod);

// Evaluates this block's slot values from the parameter block (P26..P67),
// stepping only the envelopes and LFOs that some slot uses, then takes the
// next block's scales. True while an envelope in use had not yet finished
// at the start of the block.
bool updateModulation(const SynthTables& tables, const float* params, ModState& mod, uint32_t count);

// Product, from 1.0 and in slot order, of the values of the slots aimed at
// `destination`.
float modProduct(const ModState& mod, int32_t destination);

// One block of an envelope (parameter base 26 or 31: attack, decay,
// sustain, release, curve) with its decay parameter scaled by decayMod.
float stepEnvelope(Envelope& env, const float* params, uint32_t base, float decayMod, uint32_t sampleRate,
                   uint32_t count);
// One block of an LFO (parameter base 36 or 40: rate, depth, shape): the
// output from the phase before the advance, between 1 - depth^2 and 1.
float stepLfo(Lfo& lfo, const SynthTables& tables, const float* params, uint32_t base, uint32_t count);
