// Hooks of the test build `intro_probe` (compiled with INTRO_PROBE defined):
// it pins the counter so that its song equals `songrender --seed`, ends by
// itself after INTRO_PROBE_SECONDS of music, and prints the audio counters on
// stderr at exit. In the shipped intro every hook is empty.
#pragma once
#include "driver/show.h"

#ifdef INTRO_PROBE
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "audio/audio_output.h"
#include "runtime/counter.h"

namespace probe {

// Music time, device bytes and wall time at one moment.
struct Mark {
    bool taken = false;
    double music = 0.0;
    uint64_t consumed = 0;
    double wall = 0.0;
    double queued = 0.0;  // seconds written ahead of what the device took
};
inline Mark first;  // the first frame whose clock reached 1 s
inline Mark last;   // the last frame

inline double wallSeconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

inline Mark mark(const Show& show) {
    return {true, double(show.synth.time.load(std::memory_order_relaxed)),
            readCounters(audioOutput).bytesConsumed, wallSeconds(), queuedSeconds(audioOutput)};
}

}  // namespace probe

inline void probeStartUp() {
    pinCounter(INTRO_PROBE_SEED);
}

// False once the probe has heard enough.
inline bool probeFrame(const Show& show) {
    if (!probe::first.taken && show.clock >= 1.0f) probe::first = probe::mark(show);
    if (show.clock < INTRO_PROBE_SECONDS) return true;
    probe::last = probe::mark(show);
    return false;
}

inline void probeShutDown(const Show&) {
    const AudioCounters c = readCounters(audioOutput);
    std::fprintf(stderr,
                 "intro_probe: seed=%d blocks=%" PRIu64 " source_blocks=%" PRIu64 " underruns=%" PRIu64
                 " consumed=%" PRIu64 " written=%" PRIu64 " first_source_byte=%" PRId64
                 " first_music=%.6f first_consumed=%" PRIu64 " first_wall=%.6f"
                 " last_music=%.6f last_consumed=%" PRIu64 " last_wall=%.6f last_queued=%.6f\n",
                 int(INTRO_PROBE_SEED), c.blocksWritten, c.sourceBlocks, c.underruns, c.bytesConsumed,
                 c.bytesWritten, c.firstSourceByte, probe::first.music, probe::first.consumed, probe::first.wall,
                 probe::last.music, probe::last.consumed, probe::last.wall, probe::last.queued);
}

#else

inline void probeStartUp() {}
inline bool probeFrame(const Show&) { return true; }
inline void probeShutDown(const Show&) {}

#endif
