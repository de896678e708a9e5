// The effect registry: one row per effect type (its name, how to make, free
// and run a unit, and the parameters it reads), which the Instrument's slots,
// the benchmarks and the robustness tests all go through. A new type is one
// new unit (effects/<name>.h/.cpp), its parameters named in runtime/params.h
// (the one map of P0..P111, where the song source finds them too), one row
// in effect_registry.cpp, and a slot of the every-feature song
// (tests/tools/every_feature_song) that uses it: its test counts the rows.
#pragma once
#include <cstdint>

#include "effects/effect_unit.h"  // EffectUnit
#include "runtime/params.h"        // InstrumentParam

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

// Work a unit can do ahead of its first block from the parameters alone, so
// that the first block does not pay for it: called when the song loads.
using EffectPrepareFn = void (*)(EffectUnit* unit, const float* params);

// The most parameters one type reads.
constexpr uint32_t kMaxEffectParams = 4;

struct EffectType {
    const char* name;  // for benchmarks, tests and messages
    EffectCreateFn create;
    EffectDestroyFn destroy;
    EffectProcessFn process;
    EffectPrepareFn prepare;                   // null when there is nothing to do ahead
    uint32_t paramCount;                       // how many of `params` are used
    InstrumentParam params[kMaxEffectParams];  // everything process reads
};

// Row t is effect type t, as a slot's type parameter names it (round(10 x P),
// 0..10 for song bytes up to 105); row 0 stands for the empty slot and has no
// functions. Types above kEffectTypeCount have no row.
extern const EffectType kEffectTypes[];
extern const int kEffectTypeCount;

// The row of `type`, or null for 0 (empty), a negative type or one beyond
// the registry (a parameter byte above 105 names up to type 26).
const EffectType* effectType(int type);
// Its functions, null where effectType is.
EffectCreateFn effectCreateFor(int type);
EffectDestroyFn effectDestroyFor(int type);
EffectProcessFn effectProcessFor(int type);
EffectPrepareFn effectPrepareFor(int type);
