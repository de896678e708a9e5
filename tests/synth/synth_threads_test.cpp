// Two threads on one Synth, as in the show: one renders blocks, the other
// reads the clock and the voices every "frame" and calls start and stop.
// Meant to run under ThreadSanitizer too (build with -DINTRO_SANITIZE=thread).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "data/song.h"
#include "runtime/counter.h"
#include "synth/synth.h"

namespace {

TEST(SynthThreads, StartAndStopWhileBlocksRenderLeaveAConsistentSynth) {
    pinCounter(2024);
    auto synth = std::make_unique<Synth>();
    init(*synth);
    setSampleRate(*synth, 44100);
    ASSERT_TRUE(loadSong(*synth, kSong, kSongSize, 0.0f));
    synth->masterVolume = 0.4f;
    start(*synth, 33.0f);

    std::atomic<bool> done{false};
    std::atomic<int> rendered{0};
    std::atomic<int> foreignBlocks{0};
    std::thread audio([&] {
        while (!done.load(std::memory_order_relaxed)) {
            const int16_t* out = nullptr;
            renderBlock(*synth, &out);
            if (out == nullptr) {
                std::this_thread::yield();
                continue;
            }
            if (out != synth->output) foreignBlocks.fetch_add(1, std::memory_order_relaxed);
            rendered.fetch_add(1, std::memory_order_relaxed);
        }
    });

    // The "picture thread": reads what the note feed reads, and toggles.
    int frames = 0;
    int sawActive = 0;
    int clockOutOfRange = 0;
    // Frames of 0.2 ms, a stop every 10 ms and a start 5 ms after it, so that
    // requests land both inside and between blocks.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rendered.load(std::memory_order_relaxed) < 300 && std::chrono::steady_clock::now() < deadline) {
        // Starts are at 33..39 s and fewer than 1,000 blocks (11.6 s) are
        // rendered: any other clock value is torn or misapplied.
        const float now = synth->time.load(std::memory_order_relaxed);
        if (!(now >= 33.0f && now < 51.0f)) ++clockOutOfRange;
        const uint32_t count = synth->instrumentCount.load(std::memory_order_relaxed);
        for (uint32_t i = 0; i < count && i < kTrackCount; ++i) {
            const Instrument* instrument = synth->instruments[i].load(std::memory_order_relaxed);
            if (instrument == nullptr) continue;
            for (const Voice& v : instrument->voices) {
                if (voiceActive(v) && (voiceNote(v) & 0x7F) > 0 && voiceVelocity(v) > 0) ++sawActive;
            }
        }
        ++frames;
        if (frames % 50 == 0) stop(*synth);
        if (frames % 50 == 25) start(*synth, 33.0f + float(frames % 7));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    done.store(true);
    audio.join();

    EXPECT_GE(rendered.load(), 300);
    EXPECT_EQ(foreignBlocks.load(), 0);
    EXPECT_GT(sawActive, 0);
    EXPECT_EQ(clockOutOfRange, 0);

    // With the audio thread gone, stop takes effect at once.
    stop(*synth);
    EXPECT_FALSE(synth->playing.load());
    for (uint32_t i = 0; i < kTrackCount; ++i) {
        const Instrument* instrument = synth->instruments[i].load();
        if (instrument == nullptr) continue;
        for (const Voice& v : instrument->voices) EXPECT_FALSE(voiceActive(v));
    }
    unpinCounter();
}

}  // namespace
