// Instrument: 112 parameters, 16 Voices, the voice work buffers and up to
// ten effect units. Turns note-ons and note-offs into one stereo block per
// render call: voices through noise, oscillator and filters into the bus,
// then the effect chain on the bus.
#pragma once
#include <cstdint>

#include "voice/bus_pair.h"
#include "runtime/params.h"
#include "voice/voice.h"

struct SynthTables;
struct EffectUnit;

inline constexpr uint32_t kVoiceCount = 16;
inline constexpr uint32_t kVoiceBufferSize = 4096;  // frames; a block uses the first `count`
inline constexpr uint32_t kFilterStateBytes = 256;  // one FilterState block

struct Instrument {
    float params[kParamCount];        // P0..P111, named and ranged in runtime/params.h
    float lfo1Phase, lfo2Phase;       // radians, left by the last voice rendered
    Voice voices[kVoiceCount];
    alignas(16) float voiceL[kVoiceBufferSize];
    alignas(16) float voiceR[kVoiceBufferSize];
    EffectUnit* effectUnits[kEffectSlotCount];  // live unit of each slot, or null
    int32_t effectTypes[kEffectSlotCount];      // type of each live unit, 0 = none
    float silenceTime;                          // seconds without a rendered voice
};

// Allocates a zero-filled Instrument and gives each voice its six 16-byte
// aligned FilterState blocks. Null when any allocation fails (nothing leaks).
Instrument* createInstrument();
// Frees the filter blocks voice by voice from the last, then the Instrument.
// Live effect units are destroyed too. Null is ignored.
void destroyInstrument(Instrument* instrument);

// Voice for a new note: the first of the first 1 + floor(15 * P12) voices
// that is neither active nor sounding, else the oldest (lowest index on ties).
uint32_t allocateVoice(const Instrument& instrument);
void noteOn(Instrument& instrument, int32_t note, int32_t velocity);
// Releases every active voice holding `note`; true when at least one was.
bool noteOff(Instrument& instrument, int32_t note);
void allNotesOff(Instrument& instrument);
// Fresh state after creation: empty effect slots, idle voices, unit scales.
void reset(Instrument& instrument);
// Makes the effect unit that each slot's type parameter names (replacing a
// unit of another type) and lets it do the work it can do ahead from the
// parameters (the waveshaper's curve). loadSong calls it, so that the
// megabytes of delay memory are allocated and cleared, and the curves
// computed, while the song loads instead of in the audio thread's first
// block; render makes units the same way for any later change.
void createEffectUnits(Instrument& instrument);
// Adds `count` frames (at most kVoiceBufferSize) of the instrument into the
// bus and runs the effect chain on it. Returns the bus's mean level.
float render(const SynthTables& tables, Instrument& instrument, BusPair bus, uint32_t count);

// render in steps, for a caller that runs the filters of several
// instruments' voices together (the block renderer): a filter's recursion
// waits on every frame, and up to eight voices share that wait.
//
// Voices held apart in the voice buffers: eight for a 512-frame block,
// fewer for longer ones.
inline constexpr uint32_t kVoicesApart = 8;
struct VoiceBlock {
    Voice* voices[kVoicesApart];  // in voice order
    float* left[kVoicesApart];    // each voice's part of the voice buffers
    float* right[kVoicesApart];
    uint32_t count;
};
// 1. The sounding voices from voice index `from` on, as many as the buffers
// hold apart, each up to its filters (modulation, noise, glide, wavetable,
// oscillator) in its own part. Returns where the next turn starts:
// kVoiceCount when no later voice sounds.
uint32_t startVoices(const SynthTables& tables, Instrument& instrument, uint32_t count, uint32_t from,
                     VoiceBlock& block);
// 2. Each filter slot in turn over the voices of n blocks at once, blocks[i]
// started from instruments[i] (null instruments are skipped): every voice's
// filter of the slot is set for this block (not where the instrument has the
// slot off), then they all run side by side.
void filterVoices(const SynthTables& tables, Instrument* const* instruments, const VoiceBlock* blocks, uint32_t n,
                  uint32_t count);
// 3. The block's voices added into the bus in voice order.
void addVoices(const Instrument& instrument, const VoiceBlock& block, BusPair bus, uint32_t count);
// 4. The voices from `from` on, in turns of their own, then the effect chain
// and the level: the rest of render, which is finishRender from 0.
float finishRender(const SynthTables& tables, Instrument& instrument, uint32_t from, BusPair bus, uint32_t count);

// Parameter rules shared by the voice chain: a switch is on above 0.5,
// and round() is floor(x + 0.5) truncated to an integer.
inline bool switchOn(float p) { return p > 0.5f; }
int32_t roundParam(float x);
// The effect type that slot `s`'s type parameter asks for (0 = none).
int32_t effectSlotType(const float* params, uint32_t s);
