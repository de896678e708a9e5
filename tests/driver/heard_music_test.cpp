// The music being heard: the heard time from a block's end and the device's
// play position, and, through the real feeding step of the audio thread with
// the device played by hand, the heard time and heard voices against an
// offline Synth rendering the same song.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "audio/audio_output.h"
#include "audio/audio_thread.h"
#include "data/song.h"
#include "driver/heard_music.h"
#include "driver/music.h"
#include "runtime/counter.h"
#include "synth/synth.h"

namespace {

constexpr uint32_t kBytesPerSecond = 44100 * 4;

// The device having taken `consumed` bytes and played all of them.
DevicePosition taken(uint64_t consumed) {
    return {consumed, 0.0};
}

}  // namespace

TEST(HeardTime, IsTheBlockEndLessWhatIsStillQueued) {
    // Half a second queued in front of a block ending at 10 s.
    EXPECT_FLOAT_EQ(heardTimeOf(10.0f, 1000000, taken(1000000 - kBytesPerSecond / 2), kBytesPerSecond), 9.5f);
    // The device at the block's end: the block's end is heard.
    EXPECT_EQ(heardTimeOf(10.0f, 1000000, taken(1000000), kBytesPerSecond), 10.0f);
    // The device ran past what was written (an underrun): it plays stale
    // sound, and the clock does not run ahead of the music.
    EXPECT_EQ(heardTimeOf(10.0f, 1000000, taken(1000000 + 4096), kBytesPerSecond), 10.0f);
    // Stream positions past 2^32 bytes (6.8 hours): only the low 32 bits of
    // the block's end are kept, the difference is still right.
    const uint64_t consumed = (uint64_t(3) << 32) + 100;
    const uint32_t streamEnd = uint32_t(consumed + kBytesPerSecond);  // one second ahead
    EXPECT_FLOAT_EQ(heardTimeOf(50.0f, streamEnd, taken(consumed), kBytesPerSecond), 49.0f);
    // A block end that wrapped past 2^32 while the device has not yet.
    const uint64_t beforeWrap = (uint64_t(1) << 32) - 1000;
    EXPECT_FLOAT_EQ(heardTimeOf(5.0f, uint32_t(beforeWrap + 8820), taken(beforeWrap), kBytesPerSecond), 4.95f);
}

TEST(HeardTime, CountsTheUnplayedPartOfTheLastTakeAsStillToCome) {
    // A take of 4,096 bytes just ended at the block's end: the device starts
    // playing it, so the heard time is one take (23.2 ms) before the end.
    EXPECT_NEAR(heardTimeOf(10.0f, 1000000, {1000000, 4096.0}, kBytesPerSecond), 10.0 - 4096.0 / kBytesPerSecond,
                1e-6);
    // Half a second queued plus half a take being played.
    EXPECT_NEAR(heardTimeOf(10.0f, 1000000, {1000000 - kBytesPerSecond / 2, 2048.0}, kBytesPerSecond),
                9.5 - 2048.0 / kBytesPerSecond, 1e-6);
    // The take reached 100 bytes past the block (the writer fell behind) but
    // 1,000 of its bytes are still to be played: 900 bytes before the end.
    EXPECT_NEAR(heardTimeOf(10.0f, 1000000, {1000100, 1000.0}, kBytesPerSecond), 10.0 - 900.0 / kBytesPerSecond,
                1e-6);
    // Fully played past the block's end: still the block's end.
    EXPECT_EQ(heardTimeOf(10.0f, 1000000, {1000100, 50.0}, kBytesPerSecond), 10.0f);
}

TEST(HeardTime, TheLastTakeIsPlayedOverTheTimeAfterIt) {
    // 4,096 bytes at 176,400 bytes per second last 23,220 us.
    EXPECT_EQ(unplayedBytes(4096, 0, kBytesPerSecond), 4096.0);
    EXPECT_NEAR(unplayedBytes(4096, 11610, kBytesPerSecond), 4096.0 - 11610e-6 * kBytesPerSecond, 1e-6);
    EXPECT_NEAR(unplayedBytes(4096, 11610, kBytesPerSecond), 2048.0, 0.1);
    EXPECT_NEAR(unplayedBytes(4096, 23000, kBytesPerSecond), 38.8, 1e-6);
    // The next take is late: the device has played everything it took, and
    // no more.
    EXPECT_EQ(unplayedBytes(4096, 23300, kBytesPerSecond), 0.0);
    EXPECT_EQ(unplayedBytes(4096, 5000000, kBytesPerSecond), 0.0);
    // A time read just before the take: nothing of it played yet.
    EXPECT_EQ(unplayedBytes(4096, -300, kBytesPerSecond), 4096.0);
}

TEST(DevicePosition, ComesFromTheLatestTakeAndTheTimeSinceIt) {
    AudioOutput output;
    resetAudioOutput(output);
    ASSERT_TRUE(initStream(output, 44100));
    std::vector<uint8_t> device(4096);
    playRing(output.ring, device.data(), 4096);
    // Before any take was recorded: the consumed count, nothing unplayed.
    DevicePosition at = devicePosition(output, 12345);
    EXPECT_EQ(at.consumed, 4096u);
    EXPECT_EQ(at.unplayed, 0.0);

    // A take recorded just before the microsecond clock wraps, read 11,610 us
    // later, after the wrap: half of it played.
    playRing(output.ring, device.data(), 4096);
    const uint32_t takenAt = 0xFFFFFFFFu - 5000;
    recordTake(output, 4096, takenAt);
    at = devicePosition(output, takenAt + 11610);
    EXPECT_EQ(at.consumed, 8192u);
    EXPECT_NEAR(at.unplayed, 2048.0, 0.1);
    // Read with a time from just before the take: the take's start.
    at = devicePosition(output, takenAt - 40);
    EXPECT_EQ(at.unplayed, 4096.0);
    // Long after: all played, however late the next take is.
    EXPECT_EQ(devicePosition(output, takenAt + 100000).unplayed, 0.0);
    shutdown(output);
    releaseSources(output);
}

TEST(DevicePosition, ItsClockRunsWhileTheCounterIsPinned) {
    pinCounter(7);
    const uint32_t before = deviceMicros();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const uint32_t after = deviceMicros();
    unpinCounter();
    // Microseconds: at least the 5 ms slept, and far less than a second even
    // on a loaded machine.
    EXPECT_GE(after - before, 5000u);
    EXPECT_LT(after - before, 1000000u);
}

TEST(HeardTime, FallsBackUntilTheFirstBlockIsRecorded) {
    HeardMusic music;
    ASSERT_TRUE(initHeardMusic(music, 10, nullptr));
    EXPECT_EQ(heardTime(music, taken(123456), kBytesPerSecond, -0.25f), -0.25f);
    Synth synth;
    ASSERT_TRUE(prepareSynth(synth, kSong, kSongSize));
    recordBlock(music, synth, 0.5f, 2 * kBytesPerSecond);
    EXPECT_FLOAT_EQ(heardTime(music, taken(kBytesPerSecond), kBytesPerSecond, -0.25f), -0.5f);
    releaseHeardMusic(music);
}

TEST(HeardVoices, KeepsTheCallersFrameWhenNoBlockIsHeard) {
    HeardMusic music;
    ASSERT_TRUE(initHeardMusic(music, 2, nullptr));
    VoiceFrame frame{};
    frame.instrumentCount = 2;
    frame.voices[3] = VoiceState{true, 60, 100};
    EXPECT_FALSE(heardVoices(music, 1.0f, frame));
    EXPECT_EQ(frame.instrumentCount, 2u);
    EXPECT_TRUE(frame.voices[3].active);
    EXPECT_EQ(frame.voices[3].note, 60);
    releaseHeardMusic(music);
}

// The show's arrangement without a device: an output with its ring, the
// listener on it, the song registered and started, and the audio thread's
// feeding step run by hand while the test plays the device's part. Beside it
// an offline Synth with the same song stands for what is heard. The counter
// is pinned so that both Synths draw the same detunes and phases: whether a
// released voice still sounds (and so which voice the next note takes)
// depends on them.
TEST(HeardMusic, FollowsTheDeviceAndGivesTheVoicesOfTheBlockBeingHeard) {
    pinCounter(11);
    AudioOutput output;
    resetAudioOutput(output);
    ASSERT_TRUE(initStream(output, 44100));
    Synth synth;
    ASSERT_TRUE(prepareSynth(synth, kSong, kSongSize));
    const uint32_t instruments = synth.instrumentCount.load();
    HeardMusic music;
    ASSERT_TRUE(initHeardMusic(music, instruments, &output));
    ASSERT_TRUE(setBlockListener(output, listenToBlocks, &music));
    registerSource(output, synth);
    start(synth, 0.0f);
    AudioThread feeder(output);

    Synth offline;
    ASSERT_TRUE(prepareSynth(offline, kSong, kSongSize));
    start(offline, 0.0f);
    VoiceFrame expected{};
    VoiceFrame heardFrame{};

    std::vector<uint8_t> device(4096);
    int32_t compared = 0;
    int32_t withHeldNotes = 0;
    // Six seconds of device buffers of 1,024 frames, the size the show opens,
    // one every 23,220 us of a made-up clock that starts near its wrap. Each
    // take is played over the time up to the next one, so the music heard at
    // a moment is that of the stream byte the device plays then; the frame
    // loop asks at three moments between takes.
    const uint32_t clockStart = 0xFFFFFFFFu - 2000000;
    float previous = -1.0f;
    for (int32_t take = 0; take < 6 * 44100 / 1024; ++take) {
        for (int32_t i = 0; i < 100 && needsData(output); ++i) feeder.feedStep();
        playRing(output.ring, device.data(), uint32_t(device.size()));
        const uint32_t takenAt = clockStart + uint32_t(take) * 23220u;
        recordTake(output, uint32_t(device.size()), takenAt);

        for (const uint32_t after : {0u, 7000u, 19000u}) {
            const DevicePosition at = devicePosition(output, takenAt + after);
            const float heard = heardTime(music, at, kBytesPerSecond, -1.0f);
            // The song's first block went into the stream at firstSourceByte,
            // the music of time 0.
            const int64_t first = output.firstSourceByte.load();
            if (first < 0) {
                ASSERT_EQ(heard, -1.0f) << "no block yet, yet not the fallback";
                continue;
            }
            const double playing =
                double(output.ring.consumed.load()) - double(device.size()) + after * 1e-6 * kBytesPerSecond;
            const double truth = (playing - double(first)) / kBytesPerSecond;
            // Within half a millisecond: the Synth's float clock gathers a
            // little rounding; one block off would be 11.6 ms.
            ASSERT_NEAR(heard, truth, 5e-4) << "device buffer " << take << ", " << after << " us after it";
            // Between takes it moves on and never back.
            if (previous >= 0.0f) {
                ASSERT_GT(heard, previous) << "device buffer " << take << ", " << after << " us";
            }
            previous = heard;
            if (heard < 0.0f) continue;

            // The voices of the block that contains the heard time.
            while (offline.time.load() <= heard) {
                const int16_t* out = nullptr;
                renderBlock(offline, &out);
            }
            readVoiceFrame(offline, expected);
            ASSERT_TRUE(heardVoices(music, heard, heardFrame)) << "at " << heard << " s";
            ASSERT_EQ(heardFrame.instrumentCount, expected.instrumentCount);
            bool held = false;
            for (uint32_t v = 0; v < instruments * kFeedVoices; ++v) {
                ASSERT_EQ(heardFrame.voices[v].active, expected.voices[v].active)
                    << "voice " << v << " at " << heard;
                if (!expected.voices[v].active) continue;
                held = true;
                ASSERT_EQ(heardFrame.voices[v].note, expected.voices[v].note) << "voice " << v << " at " << heard;
                ASSERT_EQ(heardFrame.voices[v].velocity, expected.voices[v].velocity) << "voice " << v;
            }
            ++compared;
            withHeldNotes += held;
        }
    }
    // Most of the six seconds were heard (the first half second is the
    // ring's lead-in), and notes were held in them.
    EXPECT_GT(compared, 600);
    EXPECT_GT(withHeldNotes, 300);

    shutdown(output);
    releaseSources(output);
    releaseHeardMusic(music);
    unpinCounter();
}

TEST(PictureClock, FollowsTheHeardTimeButNeverGoesBack) {
    // Heard times as the frame loop sees them: moving on, stepping back by a
    // little (float rounding of a new block's end, or the hand-over from the
    // Synth's clock to the first recorded block), then on again.
    const float delay = 0.17f;
    float clock = -delay;
    float largestBack = 0.0f;
    float previous = clock;
    for (const float heard : {0.0f, 0.005f, 0.0231f, 0.0229f, 0.0230f, 0.05f, 0.0499f, 0.0601f}) {
        clock = nextPictureClock(clock, heard, delay);
        largestBack = std::max(largestBack, previous - clock);
        // It is never behind the heard time less the delay, and it catches
        // up as soon as the heard time is past where it stopped.
        EXPECT_GE(clock, heard - delay) << heard;
        previous = clock;
    }
    EXPECT_EQ(largestBack, 0.0f);
    EXPECT_FLOAT_EQ(clock, 0.0601f - delay);
}
