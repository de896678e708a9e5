// The audio thread's feeding loop.
#include "audio/audio_thread.h"

#include <chrono>
#include <thread>

#include "runtime/float_mode.h"
#include "runtime/memory.h"
#include "synth/synth.h"

namespace {

// How long the thread rests when the ring holds enough. The device takes
// 1,024 frames (23 ms) at a time and half a second is queued in front of it,
// so a write that comes a millisecond late is never heard; a bare yield
// instead kept a whole core busy polling, from the loading screen to the end
// of the show, which the main thread needs while it builds the programs.
constexpr std::chrono::milliseconds kFullRingRest{1};

}  // namespace

AudioThread::AudioThread(AudioOutput& output) : WorkerThread(0), output_(output) {
    fillBytes(silenceBlock, 0, sizeof(silenceBlock));
}

AudioThread::~AudioThread() {
    join();
}

int32_t AudioThread::run() {
    setFloatMode(kRenderFloatMode);  // decaying tails must not crawl through denormals
    while (!output_.stopRequested.load(std::memory_order_relaxed)) feedStep();
    return 0;
}

void AudioThread::feedStep() {
    if (!needsData(output_)) {
        std::this_thread::sleep_for(kFullRingRest);
        output_.feedSteps.fetch_add(1);
        return;
    }
    const int16_t* block = nullptr;
    const DynArray& sources = output_.sourceLists[output_.publishedList.load()];
    for (uint32_t i = 0; i < sources.count; ++i) {
        Synth& synth = *sources.at<Synth*>(i);
        const int16_t* rendered = nullptr;
        renderBlock(synth, &rendered);
        if (rendered == nullptr) continue;
        block = rendered;
        if (output_.blockListener != nullptr)
            output_.blockListener(output_.listenerContext, synth, synth.time.load(std::memory_order_relaxed));
    }
    if (block != nullptr) {
        if (output_.firstSourceByte.load(std::memory_order_relaxed) < 0)
            output_.firstSourceByte.store(int64_t(output_.ring.written.load(std::memory_order_relaxed)),
                                          std::memory_order_relaxed);
        output_.sourceBlocks.fetch_add(1, std::memory_order_relaxed);
    }
    writeBlock(output_, block != nullptr ? static_cast<const void*>(block) : silenceBlock, kOutputBlockBytes);
    output_.blocksWritten.fetch_add(1, std::memory_order_relaxed);
    output_.feedSteps.fetch_add(1);
}
