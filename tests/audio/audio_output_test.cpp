// AudioOutput without a sound device: the test plays the device's part with
// playRing and drives the audio thread's feedStep by hand, so every step of
// the feeding rule is observable.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/audio_output.h"
#include "audio/audio_thread.h"
#include "data/song.h"
#include "driver/music.h"
#include "runtime/counter.h"
#include "synth/synth.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBuffer = kRate * 4;  // 176,400 bytes
constexpr uint32_t kHalf = kBuffer / 2;

// An output with its ring and an audio thread object that is never started.
struct Stream {
    AudioOutput output;
    AudioThread* feeder = nullptr;

    Stream() {
        resetAudioOutput(output);
        EXPECT_TRUE(initStream(output, kRate));
        feeder = new AudioThread(output);
    }
    ~Stream() {
        delete feeder;
        shutdown(output);
        releaseSources(output);
    }
    // The device takes `count` bytes.
    std::vector<uint8_t> play(uint32_t count) {
        std::vector<uint8_t> out(count);
        playRing(output.ring, out.data(), count);
        return out;
    }
    // Feed steps until no data is needed; returns the blocks written.
    uint64_t feedUntilSatisfied() {
        const uint64_t before = output.blocksWritten.load();
        for (int i = 0; i < 1000 && needsData(output); ++i) feeder->feedStep();
        return output.blocksWritten.load() - before;
    }
    uint32_t ahead() const { return (output.writeCursor + kBuffer - playCursor(output.ring)) % kBuffer; }
};

bool allZero(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes)
        if (b != 0) return false;
    return true;
}

}  // namespace

TEST(AudioFeed, RightAfterStartTheRingHoldsHalfASecondAndNeedsNothing) {
    Stream s;
    EXPECT_EQ(s.output.writeCursor, kHalf);
    EXPECT_FALSE(needsData(s.output));  // exactly half a buffer ahead
    EXPECT_DOUBLE_EQ(queuedSeconds(s.output), 0.5);
    s.feeder->feedStep();
    EXPECT_EQ(s.output.blocksWritten.load(), 0u);
}

TEST(AudioFeed, KeepsTheWriterBetweenHalfABufferAndOneBlockMoreAhead) {
    Stream s;
    for (int take = 0; take < 200; ++take) {  // 200 device buffers: more than four laps
        s.play(4096);
        s.feedUntilSatisfied();
        EXPECT_GE(s.ahead(), kHalf);
        EXPECT_LE(s.ahead(), kHalf + kOutputBlockBytes);
    }
    EXPECT_EQ(s.output.ring.underruns.load(), 0u);
    // One block per write, and every byte the device took was written.
    EXPECT_EQ(s.output.blocksWritten.load() * kOutputBlockBytes + kHalf, s.output.ring.written.load());
}

TEST(AudioFeed, AWriteAtTheEndOfTheRingWrapsToItsStart) {
    Stream s;
    const uint32_t start = kBuffer - 1024;  // a block that crosses the end by half
    s.output.writeCursor = start;
    std::vector<uint8_t> block(kOutputBlockBytes);
    for (uint32_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7 + 3);
    writeBlock(s.output, block.data(), kOutputBlockBytes);
    EXPECT_EQ(s.output.writeCursor, 1024u);

    s.play(start);  // up to the block
    EXPECT_EQ(s.play(kOutputBlockBytes), block);
}

TEST(AudioFeed, WithoutAPlayingSourceSilenceFlowsAtTheNormalPace) {
    Stream s;
    pinCounter(11);
    Synth idle;  // loaded but never started
    prepareSynth(idle, kSong, kSongSize);
    unpinCounter();

    s.play(40960);
    EXPECT_EQ(s.feedUntilSatisfied(), 20u);  // no sources
    registerSource(s.output, idle);
    s.play(40960);
    EXPECT_EQ(s.feedUntilSatisfied(), 20u);  // a source that does not play
    EXPECT_EQ(idle.time.load(), 0.0f);
    EXPECT_EQ(s.output.sourceBlocks.load(), 0u);
    EXPECT_EQ(s.output.firstSourceByte.load(), -1);
    EXPECT_TRUE(allZero(s.play(kBuffer)));
    unregisterSource(s.output, idle);
}

TEST(AudioFeed, APlayingSynthIsStreamedBlockForBlockAsRenderedOffline) {
    constexpr uint32_t kBlocks = 40;
    pinCounter(2024);
    Synth offline;
    prepareSynth(offline, kSong, kSongSize);
    start(offline, 0.0f);
    std::vector<int16_t> expected;
    for (uint32_t b = 0; b < kBlocks; ++b) {
        const int16_t* out = nullptr;
        renderBlock(offline, &out);
        ASSERT_NE(out, nullptr);
        expected.insert(expected.end(), out, out + kBlockFrames * 2);
    }
    // Pinned to the end: voices seed their detune from the counter as they start.
    Synth streamed;
    prepareSynth(streamed, kSong, kSongSize);

    Stream s;
    registerSource(s.output, streamed);
    s.play(8192);
    s.feedUntilSatisfied();  // four silent blocks before the start
    start(streamed, 0.0f);
    s.play(kBlocks * kOutputBlockBytes);
    s.feedUntilSatisfied();

    EXPECT_EQ(s.output.sourceBlocks.load(), kBlocks);
    EXPECT_EQ(s.output.firstSourceByte.load(), int64_t(kHalf + 4 * kOutputBlockBytes));
    EXPECT_EQ(streamed.time.load(), offline.time.load());  // same number of blocks rendered
    // The device hears the silent lead-in, then exactly the offline blocks.
    const uint64_t leadIn = uint64_t(s.output.firstSourceByte.load()) - s.output.ring.consumed.load();
    EXPECT_TRUE(allZero(s.play(uint32_t(leadIn))));
    const std::vector<uint8_t> heard = s.play(kBlocks * kOutputBlockBytes);
    EXPECT_EQ(std::memcmp(heard.data(), expected.data(), heard.size()), 0);
    unregisterSource(s.output, streamed);
    unpinCounter();
}

TEST(AudioFeed, ADeviceThatOvertookTheWriterGetsBlocksBackToBackUntilHalfABufferAhead) {
    Stream s;
    s.play(kHalf + 8192);  // the device ran 8 KiB past everything written
    EXPECT_EQ(s.output.ring.underruns.load(), 1u);
    EXPECT_TRUE(needsData(s.output));
    // From 8 KiB behind to half a buffer ahead, one block at a time.
    EXPECT_EQ(s.feedUntilSatisfied(), (8192 + kHalf) / kOutputBlockBytes + 1);
    EXPECT_GE(s.ahead(), kHalf);
    EXPECT_LE(s.ahead(), kHalf + kOutputBlockBytes);
    EXPECT_GT(queuedSeconds(s.output), 0.45);
}

TEST(AudioSources, RegistrationKeepsOrderAndRemovalTakesOnlyTheFirstEntry) {
    AudioOutput output;
    resetAudioOutput(output);
    Synth a, b;
    setSampleRate(a, 8000);
    registerSource(output, a);  // an output without a rate leaves the Synth's rate alone
    EXPECT_EQ(a.tables.sampleRate, 8000u);

    EXPECT_TRUE(initStream(output, kRate));
    registerSource(output, b);
    registerSource(output, a);
    EXPECT_EQ(a.tables.sampleRate, kRate);
    ASSERT_EQ(sourceCount(output), 3u);

    Synth stranger;
    unregisterSource(output, stranger);  // never registered: nothing changes
    EXPECT_EQ(sourceCount(output), 3u);

    unregisterSource(output, a);
    const DynArray& list = output.sourceLists[output.publishedList.load()];
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(list.at<Synth*>(0), &b);
    EXPECT_EQ(list.at<Synth*>(1), &a);
    unregisterSource(output, a);
    unregisterSource(output, b);
    EXPECT_EQ(sourceCount(output), 0u);
    shutdown(output);
    releaseSources(output);
}

TEST(AudioShutdown, DoesNothingToAnOutputThatNeverStartedAndFreesTheRingOnce) {
    AudioOutput output;
    resetAudioOutput(output);
    shutdown(output);  // nothing exists
    EXPECT_FALSE(needsData(output));
    EXPECT_EQ(queuedSeconds(output), 0.0);
    std::vector<uint8_t> block(kOutputBlockBytes, 1);
    writeBlock(output, block.data(), kOutputBlockBytes);  // no ring: ignored

    ASSERT_TRUE(initStream(output, kRate));
    EXPECT_NE(output.ring.frames, nullptr);
    shutdown(output);
    EXPECT_EQ(output.ring.frames, nullptr);
    EXPECT_FALSE(needsData(output));
    shutdown(output);
    releaseSources(output);
}

namespace {

struct Heard {
    std::vector<float> ends;
    const Synth* synth = nullptr;
};

void hear(void* context, const Synth& synth, float blockEnd) {
    auto& heard = *static_cast<Heard*>(context);
    heard.ends.push_back(blockEnd);
    heard.synth = &synth;
}

}  // namespace

TEST(AudioFeed, TheBlockListenerHearsOfEverySoundBlockAndNoSilentOne) {
    Stream s;
    Heard heard;
    ASSERT_TRUE(setBlockListener(s.output, hear, &heard));
    Synth synth;
    init(synth);  // no song: silent blocks, but blocks
    registerSource(s.output, synth);
    s.play(8192);
    s.feedUntilSatisfied();
    EXPECT_TRUE(heard.ends.empty()) << "not playing yet";
    start(synth, 2.0f);
    s.play(8192);
    s.feedUntilSatisfied();
    ASSERT_EQ(heard.ends.size(), 4u);
    EXPECT_EQ(heard.synth, &synth);
    EXPECT_FLOAT_EQ(heard.ends[0], 2.0f + 512.0f / 44100.0f);
    EXPECT_EQ(heard.ends[3], synth.time.load());
    unregisterSource(s.output, synth);
}

// Rates the ring cannot serve are refused instead of written past its end,
// and an odd rate (half the ring is then half a frame) still streams every
// block intact through several laps of the ring.
TEST(AudioStream, ARateTooLowIsRefusedAndAnOddRateKeepsWholeFrames) {
    AudioOutput output;
    resetAudioOutput(output);
    EXPECT_FALSE(initStream(output, 0));
    EXPECT_FALSE(initStream(output, 100));  // a 400-byte ring: one block would overrun it
    EXPECT_FALSE(initStream(output, kMinStreamRate - 1));
    ASSERT_TRUE(initStream(output, kMinStreamRate));
    shutdown(output);

    constexpr uint32_t kOddRate = 11025;  // a ring of 44,100 bytes
    ASSERT_TRUE(initStream(output, kOddRate));
    const uint32_t lead = output.writeCursor;
    EXPECT_EQ(lead % kFrameBytes, 0u);
    EXPECT_GE(lead + kFrameBytes, output.bufferBytes / 2);

    // The device takes one block after each block written, so it stays
    // `lead` bytes behind the writer: it hears that much silence, then the
    // blocks in order.
    std::vector<uint8_t> expected(lead, 0);
    std::vector<uint8_t> heard;
    std::vector<uint8_t> block(kOutputBlockBytes);
    std::vector<uint8_t> take(kOutputBlockBytes);
    for (uint32_t b = 0; b < 60; ++b) {  // 122,880 bytes: 2.8 laps of the ring
        for (uint32_t i = 0; i < kOutputBlockBytes; ++i) block[i] = uint8_t(b * 31 + i * 7 + 1);
        writeBlock(output, block.data(), kOutputBlockBytes);
        expected.insert(expected.end(), block.begin(), block.end());
        playRing(output.ring, take.data(), kOutputBlockBytes);
        heard.insert(heard.end(), take.begin(), take.end());
    }
    EXPECT_EQ(output.ring.underruns.load(), 0u);
    expected.resize(heard.size());
    EXPECT_TRUE(heard == expected) << "a block came out shifted or cut";
    shutdown(output);
    releaseSources(output);
}
