// AudioThread: the worker that feeds the sound ring. It polls the play
// position and renders one block from the sources whenever the ring needs
// data, writing silence when no source plays.
#pragma once
#include <cstdint>

#include "audio/audio_output.h"
#include "audio/worker_thread.h"

class AudioThread : public WorkerThread {
public:
    explicit AudioThread(AudioOutput& output);
    ~AudioThread() override;

    // Feeds until the output's stopRequested is set; returns 0.
    int32_t run() override;
    // One poll: rests a millisecond when no data is needed; otherwise renders
    // every source in order (the last one that produced a block wins, and the
    // block listener hears of each) and writes that block, or silenceBlock.
    void feedStep();

    alignas(16) uint8_t silenceBlock[kOutputBlockBytes];

private:
    AudioOutput& output_;
};
