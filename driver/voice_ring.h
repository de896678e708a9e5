// VoiceRing: the voice state of each recently rendered block, stamped with
// the block's start time, so that the pictures can follow the block being
// heard rather than the one just rendered (about half a second ahead). One
// writer (the audio thread, once per block) and one reader (the frame loop);
// neither ever waits for the other.
#pragma once
#include <cstdint>

#include "driver/note_feed.h"

// 64 blocks of 512 frames at 44.1 kHz: 0.74 s, more than the half second
// plus one block that the audio thread renders ahead of the play position.
constexpr uint32_t kVoiceRingSlots = 64;

struct VoiceRing {
    uint32_t slots;        // number of slots
    uint32_t instruments;  // instruments stored per slot, at most kFeedInstruments
    // Per slot: a version that is odd while the slot is being written, the
    // publication number of the block it holds, the block's start time (float
    // bits) and its instrument count. All touched through atomic_ref.
    uint32_t* versions;
    uint32_t* blocks;
    uint32_t* times;
    uint32_t* counts;
    // Per slot, `instruments` x 16 packed voices: velocity in the high 32
    // bits, the active flag in bit 31 and the note's low 31 bits below it.
    uint64_t* voices;
    uint32_t published;    // blocks published so far (atomic_ref)
};

// Makes an empty ring of `slots` slots (at least 2) for up to `instruments`
// instruments per block. False when memory is short.
bool initVoiceRing(VoiceRing& ring, uint32_t slots, uint32_t instruments);
void releaseVoiceRing(VoiceRing& ring);

// Writer side: stores the voices of the block that starts at `blockStart`
// seconds, overwriting the oldest slot. Never waits.
void publishVoiceFrame(VoiceRing& ring, float blockStart, const VoiceFrame& frame);

// Reader side: the voices of the newest published block whose start is at or
// before `heardTime`, that is the block being heard. False (and `frame`
// holding no instrument) when no such block is in the ring any more or yet.
// Never makes the writer wait: a slot overwritten while it is read is
// detected and the search retried.
bool heardVoiceFrame(const VoiceRing& ring, float heardTime, VoiceFrame& frame);
