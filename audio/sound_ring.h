// SoundRing: the looping buffer of 16-bit stereo PCM that the sound device
// plays from. The audio thread writes blocks at its own cursor; the device
// callback takes bytes at the play position. Every 4-byte frame is moved as
// one relaxed atomic word, so that a device catching up with the writer
// (an underrun) plays stale or fresh frames but never reads a torn one.
#pragma once
#include <atomic>
#include <cstdint>

constexpr uint32_t kFrameBytes = 4;  // one left and one right 16-bit sample

struct SoundRing {
    uint32_t* frames = nullptr;  // bufferBytes / 4 frames, zero when made
    uint32_t bufferBytes = 0;    // a multiple of kFrameBytes
    // Stream bytes the device has taken since the ring was made; the play
    // cursor is this modulo bufferBytes. Written by the device side only.
    std::atomic<uint64_t> consumed{0};
    // Stream byte up to which the writer has filled the ring (the bytes in
    // front of the first write count as written silence). Written by the
    // writer only.
    std::atomic<uint64_t> written{0};
    // Device takes that reached beyond `written`: the writer had fallen behind.
    std::atomic<uint64_t> underruns{0};
};

// The one or two byte ranges that `count` bytes starting at `offset` cover:
// [offset, offset + firstBytes) and, when the range wraps, [0, secondBytes).
struct RingRegions {
    uint32_t firstOffset;
    uint32_t firstBytes;
    uint32_t secondBytes;
};
RingRegions ringRegions(uint32_t bufferBytes, uint32_t offset, uint32_t count);

// Makes a zeroed ring of `bytes` bytes (a multiple of 4, at least 4) whose
// writer starts `writtenAhead` bytes in front of the device. False when
// memory is short.
bool initSoundRing(SoundRing& ring, uint32_t bytes, uint32_t writtenAhead);
void releaseSoundRing(SoundRing& ring);

// Writer side: copies `count` bytes (a multiple of 4, at most bufferBytes) to
// ring offset `offset` (a multiple of 4), split in two at the end of the
// ring, and moves `written` on by `count`.
void writeRing(SoundRing& ring, uint32_t offset, const void* data, uint32_t count);

// Device side: copies the next `count` bytes (a multiple of 4) from the play
// cursor into `out` and advances it. Cheap and never waits: it only copies.
void playRing(SoundRing& ring, uint8_t* out, uint32_t count);

// Byte offset in the ring of the device's next byte.
uint32_t playCursor(const SoundRing& ring);
