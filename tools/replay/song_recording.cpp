// Whole-song recording: frames and per-block voices, published block by block.
#include "tools/replay/song_recording.h"

#include <cstdlib>
#include <cstring>

#include "driver/heard_music.h"
#include "driver/music.h"
#include "synth/synth.h"

namespace {

constexpr uint32_t kBlockVoices = kFeedInstruments * kFeedVoices;

}  // namespace

bool initSongRecording(SongRecording& recording, float seconds) {
    const uint32_t blocks = uint32_t(seconds * float(kSampleRate) / float(kBlockFrames)) + 1;
    recording.capacityBlocks = blocks;
    recording.frames = static_cast<int16_t*>(std::calloc(size_t(blocks) * kBlockFrames * 2, sizeof(int16_t)));
    recording.blockStarts = static_cast<float*>(std::calloc(blocks, sizeof(float)));
    recording.voices = static_cast<VoiceState*>(std::calloc(size_t(blocks) * kBlockVoices, sizeof(VoiceState)));
    recording.instrumentCounts = static_cast<uint32_t*>(std::calloc(blocks, sizeof(uint32_t)));
    clearSongRecording(recording);
    if (recording.frames && recording.blockStarts && recording.voices && recording.instrumentCounts) return true;
    releaseSongRecording(recording);
    return false;
}

void releaseSongRecording(SongRecording& recording) {
    std::free(recording.frames);
    std::free(recording.blockStarts);
    std::free(recording.voices);
    std::free(recording.instrumentCounts);
    recording.frames = nullptr;
    recording.blockStarts = nullptr;
    recording.voices = nullptr;
    recording.instrumentCounts = nullptr;
    recording.capacityBlocks = 0;
    clearSongRecording(recording);
}

void clearSongRecording(SongRecording& recording) {
    recording.blocks.store(0, std::memory_order_release);
    recording.finished.store(false, std::memory_order_release);
}

bool recordSongBlock(SongRecording& recording, Synth& synth) {
    const uint32_t block = recording.blocks.load(std::memory_order_relaxed);
    if (block >= recording.capacityBlocks || !synth.playing.load(std::memory_order_relaxed)) {
        recording.finished.store(true, std::memory_order_release);
        return false;
    }
    const int16_t* out = nullptr;
    renderBlock(synth, &out);
    if (out == nullptr) {
        recording.finished.store(true, std::memory_order_release);
        return false;
    }
    std::memcpy(recording.frames + size_t(block) * kBlockFrames * 2, out, kBlockFrames * 2 * sizeof(int16_t));
    recording.blockStarts[block] = blockStartTime(synth, synth.time.load(std::memory_order_relaxed));
    VoiceFrame frame;
    readVoiceFrame(synth, frame);
    recording.instrumentCounts[block] = frame.instrumentCount;
    std::memcpy(recording.voices + size_t(block) * kBlockVoices, frame.voices,
                frame.instrumentCount * kFeedVoices * sizeof(VoiceState));
    // Readers that see the new count see the block's data too.
    recording.blocks.store(block + 1, std::memory_order_release);
    return true;
}

uint64_t recordedFrames(const SongRecording& recording) {
    return uint64_t(recording.blocks.load(std::memory_order_acquire)) * kBlockFrames;
}

bool recordedVoices(const SongRecording& recording, float time, VoiceFrame& frame) {
    const uint32_t published = recording.blocks.load(std::memory_order_acquire);
    if (published == 0 || !(recording.blockStarts[0] <= time)) return false;
    // Starts grow block by block: the last one at or before `time`.
    uint32_t low = 0, high = published;  // blockStarts[low] <= time; none from high on is known to be
    while (high - low > 1) {
        const uint32_t middle = low + (high - low) / 2;
        if (recording.blockStarts[middle] <= time) low = middle;
        else high = middle;
    }
    const uint32_t count = recording.instrumentCounts[low];
    frame.instrumentCount = count;
    std::memcpy(frame.voices, recording.voices + size_t(low) * kBlockVoices, count * kFeedVoices * sizeof(VoiceState));
    return true;
}
