// The sound ring's two-region copies, frame by frame through atomic words.
#include "audio/sound_ring.h"

#include <cstring>

#include "runtime/memory.h"

namespace {

// One frame into the ring, taken from unaligned bytes.
void storeFrame(uint32_t* frames, uint32_t index, const uint8_t* from) {
    uint32_t value;
    std::memcpy(&value, from, sizeof(value));
    std::atomic_ref<uint32_t>(frames[index]).store(value, std::memory_order_relaxed);
}

void loadFrame(uint32_t* frames, uint32_t index, uint8_t* to) {
    const uint32_t value = std::atomic_ref<uint32_t>(frames[index]).load(std::memory_order_relaxed);
    std::memcpy(to, &value, sizeof(value));
}

}  // namespace

RingRegions ringRegions(uint32_t bufferBytes, uint32_t offset, uint32_t count) {
    const uint32_t toEnd = bufferBytes - offset;
    if (count <= toEnd) return {offset, count, 0};
    return {offset, toEnd, count - toEnd};
}

bool initSoundRing(SoundRing& ring, uint32_t bytes, uint32_t writtenAhead) {
    ring.frames = static_cast<uint32_t*>(alignedAlloc(bytes, 16));
    if (ring.frames == nullptr) return false;
    fillBytes(ring.frames, 0, bytes);
    ring.bufferBytes = bytes;
    ring.consumed.store(0, std::memory_order_relaxed);
    ring.written.store(writtenAhead, std::memory_order_relaxed);
    ring.underruns.store(0, std::memory_order_relaxed);
    return true;
}

void releaseSoundRing(SoundRing& ring) {
    alignedFree(ring.frames);
    ring.frames = nullptr;
    ring.bufferBytes = 0;
}

void writeRing(SoundRing& ring, uint32_t offset, const void* data, uint32_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    const RingRegions regions = ringRegions(ring.bufferBytes, offset, count);
    const uint32_t first = regions.firstOffset / kFrameBytes;
    for (uint32_t i = 0; i < regions.firstBytes / kFrameBytes; ++i) storeFrame(ring.frames, first + i, bytes + i * kFrameBytes);
    bytes += regions.firstBytes;
    for (uint32_t i = 0; i < regions.secondBytes / kFrameBytes; ++i) storeFrame(ring.frames, i, bytes + i * kFrameBytes);
    // Release: a device that sees the new end also sees the frames before it.
    ring.written.store(ring.written.load(std::memory_order_relaxed) + count, std::memory_order_release);
}

void playRing(SoundRing& ring, uint8_t* out, uint32_t count) {
    const uint64_t consumed = ring.consumed.load(std::memory_order_relaxed);
    if (consumed + count > ring.written.load(std::memory_order_acquire))
        ring.underruns.fetch_add(1, std::memory_order_relaxed);
    const RingRegions regions = ringRegions(ring.bufferBytes, uint32_t(consumed % ring.bufferBytes), count);
    const uint32_t first = regions.firstOffset / kFrameBytes;
    for (uint32_t i = 0; i < regions.firstBytes / kFrameBytes; ++i) loadFrame(ring.frames, first + i, out + i * kFrameBytes);
    out += regions.firstBytes;
    for (uint32_t i = 0; i < regions.secondBytes / kFrameBytes; ++i) loadFrame(ring.frames, i, out + i * kFrameBytes);
    ring.consumed.store(consumed + count, std::memory_order_release);
}

uint32_t playCursor(const SoundRing& ring) {
    return uint32_t(ring.consumed.load(std::memory_order_acquire) % ring.bufferBytes);
}
