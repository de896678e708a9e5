// The seven effect types, reached through three tables of operations
// (create, destroy, process) indexed by type number; the Instrument's effect
// slots call through them once per block.
#pragma once
#include <cstdint>

#include "effects/effect_unit.h"  // EffectUnit

// Types 1..7 have entries; 0 (empty slot) and 8..10 (reachable through the
// slot parameter, which rounds 10 x P to 0..10) have none.
constexpr int kEffectTypeCount = 7;
constexpr int kEffectTableSize = 11;

// Makes one unit with its initial state, from alignedAlloc(…, 16); returns
// null when the memory cannot be had (the slot stays empty, try next block).
using EffectCreateFn = EffectUnit* (*)();
// Returns a unit to alignedFree; null is ignored.
using EffectDestroyFn = void (*)(EffectUnit* unit);
// Transforms `count` frames of the bus pair in place. `params` is the
// Instrument's parameter block P0..P111 (read at every call, so a change is
// heard from the next block); `sampleRate` is the SynthTables' rate in Hz.
// Never allocates.
using EffectProcessFn = void (*)(EffectUnit* unit, uint32_t sampleRate, const float* params,
                                 float* busL, float* busR, uint32_t count);

// Entry t belongs to type t; entries 0 and 8..10 are null.
extern const EffectCreateFn kEffectCreate[kEffectTableSize];
extern const EffectDestroyFn kEffectDestroy[kEffectTableSize];
extern const EffectProcessFn kEffectProcess[kEffectTableSize];

// Range-checked access to the tables: any type outside 1..7 (negative, or
// above 10 from a parameter byte above 105) has no entry and gives null.
EffectCreateFn effectCreateFor(int type);
EffectDestroyFn effectDestroyFor(int type);
EffectProcessFn effectProcessFor(int type);
