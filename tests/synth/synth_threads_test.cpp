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
    ASSERT_TRUE(loadSong(*synth, kProvisionalSong, kProvisionalSongSize, 0.0f));
    synth->masterVolume = 0.4f;
    start(*synth, 33.0f);

    std::atomic<bool> done{false};
    std::atomic<int> rendered{0};
    std::atomic<int> badSamples{0};
    std::thread audio([&] {
        while (!done.load(std::memory_order_relaxed)) {
            const int16_t* out = nullptr;
            renderBlock(*synth, &out);
            if (out == nullptr) {
                std::this_thread::yield();
                continue;
            }
            // Copy the block the way the audio output does, and check it.
            int16_t copy[2 * kBlockFrames];
            for (uint32_t i = 0; i < 2 * kBlockFrames; ++i) copy[i] = out[i];
            if (out != synth->output) badSamples.fetch_add(1, std::memory_order_relaxed);
            (void)copy;
            rendered.fetch_add(1, std::memory_order_relaxed);
        }
    });

    // The "picture thread": reads what the note feed reads, and toggles.
    int frames = 0;
    int sawActive = 0;
    float lastTime = 0.0f;
    // Frames of 0.2 ms, a stop every 10 ms and a start 5 ms after it, so that
    // requests land both inside and between blocks.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rendered.load(std::memory_order_relaxed) < 300 && std::chrono::steady_clock::now() < deadline) {
        lastTime = synth->time.load(std::memory_order_relaxed);
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
    EXPECT_EQ(badSamples.load(), 0);
    EXPECT_GT(sawActive, 0);
    EXPECT_GE(lastTime, 0.0f);

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
