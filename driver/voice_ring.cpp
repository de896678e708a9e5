// VoiceRing: per-slot sequence locks over atomic data. The writer makes a
// slot's version odd, writes, then makes it even again; a reader keeps what
// it read only if the version was even and unchanged around it. Data is
// stored with release and loaded with acquire order (plain moves on x86), so
// a reader that sees any new datum also sees the odd version after it,
// without standalone fences (which ThreadSanitizer cannot follow).
#include "driver/voice_ring.h"

#include <atomic>
#include <bit>

#include "runtime/memory.h"
#include "runtime/math.h"

namespace {

constexpr uint64_t kActiveBit = 0x80000000u;
// Rereads after a slot was overwritten under the reader before giving up.
constexpr int32_t kReadAttempts = 4;

template <typename T> T loadRelaxed(const T& value) {
    return std::atomic_ref<T>(const_cast<T&>(value)).load(std::memory_order_relaxed);
}
template <typename T> T loadAcquire(const T& value) {
    return std::atomic_ref<T>(const_cast<T&>(value)).load(std::memory_order_acquire);
}
template <typename T> void storeRelaxed(T& target, T value) {
    std::atomic_ref<T>(target).store(value, std::memory_order_relaxed);
}
template <typename T> void storeRelease(T& target, T value) {
    std::atomic_ref<T>(target).store(value, std::memory_order_release);
}

uint64_t packVoice(const VoiceState& voice) {
    return (uint64_t(uint32_t(voice.velocity)) << 32) | (voice.active ? kActiveBit : 0) |
           (uint32_t(voice.note) & 0x7FFFFFFFu);
}

VoiceState unpackVoice(uint64_t packed) {
    return VoiceState{(packed & kActiveBit) != 0, int32_t(packed & 0x7FFFFFFFu), int32_t(uint32_t(packed >> 32))};
}

// Copies slot `slot` into `frame` if it still holds block `block` and was not
// written meanwhile.
bool readSlot(const VoiceRing& ring, uint32_t slot, uint32_t block, VoiceFrame& frame) {
    const uint32_t before = loadAcquire(ring.versions[slot]);
    if ((before & 1) != 0 || loadAcquire(ring.blocks[slot]) != block) return false;
    const uint32_t count = minUnsigned(loadAcquire(ring.counts[slot]), ring.instruments);
    const uint64_t* packed = ring.voices + uint64_t(slot) * ring.instruments * kFeedVoices;
    for (uint32_t v = 0; v < count * kFeedVoices; ++v) frame.voices[v] = unpackVoice(loadAcquire(packed[v]));
    frame.instrumentCount = count;
    return loadRelaxed(ring.versions[slot]) == before;
}

}  // namespace

bool initVoiceRing(VoiceRing& ring, uint32_t slots, uint32_t instruments) {
    ring.slots = slots < 2 ? 2 : slots;
    ring.instruments = minUnsigned(instruments, kFeedInstruments);
    const uint32_t words = ring.slots * sizeof(uint32_t);
    const uint32_t voiceBytes = ring.slots * (ring.instruments * kFeedVoices + 1) * sizeof(uint64_t);
    ring.versions = static_cast<uint32_t*>(allocate(words));
    ring.blocks = static_cast<uint32_t*>(allocate(words));
    ring.times = static_cast<uint32_t*>(allocate(words));
    ring.counts = static_cast<uint32_t*>(allocate(words));
    ring.voices = static_cast<uint64_t*>(alignedAlloc(voiceBytes, 16));
    ring.published = 0;
    if (!ring.versions || !ring.blocks || !ring.times || !ring.counts || !ring.voices) {
        releaseVoiceRing(ring);
        return false;
    }
    fillWords(ring.versions, 0, words);
    // No block carries the number 0xFFFFFFFF before four billion blocks (a
    // year and a half of music), so empty slots never match a search.
    fillWords(ring.blocks, 0xFF, words);
    fillWords(ring.times, 0, words);
    fillWords(ring.counts, 0, words);
    fillWords(ring.voices, 0, voiceBytes);
    return true;
}

void releaseVoiceRing(VoiceRing& ring) {
    deallocate(ring.versions);
    deallocate(ring.blocks);
    deallocate(ring.times);
    deallocate(ring.counts);
    alignedFree(ring.voices);
    ring = VoiceRing{};
}

void publishVoiceFrame(VoiceRing& ring, float blockStart, const VoiceFrame& frame) {
    const uint32_t block = loadRelaxed(ring.published);
    const uint32_t slot = block % ring.slots;
    const uint32_t version = loadRelaxed(ring.versions[slot]);
    storeRelaxed(ring.versions[slot], version + 1);
    // Release stores: whoever reads one of these also sees the odd version.
    storeRelease(ring.blocks[slot], block);
    storeRelease(ring.times[slot], std::bit_cast<uint32_t>(blockStart));
    const uint32_t count = minUnsigned(frame.instrumentCount, ring.instruments);
    storeRelease(ring.counts[slot], count);
    uint64_t* packed = ring.voices + uint64_t(slot) * ring.instruments * kFeedVoices;
    for (uint32_t v = 0; v < count * kFeedVoices; ++v) storeRelease(packed[v], packVoice(frame.voices[v]));
    storeRelease(ring.versions[slot], version + 2);
    storeRelease(ring.published, block + 1);
}

bool heardVoiceFrame(const VoiceRing& ring, float heardTime, VoiceFrame& frame) {
    for (int32_t attempt = 0; attempt < kReadAttempts; ++attempt) {
        const uint32_t published = loadAcquire(ring.published);
        const uint32_t held = minUnsigned(published, ring.slots);
        bool overwritten = false;
        // Newest first: after a restart of the clock the newest blocks win.
        for (uint32_t back = 1; back <= held; ++back) {
            const uint32_t block = published - back;
            const uint32_t slot = block % ring.slots;
            const uint32_t before = loadAcquire(ring.versions[slot]);
            const uint32_t stamp = loadAcquire(ring.blocks[slot]);
            const float start = std::bit_cast<float>(loadAcquire(ring.times[slot]));
            if ((before & 1) != 0 || stamp != block || loadRelaxed(ring.versions[slot]) != before) {
                overwritten = true;  // the writer has come round to this slot
                break;
            }
            if (start <= heardTime) {
                if (readSlot(ring, slot, block, frame)) return true;
                overwritten = true;
                break;
            }
        }
        if (!overwritten) break;
    }
    frame.instrumentCount = 0;
    return false;
}
