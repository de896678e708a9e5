// AudioOutput above the platform's sound device (sound_device.h): the audio
// thread writes to the looping buffer the device plays, and the source list
// is swapped between two copies so that neither thread ever holds a lock.
#include "audio/audio_output.h"

#include <chrono>
#include <new>
#include <thread>

#include "audio/audio_thread.h"
#include "audio/sound_device.h"
#include "runtime/exit_callbacks.h"
#include "synth/synth.h"

AudioOutput audioOutput;

namespace {

int32_t releaseGlobalSources() {
    releaseSources(audioOutput);
    return 0;
}

bool fail(AudioOutput& output, const char* what) {
    output.failure = what;
    return false;
}

// Makes `list` the one the audio thread walks, then waits until the thread is
// done with the other: after that the other may be rewritten or a Synth taken
// out of it may go away. The wait lasts at most one feed step (one block).
//
// Why one finished step is enough: the thread reads publishedList at the start
// of each step and counts feedSteps up at its end, both sequentially
// consistent. If the count read here already includes a step that saw the old
// list, that step is over; otherwise the next increment is the end of the
// only step that could still hold it, and every later step reads the new list.
void publishSources(AudioOutput& output, uint32_t list) {
    output.publishedList.store(list);
    if (output.thread == nullptr) return;
    const uint64_t seen = output.feedSteps.load();
    while (output.feedSteps.load() == seen) std::this_thread::yield();
}

// The list that is not published, made a copy of the published one; null
// when there is no memory for the copy (a shorter copy would drop sources).
DynArray* draftSources(AudioOutput& output, uint32_t& draft) {
    const uint32_t published = output.publishedList.load();
    draft = 1 - published;
    const DynArray& current = output.sourceLists[published];
    DynArray& next = output.sourceLists[draft];
    next.clear();
    next.resize(current.count);
    if (next.count != current.count) return nullptr;
    for (uint32_t i = 0; i < next.count; ++i) next.at<Synth*>(i) = current.at<Synth*>(i);
    return &next;
}

}  // namespace

void resetAudioOutput(AudioOutput& output) {
    output.device = nullptr;
    output.ring.frames = nullptr;
    output.ring.bufferBytes = 0;
    output.writeCursor = 0;
    output.bufferBytes = 0;
    output.sampleRate = 0;
    for (DynArray& list : output.sourceLists) list.init(sizeof(Synth*), 0);
    output.publishedList.store(0);
    output.stopRequested.store(false);
    output.thread = nullptr;
    output.blockListener = nullptr;
    output.listenerContext = nullptr;
    output.feedSteps.store(0);
    output.blocksWritten.store(0);
    output.sourceBlocks.store(0);
    output.firstSourceByte.store(-1);
    output.lastTake.store(kNoTake);
    output.takeBytes.store(0);
    output.failure = nullptr;
}

void prepareAudioOutput() {
    resetAudioOutput(audioOutput);
    registerExitCallback(releaseGlobalSources);
}

void releaseSources(AudioOutput& output) {
    for (DynArray& list : output.sourceLists) list.release();
}

bool initStream(AudioOutput& output, uint32_t rate) {
    // Half a second must hold a whole block, or one write would run past the
    // ring's end (below 1,024 frames per second).
    if (rate < kMinStreamRate || rate > UINT32_MAX / kFrameBytes) return false;
    output.sampleRate = rate;
    output.bufferBytes = rate * kFrameBytes;
    output.stopRequested.store(false);
    // The writer starts half a buffer ahead: the zeroed first half second is
    // silence already in place, and needsData sees exactly half a buffer.
    // Rounded down to a whole frame: with an odd rate, half the ring is half
    // a frame, and a cursor inside a frame would misplace every write.
    output.writeCursor = (output.bufferBytes / 2) & ~(kFrameBytes - 1);
    output.blocksWritten.store(0);
    output.sourceBlocks.store(0);
    output.firstSourceByte.store(-1);
    output.lastTake.store(kNoTake);
    output.takeBytes.store(0);
    return makeSoundBuffer(output);
}

bool init(AudioOutput& output, uint32_t rate) {
    output.failure = nullptr;
    if (!openSoundDevice(output, rate)) return false;
    if (!initStream(output, rate)) return fail(output, "no sound buffer at this rate");

    // The ring and the write cursor are in place before the thread starts.
    output.thread = new (std::nothrow) AudioThread(output);
    if (output.thread == nullptr) return fail(output, "no memory for the audio thread");
    if (!output.thread->start(kPriorityNormal)) {
        delete output.thread;
        output.thread = nullptr;
        return fail(output, "the audio thread could not be started");
    }
    if (!playSoundDevice(output)) return fail(output, "the sound device refused to play");
    return true;
}

void shutdown(AudioOutput& output) {
    // Once this returns the device takes nothing more from the buffer.
    stopSoundDevice(output);
    if (output.thread != nullptr) {
        output.stopRequested.store(true);
        output.thread->join();
        delete output.thread;
        output.thread = nullptr;
    }
    closeSoundDevice(output);
}

void registerSource(AudioOutput& output, Synth& synth) {
    // An output that never got a rate would stop the Synth's clock at 0.
    if (output.sampleRate != 0) setSampleRate(synth, output.sampleRate);
    uint32_t draft;
    DynArray* next = draftSources(output, draft);
    void* slot = next != nullptr ? next->append() : nullptr;
    if (slot == nullptr) return;  // no memory: the published list stays as it was
    *static_cast<Synth**>(slot) = &synth;
    publishSources(output, draft);
}

void unregisterSource(AudioOutput& output, Synth& synth) {
    const Synth* key = &synth;
    if (output.sourceLists[output.publishedList.load()].find(&key) < 0) return;
    uint32_t draft;
    DynArray* next = draftSources(output, draft);
    if (next == nullptr) return;  // no memory: the published list stays as it was
    next->removeAt(uint32_t(next->find(&key)));
    publishSources(output, draft);
}

uint32_t sourceCount(const AudioOutput& output) {
    return output.sourceLists[output.publishedList.load()].count;
}

bool setBlockListener(AudioOutput& output, BlockListener listener, void* context) {
    if (output.thread != nullptr) return false;
    output.blockListener = listener;
    output.listenerContext = context;
    return true;
}

bool needsData(AudioOutput& output) {
    if (!hasSoundBuffer(output)) return false;
    int32_t ahead = int32_t(output.writeCursor - soundPlayCursor(output));
    if (ahead < 0) ahead += int32_t(output.bufferBytes);
    const int32_t half = int32_t(output.bufferBytes / 2);
    return ahead < half || ahead > half + int32_t(kOutputBlockBytes);
}

void writeBlock(AudioOutput& output, const void* data, uint32_t count) {
    if (!hasSoundBuffer(output)) return;
    copyToSoundBuffer(output, output.writeCursor, data, count);
    output.writeCursor = (output.writeCursor + count) % output.bufferBytes;
}

uint32_t deviceMicros() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
}

void recordTake(AudioOutput& output, uint32_t bytes, uint32_t micros) {
    // This side is the only writer of `consumed`, so it is exact here. The
    // length is stored first: a reader that sees the new pair sees it too.
    const uint64_t consumed = output.ring.consumed.load(std::memory_order_relaxed);
    output.takeBytes.store(bytes, std::memory_order_relaxed);
    output.lastTake.store((uint64_t(micros) << 32) | uint32_t(consumed), std::memory_order_release);
}

DeviceTake lastDeviceTake(const AudioOutput& output) {
    const uint64_t take = output.lastTake.load(std::memory_order_acquire);
    if (take == kNoTake) return {false, 0, 0, 0};
    return {true, uint32_t(take), uint32_t(take >> 32), output.takeBytes.load(std::memory_order_relaxed)};
}

double queuedSeconds(const AudioOutput& output) {
    if (!hasSoundBuffer(output)) return 0.0;
    const uint64_t consumed = output.ring.consumed.load(std::memory_order_acquire);
    const uint64_t written = output.ring.written.load(std::memory_order_acquire);
    if (written <= consumed) return 0.0;
    return double(written - consumed) / double(output.bufferBytes);
}

AudioCounters readCounters(const AudioOutput& output) {
    AudioCounters counters;
    counters.blocksWritten = output.blocksWritten.load(std::memory_order_relaxed);
    counters.sourceBlocks = output.sourceBlocks.load(std::memory_order_relaxed);
    counters.underruns = output.ring.underruns.load(std::memory_order_relaxed);
    counters.bytesConsumed = output.ring.consumed.load(std::memory_order_relaxed);
    counters.bytesWritten = output.ring.written.load(std::memory_order_relaxed);
    counters.firstSourceByte = output.firstSourceByte.load(std::memory_order_relaxed);
    return counters;
}
