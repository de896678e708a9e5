// Voice: one of an Instrument's 16 note players. Its gate, note and velocity
// are read by the picture thread every frame, so those three are relaxed
// atomics; everything else belongs to the audio thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "voice/filter.h"
#include "voice/modulation.h"
#include "voice/noise.h"
#include "voice/oscillator.h"

// Filter slots in chain order, each switched by its own parameter.
enum FilterSlot : uint32_t { kLowPassSlot = 0, kHighPassSlot = 1, kBandPassSlot = 2, kNotchSlot = 3 };
inline constexpr uint32_t kFilterSlotCount = 4;

struct Voice {
    std::atomic<bool> active;       // gate: set by note-on, cleared by release
    bool sounding;                  // last block's output exceeded the audibility sum
    uint32_t age;                   // blocks rendered since note-on
    float frequency;                // Hz after glide; kept across notes so glides start from the last pitch
    std::atomic<int32_t> note;      // note number; readers mask it with 0x7F
    std::atomic<int32_t> velocity;  // 1..255
    float detune;                   // uniform in [-1, 1], drawn at note-on
    float oscGainL, oscGainR;       // oscillator lane gains at the end of the last block
    ModState mod;
    NoiseState noise;               // owns the noise band's two FilterStates
    FilterState* filters[4];        // indexed by FilterSlot
    OscState osc;
};

// Relaxed accessors for the fields the picture thread reads.
inline bool voiceActive(const Voice& v) { return v.active.load(std::memory_order_relaxed); }
inline int32_t voiceNote(const Voice& v) { return v.note.load(std::memory_order_relaxed); }
inline int32_t voiceVelocity(const Voice& v) { return v.velocity.load(std::memory_order_relaxed); }
