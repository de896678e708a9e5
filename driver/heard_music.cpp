// HeardMusic: block records written by the audio thread, and the heard time
// and heard voices that the frame loop derives from them.
#include "driver/heard_music.h"

#include <bit>

#include "audio/audio_output.h"
#include "synth/synth.h"

// The note feed keeps its own counts so that its header needs no Synth; they
// must be the Synth's.
static_assert(kFeedVoices == kVoiceCount, "the note feed holds every voice of an Instrument");
static_assert(kFeedInstruments == kTrackCount, "the note feed holds every Instrument of a Synth");

namespace {

uint64_t packBlock(float blockEnd, uint64_t streamEnd) {
    return (uint64_t(std::bit_cast<uint32_t>(blockEnd)) << 32) | uint32_t(streamEnd);
}

}  // namespace

bool initHeardMusic(HeardMusic& music, uint32_t instruments, const AudioOutput* output) {
    music.lastBlock.store(kNoBlock, std::memory_order_relaxed);
    music.output = output;
    music.scratch.instrumentCount = 0;
    return initVoiceRing(music.voices, kVoiceRingSlots, instruments);
}

void releaseHeardMusic(HeardMusic& music) {
    releaseVoiceRing(music.voices);
    music.lastBlock.store(kNoBlock, std::memory_order_relaxed);
}

float blockStartTime(const Synth& synth, float blockEnd) {
    // The block began one block length before its end; the renderer formed
    // the end from the start in extended precision, so this is the start to
    // within one rounding.
    const uint32_t rate = synth.tables.sampleRate;
    return rate != 0 ? float((long double)blockEnd - (long double)kBlockFrames / (long double)rate) : blockEnd;
}

void recordBlock(HeardMusic& music, const Synth& synth, float blockEnd, uint64_t streamEnd) {
    readVoiceFrame(synth, music.scratch);
    publishVoiceFrame(music.voices, blockStartTime(synth, blockEnd), music.scratch);
    music.lastBlock.store(packBlock(blockEnd, streamEnd), std::memory_order_release);
}

void listenToBlocks(void* context, const Synth& synth, float blockEnd) {
    HeardMusic& music = *static_cast<HeardMusic*>(context);
    // This thread is the ring's only writer, so `written` is exact here.
    const uint64_t written = music.output->ring.written.load(std::memory_order_relaxed);
    recordBlock(music, synth, blockEnd, written + kOutputBlockBytes);
}

double unplayedBytes(uint32_t takeBytes, int32_t elapsedMicros, uint32_t bytesPerSecond) {
    const double played = double(elapsedMicros) * 1e-6 * double(bytesPerSecond);
    if (!(played > 0.0)) return double(takeBytes);
    return played >= double(takeBytes) ? 0.0 : double(takeBytes) - played;
}

DevicePosition devicePosition(const AudioOutput& output, uint32_t nowMicros) {
    const DeviceTake take = lastDeviceTake(output);
    if (!take.taken) return {output.ring.consumed.load(std::memory_order_acquire), 0.0};
    // Modulo 2^32 microseconds: a time read before the take looks negative.
    const int32_t elapsed = int32_t(nowMicros - take.micros);
    return {take.consumed, unplayedBytes(take.bytes, elapsed, output.bufferBytes)};
}

float heardTimeOf(float blockEnd, uint32_t streamEnd, DevicePosition at, uint32_t bytesPerSecond) {
    if (bytesPerSecond == 0) return blockEnd;
    // Modulo 2^32: exact while the device is less than 2 GiB (3.4 hours of
    // sound) behind or ahead of the block.
    const double behind = double(int32_t(streamEnd - uint32_t(at.consumed))) + at.unplayed;
    if (behind <= 0.0) return blockEnd;
    return float(double(blockEnd) - behind / double(bytesPerSecond));
}

float heardTime(const HeardMusic& music, DevicePosition at, uint32_t bytesPerSecond, float fallback) {
    const uint64_t block = music.lastBlock.load(std::memory_order_acquire);
    if (block == kNoBlock) return fallback;
    return heardTimeOf(std::bit_cast<float>(uint32_t(block >> 32)), uint32_t(block), at, bytesPerSecond);
}

float nextPictureClock(float clock, float heard, float delay) {
    const float next = heard - delay;
    return next > clock ? next : clock;
}

bool heardVoices(HeardMusic& music, float time, VoiceFrame& frame) {
    // A failed search may leave a torn copy behind: search into the reader's
    // own frame and copy only what was found.
    VoiceFrame& found = music.reading;
    if (!heardVoiceFrame(music.voices, time, found)) return false;
    frame.instrumentCount = found.instrumentCount;
    for (uint32_t v = 0; v < found.instrumentCount * kFeedVoices; ++v) frame.voices[v] = found.voices[v];
    return true;
}
