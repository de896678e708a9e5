// The Synth and its block renderer: lifecycle and clock, song loading and
// rejection, note dispatch at block boundaries, the master stage, stop and
// start hand-over, determinism and the allocation-free render path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "data/song.h"
#include "effects/waveshaper.h"
#include "runtime/counter.h"
#include "runtime/math.h"
#include "runtime/memory.h"
#include "synth/song_encoder.h"
#include "synth/synth.h"
#include "runtime/params.h"

namespace {

constexpr float kBlockSeconds = 0.011609977f;  // 512 / 44100 as a float

// An audible plain tone: one oscillator copy, 16 voices, no envelopes.
InstrumentBytes toneBytes() {
    InstrumentBytes p{};
    p[kVoiceLevel] = 50;    // voice level, gain 1
    p[kOscPartials] = 20;    // partials
    p[kOscLevel] = 50;    // oscillator level
    p[kOscBalance] = 50;    // balance centred
    p[kOscOctave] = 50;    // octave as played
    p[kVoicePolyphony] = 100;  // 16 voices
    return p;
}

std::vector<uint8_t> songOf(const std::vector<std::vector<SongStep>>& tracks, uint16_t tempo = 115) {
    SongSource source;
    source.tempo = tempo;
    source.tracks = tracks;
    source.instruments.assign(tracks.size(), toneBytes());
    return encodeSong(source);
}

std::unique_ptr<Synth> makeSynth() {
    auto synth = std::make_unique<Synth>();
    init(*synth);
    setSampleRate(*synth, 44100);
    return synth;
}

// One block; the returned pointer is null when no block was rendered.
const int16_t* block(Synth& synth) {
    const int16_t* out = nullptr;
    renderBlock(synth, &out);
    return out;
}

int activeWithNote(const Instrument& instrument, int32_t note) {
    int n = 0;
    for (const Voice& v : instrument.voices) n += (voiceActive(v) && voiceNote(v) == note) ? 1 : 0;
    return n;
}

int activeVoices(const Synth& synth) {
    int n = 0;
    for (const auto& slot : synth.instruments) {
        const Instrument* instrument = slot.load();
        if (instrument == nullptr) continue;
        for (const Voice& v : instrument->voices) n += voiceActive(v) ? 1 : 0;
    }
    return n;
}

class SynthTest : public ::testing::Test {
protected:
    void SetUp() override { pinCounter(5); }
    void TearDown() override { unpinCounter(); }
};

TEST_F(SynthTest, NothingIsRenderedBeforeStartAndTheClockStands) {
    auto synth = makeSynth();
    const auto song = songOf({{{0, 60, 80}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    const int16_t sentinel[1] = {7};
    for (int i = 0; i < 3; ++i) {
        const int16_t* out = sentinel;
        renderBlock(*synth, &out);
        EXPECT_EQ(out, sentinel);
    }
    EXPECT_EQ(synth->time.load(), 0.0f);
    EXPECT_EQ(activeVoices(*synth), 0);
}

TEST_F(SynthTest, EachBlockAdvancesTheClockByOneRoundedBlock) {
    auto synth = makeSynth();
    start(*synth, 0.0f);
    EXPECT_EQ(block(*synth), synth->output);
    EXPECT_EQ(synth->time.load(), kBlockSeconds);

    start(*synth, 100.0f);
    block(*synth);
    EXPECT_EQ(synth->time.load(), float(100.0L + 512.0L / 44100.0L));
}

TEST_F(SynthTest, LoadSongFillsInstrumentsAndTracks) {
    auto synth = makeSynth();
    auto source = SongSource{};
    source.tempo = 115;
    source.instruments = {toneBytes(), toneBytes()};
    source.instruments[1][3] = 100;
    source.tracks = {{{0, 60, 80}, {6, 60, 0}}, {{2, 40, 80}}};
    const auto song = encodeSong(source);
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.5f));

    EXPECT_EQ(synth->instrumentCount.load(), 2u);
    for (uint32_t i = 2; i < kTrackCount; ++i) {
        EXPECT_EQ(synth->instruments[i].load(), nullptr);
        EXPECT_EQ(synth->tracks[i].count, 0u);
    }
    const Instrument* second = synth->instruments[1].load();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->params[kOscRolloff], 1.0f);
    EXPECT_EQ(second->params[kOscPartialWidth], 0.0f);
    EXPECT_EQ(second->params[kVoiceLevel], 0.5f);
    ASSERT_EQ(synth->tracks[0].count, 2u);
    EXPECT_EQ(synth->tracks[0].at<NoteEvent>(0).time, 0.5f);
    EXPECT_EQ(synth->tracks[0].at<NoteEvent>(1).velocity, 0);
    EXPECT_EQ(synth->tracks[1].at<NoteEvent>(0).note, 40);
    EXPECT_FALSE(synth->playing.load());  // loading never starts the music
}

TEST_F(SynthTest, LoadingNothingEmptiesTheSynth) {
    auto synth = makeSynth();
    const auto song = songOf({{{0, 60, 80}}, {{0, 62, 80}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    EXPECT_TRUE(loadSong(*synth, nullptr, 0, 0.0f));
    EXPECT_EQ(synth->instrumentCount.load(), 0u);
    for (uint32_t i = 0; i < kTrackCount; ++i) {
        EXPECT_EQ(synth->instruments[i].load(), nullptr);
        EXPECT_EQ(synth->tracks[i].count, 0u);
    }
}

TEST_F(SynthTest, BadSongDataIsRejectedAndThePreviousSongStays) {
    auto synth = makeSynth();
    const auto good = songOf({{{0, 60, 80}, {4, 60, 0}}, {{0, 62, 80}}});
    ASSERT_TRUE(loadSong(*synth, good.data(), uint32_t(good.size()), 0.0f));
    Instrument* first = synth->instruments[0].load();

    const auto other = songOf({{{0, 70, 80}}, {{0, 71, 80}}, {{0, 72, 80}}});
    for (uint32_t cut : {1u, 10u, uint32_t(other.size()) - 1}) {
        EXPECT_FALSE(loadSong(*synth, other.data(), cut, 0.0f)) << "cut at " << cut;
        EXPECT_EQ(synth->instrumentCount.load(), 2u);
        EXPECT_EQ(synth->instruments[0].load(), first);
        EXPECT_EQ(synth->instruments[2].load(), nullptr);
        EXPECT_EQ(synth->tracks[0].count, 2u);
        EXPECT_EQ(synth->tracks[0].at<NoteEvent>(0).note, 60);
    }
    // The kept song still plays.
    start(*synth, 0.0f);
    block(*synth);
    EXPECT_EQ(activeWithNote(*first, 60), 1);
}

// A start time whose block ends exactly at `boundary`, searched within a
// few hundred ulps of boundary - one block.
bool startEndingAt(float boundary, float* startTime) {
    float c = boundary - kBlockSeconds;
    for (int i = 0; i < 200; ++i) c = std::nextafter(c, -1e9f);
    for (int i = 0; i < 400; ++i, c = std::nextafter(c, 1e9f)) {
        if (float((long double)c + 512.0L / 44100.0L) == boundary) {
            *startTime = c;
            return true;
        }
    }
    return false;
}

TEST_F(SynthTest, EventsAtTheBlockStartPlayNowAndAtTheBlockEndPlayNext) {
    auto synth = makeSynth();
    const auto song = songOf({{{4, 60, 80}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    const float eventTime = synth->tracks[0].at<NoteEvent>(0).time;
    Instrument& instrument = *synth->instruments[0].load();

    start(*synth, eventTime);
    block(*synth);
    EXPECT_EQ(activeWithNote(instrument, 60), 1);

    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    Instrument& fresh = *synth->instruments[0].load();
    float startTime = 0.0f;
    ASSERT_TRUE(startEndingAt(eventTime, &startTime));
    start(*synth, startTime);
    block(*synth);
    EXPECT_EQ(synth->time.load(), eventTime);
    EXPECT_EQ(activeWithNote(fresh, 60), 0);
    block(*synth);
    EXPECT_EQ(activeWithNote(fresh, 60), 1);
}

TEST_F(SynthTest, EventsBeforeTheStartTimeNeverPlay) {
    auto synth = makeSynth();
    const auto song = songOf({{{0, 60, 80}, {8, 62, 80}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    Instrument& instrument = *synth->instruments[0].load();
    start(*synth, 0.5f);  // after the first event, before the second (1.04 s)
    for (int i = 0; i < 100; ++i) block(*synth);
    EXPECT_EQ(activeWithNote(instrument, 60), 0);
    EXPECT_EQ(activeWithNote(instrument, 62), 1);
}

TEST_F(SynthTest, AClockMovedBackPlaysTheEarlierEventsAgain) {
    // Twenty notes a step apart, each ended a step later; started late, then
    // moved back to the beginning: every note comes when its time does.
    std::vector<SongStep> steps;
    for (uint8_t i = 0; i < 20; ++i) {
        steps.push_back({0, uint8_t(40 + i), 80});
        steps.push_back({1, uint8_t(40 + i), 0});
    }
    auto synth = makeSynth();
    const auto song = songOf({steps});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    Instrument& instrument = *synth->instruments[0].load();
    const DynArray& track = synth->tracks[0];
    auto playFrom = [&](float from, uint32_t firstNote) {
        start(*synth, from);
        for (uint32_t n = firstNote; n < 60; ++n) {
            const float on = track.at<NoteEvent>(2 * (n - 40)).time;
            while (synth->time.load() <= on) block(*synth);
            EXPECT_EQ(activeWithNote(instrument, int32_t(n)), 1) << "from " << from << ", note " << n;
            EXPECT_EQ(activeWithNote(instrument, int32_t(n) - 1), 0) << "from " << from << ", note " << n;
        }
    };
    playFrom(track.at<NoteEvent>(20).time, 50);
    stop(*synth);
    playFrom(0.0f, 40);
}

TEST_F(SynthTest, NoteOffThenOnOfTheSameStepRestartsTheNoteInOneBlock) {
    auto synth = makeSynth();
    const auto song = songOf({{{0, 60, 80}, {4, 60, 0}, {0, 60, 80}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    Instrument& instrument = *synth->instruments[0].load();
    const float restart = synth->tracks[0].at<NoteEvent>(1).time;
    start(*synth, 0.0f);
    block(*synth);
    ASSERT_EQ(activeWithNote(instrument, 60), 1);
    ASSERT_TRUE(instrument.voices[0].sounding);
    while (synth->time.load() <= restart) block(*synth);

    // The old voice was released (and still rings), the new one just started.
    EXPECT_FALSE(voiceActive(instrument.voices[0]));
    EXPECT_EQ(activeWithNote(instrument, 60), 1);
    EXPECT_TRUE(voiceActive(instrument.voices[1]));
    EXPECT_EQ(instrument.voices[1].age, 1u);
}

TEST_F(SynthTest, EventsWithNoteZeroChangeNothing) {
    auto synth = makeSynth();
    const auto song = songOf({{{0, 0, 80}, {1, 0, 0}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    start(*synth, 0.0f);
    for (int i = 0; i < 30; ++i) block(*synth);
    EXPECT_EQ(activeVoices(*synth), 0);
}

TEST(MasterStage, ScalesClipsAndTruncatesIntoInterleavedFrames) {
    alignas(16) float mixL[kBlockFrames] = {};
    alignas(16) float mixR[kBlockFrames] = {};
    alignas(16) int16_t out[kBlockFrames * 2];
    // A NaN is silence, not a full-scale offset; infinities clip like any loud value.
    const float values[] = {1.0f,     -1.0f, 0.00124f, 50.0f, -50.0f, -0.00124f, 40.95875f, std::nanf(""),
                            INFINITY, -INFINITY};
    const int16_t expected[] = {800, -800, 0, 32767, -32768, 0, 32767, 0, 32767, -32768};
    for (uint32_t i = 0; i < 10; ++i) {
        mixL[i + 500] = values[i];
        mixR[i + 100] = values[i];
    }
    masterStage(mixL, mixR, out, 0.4f * 2000.0f);
    for (uint32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(out[2 * (i + 500)], expected[i]) << "left " << values[i];
        EXPECT_EQ(out[2 * (i + 100) + 1], expected[i]) << "right " << values[i];
        EXPECT_EQ(out[2 * (i + 500) + 1], 0);
    }
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2 * kBlockFrames - 1], 0);
}

TEST_F(SynthTest, StopReleasesEveryVoiceAndSilencesTheRenderer) {
    auto synth = makeSynth();
    start(*synth, 0.0f);
    stop(*synth);  // nothing loaded: only the flag
    EXPECT_FALSE(synth->playing.load());

    const auto song = songOf({{{0, 60, 80}, {0, 64, 80}}, {{0, 40, 80}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    start(*synth, 0.0f);
    block(*synth);
    ASSERT_EQ(activeVoices(*synth), 3);
    stop(*synth);
    EXPECT_FALSE(synth->playing.load());
    EXPECT_EQ(activeVoices(*synth), 0);
    const float time = synth->time.load();
    EXPECT_EQ(block(*synth), nullptr);
    EXPECT_EQ(synth->time.load(), time);
}

// While the audio thread is inside a block (it holds voiceWork), start and
// stop only post requests; the thread applies them when the block ends.
TEST_F(SynthTest, StartAndStopDuringABlockTakeEffectRightAfterIt) {
    auto synth = makeSynth();
    const auto song = songOf({{{0, 60, 80}}});
    ASSERT_TRUE(loadSong(*synth, song.data(), uint32_t(song.size()), 0.0f));
    start(*synth, 0.0f);
    block(*synth);
    Instrument& instrument = *synth->instruments[0].load();
    ASSERT_EQ(activeWithNote(instrument, 60), 1);

    ASSERT_TRUE(beginBlockWork(*synth));  // as the audio thread at a block start
    stop(*synth);
    EXPECT_TRUE(synth->playing.load());   // the block in progress is untouched
    EXPECT_EQ(activeWithNote(instrument, 60), 1);
    EXPECT_EQ(block(*synth), nullptr);    // a second renderer never enters
    endBlockWork(*synth);
    EXPECT_FALSE(synth->playing.load());
    EXPECT_EQ(activeWithNote(instrument, 60), 0);

    // Requests apply in the order they were made.
    ASSERT_TRUE(beginBlockWork(*synth));
    start(*synth, 3.0f);
    stop(*synth);
    endBlockWork(*synth);
    EXPECT_FALSE(synth->playing.load());

    ASSERT_TRUE(beginBlockWork(*synth));
    stop(*synth);
    start(*synth, 3.0f);
    endBlockWork(*synth);
    EXPECT_TRUE(synth->playing.load());
    EXPECT_EQ(synth->time.load(), 3.0f);
}

TEST_F(SynthTest, RenderingIsBitIdenticalWithThePinnedCounter) {
    std::vector<int16_t> runs[2];
    for (auto& run : runs) {
        pinCounter(31337);
        auto synth = makeSynth();
        ASSERT_TRUE(loadSong(*synth, kSong, kSongSize, 0.0f));
        synth->masterVolume = 0.4f;
        start(*synth, 33.0f);  // everything plays here
        for (int b = 0; b < 150; ++b) {
            const int16_t* out = block(*synth);
            ASSERT_NE(out, nullptr);
            run.insert(run.end(), out, out + 2 * kBlockFrames);
        }
    }
    ASSERT_EQ(runs[0].size(), runs[1].size());
    EXPECT_EQ(std::memcmp(runs[0].data(), runs[1].data(), runs[0].size() * sizeof(int16_t)), 0);
    int64_t energy = 0;
    for (int16_t s : runs[0]) energy += std::abs(s);
    EXPECT_GT(energy, 0);
}

TEST_F(SynthTest, ASynthLeftAtItsDefaultMasterVolumePlaysAtAQuarterOfTheShowsLevel) {
    // init sets the master volume to 0.1 (a master gain of 200), the show
    // 0.4: the same blocks differ by four, less what the truncation to 16 bits
    // takes (under one step before the factor, so under four after it).
    std::vector<int16_t> runs[2];
    for (int r = 0; r < 2; ++r) {
        pinCounter(31337);
        auto synth = makeSynth();
        ASSERT_TRUE(loadSong(*synth, kSong, kSongSize, 0.0f));
        if (r == 1) synth->masterVolume = 0.4f;
        start(*synth, 33.0f);
        for (int b = 0; b < 40; ++b) {
            const int16_t* out = block(*synth);
            ASSERT_NE(out, nullptr);
            runs[r].insert(runs[r].end(), out, out + 2 * kBlockFrames);
        }
    }
    int compared = 0;
    for (size_t i = 0; i < runs[0].size(); ++i) {
        if (std::abs(runs[1][i]) >= 32767) continue;  // clipped at the show's level
        ASSERT_LT(std::abs(4 * runs[0][i] - runs[1][i]), 4) << "sample " << i;
        compared += runs[1][i] != 0;
    }
    EXPECT_GT(compared, 10000);
}

TEST_F(SynthTest, TheRenderPathAllocatesNothingAfterWarmUp) {
    auto synth = makeSynth();
    ASSERT_TRUE(loadSong(*synth, kSong, kSongSize, 0.0f));
    start(*synth, 33.0f);
    for (int b = 0; b < 20; ++b) block(*synth);  // effect units are made here
    const uint64_t before = allocationCount();
    int voices = 0;
    for (int b = 0; b < 400; ++b) {
        block(*synth);
        voices = std::max(voices, activeVoices(*synth));
    }
    EXPECT_EQ(allocationCount(), before);
    EXPECT_GE(voices, 8);  // it was busy
}

// Loading the song makes every effect unit its slots name and computes the
// waveshaper curves, so that the audio thread's first block clears no delay
// memory, allocates nothing and computes no curve entry.
TEST_F(SynthTest, LoadingTheSongMakesTheEffectUnitsSoTheFirstBlockAllocatesNothing) {
    auto synth = makeSynth();
    ASSERT_TRUE(loadSong(*synth, kSong, kSongSize, 0.0f));
    int units = 0, shapers = 0;
    for (uint32_t i = 0; i < synth->instrumentCount.load(); ++i) {
        const Instrument& instrument = *synth->instruments[i].load();
        for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
            const int32_t wanted = roundParam(10.0f * instrument.params[kFx0Type + s]);
            EXPECT_EQ(instrument.effectTypes[s], wanted) << "instrument " << i << " slot " << s;
            EXPECT_EQ(instrument.effectUnits[s] != nullptr, wanted != 0) << "instrument " << i << " slot " << s;
            units += wanted != 0;
            if (wanted != 1 || instrument.effectUnits[s] == nullptr) continue;
            const auto& shaper = *static_cast<const Waveshaper*>(instrument.effectUnits[s]);
            const float a = 1.0f - std::min(instrument.params[kShaperAmount], 1.0f);
            for (uint32_t e = 0; e < kWaveshaperCurveSize; ++e)
                ASSERT_EQ(shaper.curve[e], power(float(e) * (1.0f / 32768.0f), a)) << "instrument " << i << " entry " << e;
            ++shapers;
        }
    }
    EXPECT_GE(units, 10);
    EXPECT_GE(shapers, 2);
    start(*synth, 0.0f);
    const uint64_t before = allocationCount();
    for (int b = 0; b < 5; ++b) ASSERT_NE(block(*synth), nullptr);
    EXPECT_EQ(allocationCount(), before);
}

}  // namespace
