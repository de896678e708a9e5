// Note-activity feed: held and released notes, the peak rule, column masking,
// zero instruments, the read of a live Synth, and the ring of per-block voice
// snapshots that lets the pictures follow the block being heard.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cfloat>
#include <cmath>
#include <thread>
#include <xmmintrin.h>

#include "driver/note_feed.h"
#include "driver/voice_ring.h"
#include "runtime/float_mode.h"
#include "synth/synth.h"

namespace {

// A feed for `instruments` instruments and an all-idle voice frame.
struct Fixture {
    NoteFeed feed{};
    VoiceFrame frame{};

    explicit Fixture(uint32_t instruments) {
        EXPECT_TRUE(initNoteFeed(feed, instruments));
        frame.instrumentCount = instruments;
    }
    ~Fixture() { releaseNoteFeed(feed); }

    VoiceState& voice(uint32_t instrument, uint32_t v) { return frame.voices[instrument * kFeedVoices + v]; }
    float note(uint32_t instrument, uint32_t column) const { return feed.notes[instrument * kFeedNotes + column]; }
    void step(int frames = 1) {
        for (int i = 0; i < frames; ++i) stepNoteFeed(feed, frame);
    }
};

}  // namespace

TEST(NoteFeed, LoudnessIsVelocityTimesOnePointTwoOver128) {
    EXPECT_EQ(noteLoudness(80), 0.75f);
    EXPECT_EQ(noteLoudness(70), 0.65625f);
    EXPECT_EQ(noteLoudness(255), 2.390625f);
    EXPECT_EQ(noteLoudness(0), 0.0f);
    // Rounded once from double: 1 * 0.009375 is not a float-exact product.
    EXPECT_EQ(noteLoudness(1), float(0.009375));
}

TEST(NoteFeed, HeldNoteLightsAtOnceAndStaysSteady) {
    Fixture f(10);
    f.voice(1, 3) = VoiceState{true, 39, 80};
    for (int i = 0; i < 50; ++i) {
        f.step();
        ASSERT_EQ(f.note(1, 39), 0.75f) << "frame " << i;
        ASSERT_EQ(f.feed.peaks[1], 0.75f) << "frame " << i;
    }
    // Only that texel and that instrument's peak moved.
    for (uint32_t i = 0; i < 10; ++i) {
        if (i != 1) {
            EXPECT_EQ(f.feed.peaks[i], 0.0f);
        }
        for (uint32_t c = 0; c < kFeedNotes; ++c) {
            if (i != 1 || c != 39) {
                ASSERT_EQ(f.note(i, c), 0.0f) << i << "," << c;
            }
        }
    }
}

TEST(NoteFeed, ReleasedNoteDecaysByPointNinePerFrame) {
    // The row's two ends as well as the middle: every column decays alike.
    for (const int32_t note : {0, 60, 127}) {
        Fixture f(2);
        f.voice(0, 0) = VoiceState{true, note, 80};
        f.step();
        f.voice(0, 0).active = false;  // release: the voice may still sound, but no longer counts
        float expected = 0.75f;
        for (int i = 0; i < 20; ++i) {
            f.step();
            expected *= 0.9f;
            ASSERT_EQ(f.note(0, note), expected) << "note " << note << ", frame " << i;
            ASSERT_EQ(f.feed.peaks[0], expected) << "note " << note << ", frame " << i;
        }
    }
}

TEST(NoteFeed, DecayReachesExactZeroWithFlushToZero) {
    const unsigned saved = _mm_getcsr();
    setFloatMode(0x21);
    Fixture f(1);
    f.voice(0, 0) = VoiceState{true, 5, 255};
    f.step();
    f.voice(0, 0).active = false;
    int frames = 0;
    while (f.note(0, 5) != 0.0f && frames < 2000) {
        f.step();
        ++frames;
        ASSERT_TRUE(f.note(0, 5) == 0.0f || f.note(0, 5) >= FLT_MIN) << "denormal after " << frames;
    }
    _mm_setcsr(saved);
    EXPECT_EQ(f.note(0, 5), 0.0f);
    EXPECT_EQ(f.feed.peaks[0], 0.0f);
    EXPECT_GT(frames, 800);  // 2.39 * 0.9^n falls below 2^-126 after about 836 frames
}

TEST(NoteFeed, LouderEarlierNoteOnlyDecaysAndLouderVoiceWins) {
    Fixture f(1);
    f.voice(0, 0) = VoiceState{true, 20, 200};  // 1.875
    f.step();
    f.voice(0, 0) = VoiceState{true, 20, 80};   // same key, quieter note
    f.step();
    EXPECT_EQ(f.note(0, 20), 1.875f * 0.9f);
    f.step(20);
    EXPECT_EQ(f.note(0, 20), 0.75f);  // decayed down to the held loudness, then held
    // Two held voices on one note: the louder one sets the entry.
    f.voice(0, 7) = VoiceState{true, 20, 100};
    f.step();
    EXPECT_EQ(f.note(0, 20), noteLoudness(100));
    // A held voice of velocity 0 adds nothing.
    f.voice(0, 8) = VoiceState{true, 90, 0};
    f.step();
    EXPECT_EQ(f.note(0, 90), 0.0f);
}

TEST(NoteFeed, PeakDecaysBelowTheLoudestBeforeTakingItAgain) {
    // One voice goes from velocity 80 to 70 on the same note: the note entry
    // and the peak follow different rules.
    Fixture f(1);
    f.voice(0, 0) = VoiceState{true, 40, 80};
    f.step();
    f.voice(0, 0).velocity = 70;
    const float peaks[] = {0.75f * 0.9f, 0.75f * 0.9f * 0.9f, 0.65625f, 0.65625f};
    const float notes[] = {0.75f * 0.9f, 0.65625f, 0.65625f, 0.65625f};
    for (int i = 0; i < 4; ++i) {
        f.step();
        EXPECT_EQ(f.feed.peaks[0], peaks[i]) << "frame " << i;
        EXPECT_EQ(f.note(0, 40), notes[i]) << "frame " << i;
    }
    EXPECT_FLOAT_EQ(peaks[0], 0.675f);
    EXPECT_FLOAT_EQ(peaks[1], 0.6075f);
}

TEST(NoteFeed, NoteNumbersUseTheirLowSevenBits) {
    Fixture f(3);
    f.voice(2, 0) = VoiceState{true, 128 + 39, 80};
    f.voice(2, 1) = VoiceState{true, -1, 100};  // low bits 0x7F
    f.voice(2, 2) = VoiceState{true, 0x100000 + 3, 120};
    f.step();
    EXPECT_EQ(f.note(2, 39), 0.75f);
    EXPECT_EQ(f.note(2, 127), noteLoudness(100));
    EXPECT_EQ(f.note(2, 3), noteLoudness(120));
    EXPECT_EQ(f.feed.peaks[2], noteLoudness(120));
}

TEST(NoteFeed, ZeroInstrumentsAndTooManyInstrumentsTouchNothingOutside) {
    Fixture none(0);
    none.frame.voices[0] = VoiceState{true, 1, 80};
    none.step(3);
    EXPECT_EQ(none.feed.rows, 0u);

    // A snapshot claiming more instruments than the feed was made for only
    // fills the rows that exist.
    Fixture two(2);
    two.frame.instrumentCount = 5;
    two.voice(1, 0) = VoiceState{true, 10, 80};
    two.voice(3, 0) = VoiceState{true, 10, 80};
    two.step();
    EXPECT_EQ(two.note(1, 10), 0.75f);
    EXPECT_EQ(two.feed.notes[2 * kFeedNotes], 0.0f);  // the spare entry stays untouched
    EXPECT_EQ(two.feed.peaks[2], 0.0f);
}

TEST(NoteFeed, ReadsALiveSynthsVoices) {
    Synth synth;
    Instrument* instrument = createInstrument();
    ASSERT_NE(instrument, nullptr);
    instrument->voices[4].active.store(true);
    instrument->voices[4].note.store(39);
    instrument->voices[4].velocity.store(80);
    instrument->voices[5].note.store(41);  // released: not active
    instrument->voices[5].velocity.store(90);
    synth.instruments[1].store(instrument);
    synth.instrumentCount.store(2);  // slot 0 still empty

    VoiceFrame frame;
    readVoiceFrame(synth, frame);
    ASSERT_EQ(frame.instrumentCount, 2u);
    for (uint32_t v = 0; v < kFeedVoices; ++v) EXPECT_FALSE(frame.voices[v].active);
    const VoiceState& held = frame.voices[kFeedVoices + 4];
    EXPECT_TRUE(held.active);
    EXPECT_EQ(held.note, 39);
    EXPECT_EQ(held.velocity, 80);
    EXPECT_FALSE(frame.voices[kFeedVoices + 5].active);

    Fixture f(2);
    stepNoteFeed(f.feed, frame);
    EXPECT_EQ(f.note(1, 39), 0.75f);
    EXPECT_EQ(f.note(1, 41), 0.0f);
}

namespace {

constexpr float kBlockSeconds = 512.0f / 44100.0f;

// A frame whose every voice encodes the block number, so that a mixed-up or
// torn read shows.
void fillFrame(VoiceFrame& frame, uint32_t instruments, uint32_t block) {
    frame.instrumentCount = instruments;
    for (uint32_t v = 0; v < instruments * kFeedVoices; ++v) {
        frame.voices[v] = VoiceState{(block & 1) != 0, int32_t(block), int32_t(block * 3 + v)};
    }
}

void expectFrameOfBlock(const VoiceFrame& frame, uint32_t instruments, uint32_t block) {
    ASSERT_EQ(frame.instrumentCount, instruments);
    for (uint32_t v = 0; v < instruments * kFeedVoices; ++v) {
        ASSERT_EQ(frame.voices[v].active, (block & 1) != 0) << "voice " << v;
        ASSERT_EQ(frame.voices[v].note, int32_t(block)) << "voice " << v;
        ASSERT_EQ(frame.voices[v].velocity, int32_t(block * 3 + v)) << "voice " << v;
    }
}

}  // namespace

TEST(VoiceRing, FindsTheBlockBeingHeard) {
    VoiceRing ring;
    ASSERT_TRUE(initVoiceRing(ring, 8, 10));
    VoiceFrame frame;
    EXPECT_FALSE(heardVoiceFrame(ring, 1.0f, frame));  // nothing published yet
    EXPECT_EQ(frame.instrumentCount, 0u);

    for (uint32_t block = 0; block < 5; ++block) {
        fillFrame(frame, 10, block);
        publishVoiceFrame(ring, float(block) * kBlockSeconds, frame);
    }
    EXPECT_TRUE(heardVoiceFrame(ring, 2.5f * kBlockSeconds, frame));
    expectFrameOfBlock(frame, 10, 2);
    EXPECT_TRUE(heardVoiceFrame(ring, 3.0f * kBlockSeconds, frame));  // start of block 3
    expectFrameOfBlock(frame, 10, 3);
    EXPECT_TRUE(heardVoiceFrame(ring, 100.0f, frame));  // ahead of everything: the newest
    expectFrameOfBlock(frame, 10, 4);
    EXPECT_FALSE(heardVoiceFrame(ring, -0.01f, frame));  // before the first block
    releaseVoiceRing(ring);
}

TEST(VoiceRing, ForgetsOverwrittenBlocksAndFollowsARestartedClock) {
    VoiceRing ring;
    ASSERT_TRUE(initVoiceRing(ring, 8, 2));
    VoiceFrame frame;
    for (uint32_t block = 0; block < 100; ++block) {
        fillFrame(frame, 2, block);
        publishVoiceFrame(ring, float(block) * kBlockSeconds, frame);
    }
    EXPECT_FALSE(heardVoiceFrame(ring, 91.5f * kBlockSeconds, frame));  // gone: 92..99 held
    EXPECT_TRUE(heardVoiceFrame(ring, 92.5f * kBlockSeconds, frame));
    expectFrameOfBlock(frame, 2, 92);

    // The clock starts again from 0: newer blocks win over older, later ones.
    for (uint32_t block = 100; block < 103; ++block) {
        fillFrame(frame, 2, block);
        publishVoiceFrame(ring, float(block - 100) * kBlockSeconds, frame);
    }
    EXPECT_TRUE(heardVoiceFrame(ring, 1.5f * kBlockSeconds, frame));
    expectFrameOfBlock(frame, 2, 101);
    EXPECT_TRUE(heardVoiceFrame(ring, 95.0f * kBlockSeconds, frame));
    expectFrameOfBlock(frame, 2, 102);
    releaseVoiceRing(ring);
}

TEST(VoiceRing, ConcurrentReaderNeverSeesATornBlock) {
    VoiceRing ring;
    ASSERT_TRUE(initVoiceRing(ring, 4, 10));  // small, so the writer laps the reader often
    // Block numbers double as start times, exact in a float below 2^24.
    constexpr uint32_t kMaxBlocks = 1u << 22;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        VoiceFrame frame;
        for (uint32_t block = 0; block < kMaxBlocks && !stop.load(); ++block) {
            fillFrame(frame, 10, block);
            publishVoiceFrame(ring, float(block), frame);
        }
    });
    VoiceFrame frame;
    uint32_t hits = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < deadline) {
        // Ask for a block just behind the newest, which the writer is about
        // to overwrite.
        const float wanted = float(std::atomic_ref<uint32_t>(ring.published).load()) - 3.0f;
        if (!heardVoiceFrame(ring, wanted, frame)) continue;
        ++hits;
        const uint32_t block = uint32_t(frame.voices[0].note);
        if (float(block) > wanted) {
            ADD_FAILURE() << "block " << block << " is newer than the heard time " << wanted;
            break;
        }
        expectFrameOfBlock(frame, 10, block);  // ends the loop below on a torn read
        if (HasFatalFailure()) break;
    }
    stop.store(true);
    writer.join();
    EXPECT_GT(hits, 0u);
    releaseVoiceRing(ring);
}
