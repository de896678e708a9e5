// AudioOutput on SDL's dummy sound driver (no hardware, the device's pace):
// the thread keeps half a second queued, rests while the ring is full, and
// sources can come and go while it runs. Built with -DINTRO_SANITIZE=thread this is the race test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/audio_output.h"
#include "data/song.h"
#include "driver/music.h"
#include "synth/synth.h"

namespace {

using namespace std::chrono_literals;

struct Output {
    AudioOutput output;
    explicit Output(const char* driver) {
        setenv("SDL_AUDIODRIVER", driver, 1);
        resetAudioOutput(output);
    }
    ~Output() {
        shutdown(output);
        releaseSources(output);
    }
};

}  // namespace

TEST(AudioDevice, TheThreadKeepsHalfASecondQueuedAtTheDevicesPace) {
    Output o("dummy");
    ASSERT_TRUE(init(o.output, 44100)) << o.output.failure;
    std::this_thread::sleep_for(400ms);
    const AudioCounters c = readCounters(o.output);
    EXPECT_GT(c.bytesConsumed, 176400u / 10);  // the device is playing
    EXPECT_EQ(c.underruns, 0u);
    // Half a second, less at most one device buffer taken since the last
    // poll, plus at most one block.
    const double queued = queuedSeconds(o.output);
    EXPECT_GE(queued, 0.5 - 4096.0 / 176400.0);
    EXPECT_LE(queued, 0.5 + 2048.0 / 176400.0);

    shutdown(o.output);
    EXPECT_EQ(o.output.thread, nullptr);
    EXPECT_EQ(o.output.device, nullptr);
    // With the thread joined the counters hold still: every block went to the
    // ring behind the first half second of silence. (Read while the thread
    // runs, the two counters can be one block apart.)
    const AudioCounters after = readCounters(o.output);
    EXPECT_EQ(after.bytesWritten, 88200u + after.blocksWritten * 2048u);
    const uint64_t consumed = after.bytesConsumed;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(readCounters(o.output).bytesConsumed, consumed) << "the device still plays after shutdown";
}

// Between the device's takes (23 ms each) the thread has nothing to do; it
// must rest rather than poll, or it holds a core for the whole run, the
// loading included, on machines that may have only two. Counted, not timed:
// each step of the thread either writes a block or rests at least a
// millisecond, so over a stretch of wall time its steps are at most that many
// milliseconds plus the blocks it wrote, however loaded the machine (a load
// only makes fewer). A polling thread takes thousands of steps a millisecond.
TEST(AudioDevice, TheThreadRestsWhileTheRingIsFull) {
    Output o("dummy");
    ASSERT_TRUE(init(o.output, 44100)) << o.output.failure;
    std::this_thread::sleep_for(50ms);
    const auto start = std::chrono::steady_clock::now();
    const uint64_t stepsBefore = o.output.feedSteps.load();
    const uint64_t blocksBefore = readCounters(o.output).blocksWritten;
    std::this_thread::sleep_for(400ms);
    const uint64_t steps = o.output.feedSteps.load() - stepsBefore;
    const uint64_t blocks = readCounters(o.output).blocksWritten - blocksBefore;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GT(blocks, 0u);  // the ring was kept topped up meanwhile
    // One more for a rest under way when the stretch began.
    EXPECT_LE(steps, blocks + uint64_t(elapsed.count()) + 1) << "in " << elapsed.count() << " ms";
}

TEST(AudioDevice, AFailedOpenNamesTheReasonAndLeavesNothingRunning) {
    Output o("no-such-driver");
    EXPECT_FALSE(init(o.output, 44100));
    ASSERT_NE(o.output.failure, nullptr);
    EXPECT_NE(std::string(o.output.failure).find("no sound"), std::string::npos) << o.output.failure;
    EXPECT_EQ(o.output.thread, nullptr);
    EXPECT_FALSE(needsData(o.output));
    Synth synth;
    registerSource(o.output, synth);  // no thread to wait for
    EXPECT_EQ(sourceCount(o.output), 1u);
    unregisterSource(o.output, synth);
    shutdown(o.output);
    EXPECT_EQ(o.output.device, nullptr);
}

TEST(AudioDevice, SourcesComeAndGoWhileTheThreadRendersThem) {
    Output o("dummy");
    ASSERT_TRUE(init(o.output, 44100)) << o.output.failure;
    // One Synth with the song, two empty ones that render silence quickly.
    Synth song, a, b;
    prepareSynth(song, kSong, kSongSize);
    init(a);
    init(b);
    Synth* synths[] = {&song, &a, &b};
    for (Synth* s : synths) start(*s, 0.0f);

    const auto end = std::chrono::steady_clock::now() + 1500ms;
    int round = 0;
    while (std::chrono::steady_clock::now() < end) {
        Synth& x = *synths[round % 3];
        Synth& y = *synths[(round + 1) % 3];
        registerSource(o.output, x);
        registerSource(o.output, y);
        if (round % 7 == 0) {
            stop(song);
            start(song, 0.0f);
        }
        unregisterSource(o.output, x);
        unregisterSource(o.output, y);
        if (round % 16 == 0) {
            // Registered, a playing Synth is rendered; once unregistered it is
            // not touched any more: its clock stays.
            // (Waits up to two seconds: on a loaded machine the thread can
            // go unscheduled for longer than a few blocks.)
            const float before = x.time.load();
            registerSource(o.output, x);
            const auto patience = std::chrono::steady_clock::now() + 2s;
            do std::this_thread::sleep_for(10ms);
            while (x.time.load() == before && std::chrono::steady_clock::now() < patience);
            unregisterSource(o.output, x);
            const float frozen = x.time.load();
            EXPECT_GT(frozen, before) << "round " << round;
            std::this_thread::sleep_for(30ms);
            EXPECT_EQ(x.time.load(), frozen) << "round " << round;
        }
        ++round;
    }
    EXPECT_EQ(sourceCount(o.output), 0u);
    shutdown(o.output);
}
