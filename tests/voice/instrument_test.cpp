// Instrument behaviour: voice allocation and stealing, note-off, glide, the
// release of a sounding voice, the effect-slot driver and its silence rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include <xmmintrin.h>

#include "effects/effect_registry.h"
#include "runtime/counter.h"
#include "runtime/memory.h"
#include "tests/voice/voice_rig_support.h"
#include "voice/instrument.h"
#include "voice/synth_tables.h"
#include "runtime/params.h"

namespace {

class InstrumentTest : public InstrumentRig {
protected:
    InstrumentTest() : InstrumentRig(99) {}
    void SetUp() override {
        InstrumentRig::SetUp();
        if (instrument == nullptr) return;
        // A plain audible tone: one copy, octave as played, no envelopes.
        instrument->params[kVoiceLevel] = 0.5f;   // voice level, gain 1
        instrument->params[kOscPartials] = 0.2f;   // some partials
        instrument->params[kOscLevel] = 0.5f;   // oscillator level
        instrument->params[kOscBalance] = 0.5f;   // centred
        instrument->params[kOscOctave] = 0.5f;   // octave multiplier 1
        instrument->params[kVoicePolyphony] = 1.0f;  // 16 voices
    }
    bool busSilent() const {
        for (uint32_t i = 0; i < kFrames; ++i)
            if (busL[i] != 0.0f || busR[i] != 0.0f) return false;
        return true;
    }
    int activeVoicesWithNote(int32_t note) const {
        int n = 0;
        for (const Voice& v : instrument->voices) n += (voiceActive(v) && voiceNote(v) == note) ? 1 : 0;
        return n;
    }
};

TEST_F(InstrumentTest, NewNotesTakeFreeVoicesInIndexOrder) {
    noteOn(*instrument, 60, 80);
    noteOn(*instrument, 61, 80);
    noteOn(*instrument, 62, 80);
    EXPECT_EQ(voiceNote(instrument->voices[0]), 60);
    EXPECT_EQ(voiceNote(instrument->voices[1]), 61);
    EXPECT_EQ(voiceNote(instrument->voices[2]), 62);
    EXPECT_EQ(voiceVelocity(instrument->voices[2]), 80);
    // Released before it ever sounded: free again, and the lowest free index.
    EXPECT_TRUE(noteOff(*instrument, 61));
    noteOn(*instrument, 70, 80);
    EXPECT_EQ(voiceNote(instrument->voices[1]), 70);
    EXPECT_TRUE(voiceActive(instrument->voices[1]));
}

TEST_F(InstrumentTest, AllVoicesBusyStealsTheOldestAndTheLowestIndexOnTies) {
    // The loaded byte 20 (20 * 0.01f = 0.19999999) gives 1 + trunc(15 *
    // 0.19999999) = 3 voices, not 4.
    instrument->params[kVoicePolyphony] = 20.0f * 0.01f;
    noteOn(*instrument, 60, 80);
    renderOnce();
    renderOnce();
    renderOnce();
    noteOn(*instrument, 61, 80);
    renderOnce();
    noteOn(*instrument, 62, 80);
    renderOnce();
    ASSERT_EQ(instrument->voices[0].age, 5u);
    ASSERT_EQ(instrument->voices[1].age, 2u);
    ASSERT_EQ(instrument->voices[2].age, 1u);

    noteOn(*instrument, 63, 80);  // voice 3 exists but lies beyond the polyphony
    EXPECT_EQ(voiceNote(instrument->voices[0]), 63);
    EXPECT_FALSE(voiceActive(instrument->voices[3]));
    noteOn(*instrument, 64, 80);
    EXPECT_EQ(voiceNote(instrument->voices[1]), 64);

    // Three fresh voices of equal age 0: the lowest index is taken.
    noteOn(*instrument, 65, 80);
    EXPECT_EQ(voiceNote(instrument->voices[2]), 65);
    noteOn(*instrument, 66, 80);
    EXPECT_EQ(voiceNote(instrument->voices[0]), 66);
}

TEST_F(InstrumentTest, PolyphonyAboveOneStopsAtTheSixteenthVoice) {
    instrument->params[kVoicePolyphony] = 2.55f;  // a parameter byte of 255
    for (int i = 0; i < 16; ++i) noteOn(*instrument, 40 + i, 80);
    for (uint32_t v = 0; v < kVoiceCount; ++v) EXPECT_EQ(voiceNote(instrument->voices[v]), int32_t(40 + v));
    noteOn(*instrument, 90, 80);
    EXPECT_EQ(voiceNote(instrument->voices[0]), 90);
}

TEST_F(InstrumentTest, NoteOffReleasesEveryActiveVoiceOfThatNoteOnly) {
    EXPECT_FALSE(noteOff(*instrument, 60));
    noteOn(*instrument, 60, 80);
    noteOn(*instrument, 60, 80);  // the same note takes a second voice
    noteOn(*instrument, 64, 80);
    EXPECT_EQ(activeVoicesWithNote(60), 2);
    EXPECT_FALSE(noteOff(*instrument, 61));
    EXPECT_EQ(activeVoicesWithNote(60), 2);
    EXPECT_TRUE(noteOff(*instrument, 60));
    EXPECT_EQ(activeVoicesWithNote(60), 0);
    EXPECT_EQ(activeVoicesWithNote(64), 1);
    EXPECT_FALSE(noteOff(*instrument, 60));  // nothing active holds it any more
}

TEST_F(InstrumentTest, MonophonicNotesReuseVoiceZeroAndGlide) {
    instrument->params[kVoicePolyphony] = 0.0f;  // one voice
    instrument->params[kVoiceGlide] = 0.5f;   // each block moves 1/6 of the way
    noteOn(*instrument, 57, 80);
    renderOnce();
    const float from = tables->noteFrequency[57];
    EXPECT_EQ(instrument->voices[0].frequency, from);  // the first note jumps

    noteOn(*instrument, 69, 80);
    EXPECT_FALSE(voiceActive(instrument->voices[1]));
    EXPECT_EQ(voiceNote(instrument->voices[0]), 69);
    const float to = tables->noteFrequency[69];
    renderOnce();
    const float first = instrument->voices[0].frequency;
    EXPECT_NEAR(first, from + (to - from) / 6.0f, 1e-3f);
    for (int i = 0; i < 200; ++i) renderOnce();
    EXPECT_NEAR(instrument->voices[0].frequency, to, 1e-2f);

    // Without glide the pitch jumps at once.
    instrument->params[kVoiceGlide] = 0.0f;
    noteOn(*instrument, 45, 80);
    renderOnce();
    EXPECT_EQ(instrument->voices[0].frequency, tables->noteFrequency[45]);
}

TEST_F(InstrumentTest, NoteNumbersAboveOneTwentySevenAreMasked) {
    noteOn(*instrument, 200, 80);
    renderOnce();
    EXPECT_EQ(instrument->voices[0].frequency, tables->noteFrequency[72]);
}

TEST_F(InstrumentTest, ReleasedVoiceFadesInOneBlockAndThenCostsNothing) {
    noteOn(*instrument, 60, 80);
    renderOnce();
    renderOnce();
    ASSERT_TRUE(instrument->voices[0].sounding);
    ASSERT_FALSE(busSilent());

    noteOff(*instrument, 60);
    renderOnce();  // amp 0: the gains ramp down to 0 over this block
    float head = 0.0f, tail = 0.0f;
    for (uint32_t i = 0; i < 64; ++i) {
        head = std::fmax(head, std::fabs(busL[i]));
        tail = std::fmax(tail, std::fabs(busL[kFrames - 64 + i]));
    }
    EXPECT_GT(head, 0.0f);
    EXPECT_LT(tail, head * 0.2f);
    for (int i = 0; i < 3 && instrument->voices[0].sounding; ++i) renderOnce();
    EXPECT_FALSE(instrument->voices[0].sounding);
    const uint32_t age = instrument->voices[0].age;
    renderOnce();
    EXPECT_TRUE(busSilent());
    EXPECT_EQ(instrument->voices[0].age, age);  // no longer rendered
}

TEST_F(InstrumentTest, AVoiceStillSoundingIsNotFreeForTheNextNote) {
    noteOn(*instrument, 60, 80);
    renderOnce();
    renderOnce();
    noteOff(*instrument, 60);
    ASSERT_TRUE(instrument->voices[0].sounding);
    noteOn(*instrument, 60, 80);  // same note, old voice still ringing out
    EXPECT_EQ(voiceNote(instrument->voices[1]), 60);
    EXPECT_TRUE(voiceActive(instrument->voices[1]));
    EXPECT_FALSE(voiceActive(instrument->voices[0]));
}

TEST_F(InstrumentTest, EffectSlotsFollowTheirTypeParameterWithinTheBlock) {
    instrument->params[kFx0Type] = 0.2f;  // slot 0: type 2
    renderOnce();
    EXPECT_EQ(instrument->effectTypes[0], 2);
    EXPECT_NE(instrument->effectUnits[0], nullptr);
    for (uint32_t s = 1; s < kEffectSlotCount; ++s) EXPECT_EQ(instrument->effectUnits[s], nullptr);

    const uint64_t before = allocationCount();
    renderOnce();
    EXPECT_EQ(allocationCount(), before);  // a live unit is reused, not remade

    instrument->params[kFx0Type] = 0.7f;  // replaced by type 7 in the same block
    renderOnce();
    EXPECT_EQ(instrument->effectTypes[0], 7);
    EXPECT_NE(instrument->effectUnits[0], nullptr);

    if (kEffectTypeCount < 10) {
        // A type the slot parameter can name but the registry has no row
        // for: the slot empties.
        instrument->params[kFx0Type] = float(kEffectTypeCount + 1) / 10.0f;
        renderOnce();
    } else {
        instrument->params[kFx0Type] = 0.0f;
        renderOnce();
    }
    EXPECT_EQ(instrument->effectTypes[0], 0);
    EXPECT_EQ(instrument->effectUnits[0], nullptr);

    instrument->params[kFx0Type] = 0.7f;
    renderOnce();
    instrument->params[kFx0Type] = 0.0f;
    renderOnce();
    EXPECT_EQ(instrument->effectTypes[0], 0);
    EXPECT_EQ(instrument->effectUnits[0], nullptr);
}

TEST_F(InstrumentTest, EffectChainSleepsAfterTwoQuietSecondsAndWakesWithANote) {
    instrument->params[kFx0Type] = 0.5f;  // a reverb
    renderOnce();
    ASSERT_EQ(instrument->effectTypes[0], 5);
    // 172 blocks of 512 frames are 1.9971 s of silence, 173 are 2.0085 s.
    for (int i = 1; i < 172; ++i) renderOnce();
    EXPECT_LT(instrument->silenceTime, 2.0f);
    renderOnce();
    EXPECT_GE(instrument->silenceTime, 2.0f);
    EXPECT_NEAR(instrument->silenceTime, 173 * 512.0f / 44100.0f, 1e-4f);

    // Asleep: a type change is not even looked at, the unit is kept.
    instrument->params[kFx0Type] = 0.2f;
    renderOnce();
    EXPECT_EQ(instrument->effectTypes[0], 5);

    noteOn(*instrument, 60, 80);
    renderOnce();
    EXPECT_EQ(instrument->silenceTime, 0.0f);
    EXPECT_EQ(instrument->effectTypes[0], 2);
}

TEST_F(InstrumentTest, ASoundOnOneSideAloneKeepsTheEffectChainAwake) {
    // A held note panned fully to one side through a reverb: the chain must
    // not fall asleep after two seconds because the other side is silent
    // (a one-sided echo or reverb tail would be cut off).
    for (const float balance : {0.0f, 1.0f}) {  // left only, right only
        InstrumentRig::TearDown();
        SetUp();
        ASSERT_NE(instrument, nullptr);
        instrument->params[kOscBalance] = balance;
        instrument->params[kFx0Type] = 0.5f;  // a reverb
        noteOn(*instrument, 60, 100);
        for (int i = 0; i < 260; ++i) renderOnce();  // 3 s
        const float* silentSide = balance < 0.5f ? busR : busL;
        const float* soundingSide = balance < 0.5f ? busL : busR;
        float silentPeak = 0.0f, soundingPeak = 0.0f;
        for (uint32_t i = 0; i < kFrames; ++i) {
            silentPeak = std::max(silentPeak, std::fabs(silentSide[i]));
            soundingPeak = std::max(soundingPeak, std::fabs(soundingSide[i]));
        }
        ASSERT_EQ(silentPeak, 0.0f) << "balance " << balance << " is not one-sided";
        ASSERT_GT(soundingPeak, 0.01f) << "balance " << balance;
        EXPECT_EQ(instrument->silenceTime, 0.0f) << "balance " << balance;
        // Awake, the chain still follows its type parameter.
        instrument->params[kFx0Type] = 0.2f;
        renderOnce();
        EXPECT_EQ(instrument->effectTypes[0], 2) << "balance " << balance << ": the chain fell asleep";
    }
}

TEST_F(InstrumentTest, FilterSlotsKeepTheirHistoryWhileSwitchedOff) {
    instrument->params[kLowPassOn] = 1.0f;  // low-pass on
    instrument->params[kLowPassCutoff] = 0.3f;
    noteOn(*instrument, 48, 80);
    renderOnce();
    const FilterState* lowPass = instrument->voices[0].filters[kLowPassSlot];
    float history[4];
    _mm_storeu_ps(history, lowPass->ladderY4);
    ASSERT_NE(history[0], 0.0f);
    instrument->params[kLowPassOn] = 0.5f;  // exactly 0.5 is off
    renderOnce();
    float after[4];
    _mm_storeu_ps(after, lowPass->ladderY4);
    EXPECT_EQ(after[0], history[0]);
    EXPECT_EQ(after[1], history[1]);
}

TEST_F(InstrumentTest, LfoPhasesSyncAtHalfAndOtherwiseContinueFromTheLastRenderedVoice) {
    // Slot 0 uses LFO 1 (so it is stepped) and aims at nothing.
    instrument->params[kMod0Source] = 1.0f / 14.0f;
    instrument->params[kLfo1Rate] = 1.0f;  // 0.5805 rad per block
    instrument->params[kLfo1Sync] = 0.5f;  // exactly 0.5: key sync still on
    noteOn(*instrument, 60, 80);
    for (int i = 0; i < 3; ++i) renderOnce();
    const float held = instrument->voices[0].mod.lfo1.phase;
    EXPECT_NEAR(held, 3 * 0.5805f, 1e-3f);
    EXPECT_EQ(instrument->lfo1Phase, held);

    noteOn(*instrument, 62, 80);
    EXPECT_EQ(instrument->voices[1].mod.lfo1.phase, 0.0f);
    renderOnce();
    // Voice 1 was rendered last, so its phase is the one kept.
    EXPECT_EQ(instrument->lfo1Phase, instrument->voices[1].mod.lfo1.phase);
    EXPECT_NE(instrument->lfo1Phase, instrument->voices[0].mod.lfo1.phase);

    instrument->params[kLfo1Sync] = 0.49f;  // free-running: continue from the kept phase
    noteOn(*instrument, 64, 80);
    EXPECT_GT(instrument->lfo1Phase, 0.0f);
    EXPECT_EQ(instrument->voices[2].mod.lfo1.phase, instrument->lfo1Phase);
}

TEST_F(InstrumentTest, AnEnvelopeInUseKeepsAReleasedVoiceUntilItsReleaseEnds) {
    // Envelope 1 on the oscillator level: instant attack, full sustain, and a
    // release of about 0.044 per block (some 23 blocks from 0.99).
    instrument->params[kMod0Source] = 3.0f / 14.0f;
    instrument->params[kMod0Amount] = 0.5f;  // amount 1
    instrument->params[kMod0Dest] = 5.0f / 39.0f;
    instrument->params[kEnv1Attack] = 0.0f;
    instrument->params[kEnv1Sustain] = 1.0f;
    instrument->params[kEnv1Release] = 0.6f;
    noteOn(*instrument, 60, 80);
    for (int i = 0; i < 3; ++i) renderOnce();
    float heldPeak = 0.0f;
    for (uint32_t i = 0; i < kFrames; ++i) heldPeak = std::fmax(heldPeak, std::fabs(busL[i]));
    ASSERT_GT(heldPeak, 0.0f);

    noteOff(*instrument, 60);
    int blocks = 0;
    while (instrument->voices[0].sounding && blocks < 100) {
        renderOnce();
        ++blocks;
        if (blocks == 10) {
            // Still at velocity level; the fading comes from the slot alone.
            float peak = 0.0f;
            for (uint32_t i = 0; i < kFrames; ++i) peak = std::fmax(peak, std::fabs(busL[i]));
            EXPECT_GT(peak, heldPeak * 0.3f);
            EXPECT_LT(peak, heldPeak * 0.9f);
        }
    }
    // A plain gate would have ended within a few blocks.
    EXPECT_GE(blocks, 20);
    EXPECT_LE(blocks, 30);
    EXPECT_EQ(instrument->voices[0].mod.env1.stage, kEnvelopeFinished);
}

TEST_F(InstrumentTest, WavetableRefreshesOnTheFirstBlockAndEveryFourthAfter) {
    instrument->params[kOscMotion] = 1.0f;  // the phase pattern turns 0.01 per refresh
    noteOn(*instrument, 60, 80);
    const OscState& osc = instrument->voices[0].osc;
    ASSERT_GE(osc.rotation, 0.00001f);  // a resting pattern would not turn
    std::vector<int> refreshed;
    for (int block = 1; block <= 9; ++block) {
        const float before = osc.rotation;
        renderOnce();
        if (osc.rotation != before) refreshed.push_back(block);
    }
    EXPECT_EQ(refreshed, (std::vector<int>{1, 5, 9}));
}

TEST_F(InstrumentTest, RenderSwitchesItsThreadToFlushToZero) {
    uint32_t before = 0, after = 0;
    std::thread thread([&] {
        _mm_setcsr(0x1F80);  // exceptions masked, denormals kept
        before = _mm_getcsr();
        renderOnce();
        after = _mm_getcsr() & ~0x3Fu;  // without the sticky exception flags
    });
    thread.join();
    EXPECT_EQ(before & 0x8000u, 0u);
    EXPECT_EQ(after, 0x9F80u);
}

// --- mixAdd -----------------------------------------------------------------

TEST(MixAdd, GainCurvePassesThroughItsKnownPoints) {
    EXPECT_EQ(mixGain(0.0f), 0.0f);
    EXPECT_EQ(mixGain(0.25f), 0.25f);
    EXPECT_EQ(mixGain(0.5f), 1.0f);
    EXPECT_EQ(mixGain(0.75f), 6.0f);
    EXPECT_EQ(mixGain(1.0f), 11.0f);
}

TEST(MixAdd, AddsScaledSourceIntoBothChannels) {
    float dl[4] = {1, 1, 1, 1}, dr[4] = {0, 0, 0, 0};
    float sl[4] = {0.5f, -0.5f, 0.25f, 0.0f}, sr[4] = {1, 2, 3, 4};
    EXPECT_TRUE(mixAdd({dl, dr}, {sl, sr}, 4, 0.75f));  // gain 6
    EXPECT_EQ(dl[0], 4.0f);
    EXPECT_EQ(dl[1], -2.0f);
    EXPECT_EQ(dl[2], 2.5f);
    EXPECT_EQ(dl[3], 1.0f);
    EXPECT_EQ(dr[3], 24.0f);
}

TEST(MixAdd, AudibilityNeedsASumAboveOne) {
    float dl[4] = {}, dr[4] = {};
    float zeros[4] = {};
    EXPECT_FALSE(mixAdd({dl, dr}, {zeros, zeros}, 4, 1.0f));

    // |left| + |right| over the block adds up to exactly 1.0: not audible.
    float sl[4] = {0.25f, -0.25f, 0.0f, 0.0f}, sr[4] = {0.125f, 0.0f, -0.375f, 0.0f};
    EXPECT_FALSE(mixAdd({dl, dr}, {sl, sr}, 4, 0.0f));
    sr[3] = 0.0001f;
    EXPECT_TRUE(mixAdd({dl, dr}, {sl, sr}, 4, 0.0f));  // gain 0 still reports the source
    EXPECT_EQ(dl[0], 0.0f);

    // n = 0 touches nothing.
    float big[1] = {100.0f};
    EXPECT_FALSE(mixAdd({dl, dr}, {big, big}, 0, 1.0f));
    EXPECT_EQ(dl[0], 0.0f);
}

// The sum may stop early once it is past 1.0, but the decision must stay the
// one of the whole sequential sum: a NaN anywhere later (in any lane of a
// vector, or in the scalar tail) still makes the block inaudible, an
// infinity keeps it audible; mixInto adds exactly what mixAdd adds.
TEST(MixAdd, DecisionIsTheWholeSumsEvenAfterTheThresholdIsPassed) {
    constexpr uint32_t n = 11;  // two vectors and a tail of three
    for (uint32_t at = 0; at < n; ++at) {
        for (bool right : {false, true}) {
            float sl[n], sr[n], dl[n] = {}, dr[n] = {};
            for (uint32_t i = 0; i < n; ++i) sl[i] = sr[i] = 0.75f;  // past 1.0 after the first frame
            (right ? sr : sl)[at] = NAN;
            EXPECT_FALSE(mixAdd({dl, dr}, {sl, sr}, n, 0.5f)) << "NaN at " << at << (right ? " right" : " left");
            (right ? sr : sl)[at] = -INFINITY;
            EXPECT_TRUE(mixAdd({dl, dr}, {sl, sr}, n, 0.5f)) << "infinity at " << at;
        }
    }
    float sl[n], sr[n], a[n] = {}, b[n] = {}, c[n] = {}, d[n] = {};
    for (uint32_t i = 0; i < n; ++i) {
        sl[i] = 0.1f * float(i) - 0.3f;
        sr[i] = 1.0f / float(i + 3);
    }
    mixAdd({a, b}, {sl, sr}, n, 0.8f);
    mixInto({c, d}, {sl, sr}, n, 0.8f);
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_EQ(a[i], c[i]);
        EXPECT_EQ(b[i], d[i]);
        EXPECT_EQ(a[i], mixGain(0.8f) * sl[i]);
    }
}

TEST_F(InstrumentTest, ReturnedLevelIsTheSequentialMeanOfTheMagnitudes) {
    // No voice sounds and no effect runs, so render leaves the bus as given
    // and returns its level. Leading silence, a -0, sign changes, values of
    // very different size (where the order of additions shows) and counts
    // that are not a multiple of four.
    for (uint32_t count : {512u, 509u, 3u}) {
        for (uint32_t i = 0; i < count; ++i) {
            busL[i] = i < 37 ? 0.0f : std::sin(0.37f * float(i)) * (i % 7 == 0 ? 3.0e4f : 1.0e-3f);
            busR[i] = i < 41 ? (i == 5 ? -0.0f : 0.0f) : -std::cos(0.11f * float(i)) * 0.25f;
        }
        float sumL = 0.0f, sumR = 0.0f;
        for (uint32_t i = 0; i < count; ++i) {
            sumL += std::fabs(busL[i]);
            sumR += std::fabs(busR[i]);
        }
        const float expected = (sumL / float(count) + sumR / float(count)) * 0.5f;
        EXPECT_EQ(render(*tables, *instrument, BusPair{busL, busR}, count), expected) << count;
    }
    // An all-zero bus is silent and counts towards the effect chain's sleep.
    for (uint32_t i = 0; i < kFrames; ++i) busL[i] = busR[i] = 0.0f;
    EXPECT_EQ(render(*tables, *instrument, BusPair{busL, busR}, kFrames), 0.0f);
    EXPECT_GT(instrument->silenceTime, 0.0f);
}

TEST(InstrumentSteps, VoicesFilteredWithAnotherInstrumentsGiveTheBitsOfRender) {
    // Two instruments alike, one rendered by render and one in the steps the
    // block renderer takes, its filters in one batch with a third
    // instrument's. Twelve notes, more than the buffers hold apart, so the
    // rest go in a turn of their own; every filter slot on; the notes
    // released half-way so that voices ring out and stop.
    auto tables = pinnedTables(31);
    Instrument* alone = createInstrument();
    Instrument* stepped = createInstrument();
    Instrument* other = createInstrument();
    ASSERT_TRUE(alone != nullptr && stepped != nullptr && other != nullptr);
    for (Instrument* instrument : {alone, stepped, other}) {
        reset(*instrument);
        float* p = instrument->params;
        p[kVoiceLevel] = 0.5f;
        p[kOscPartials] = 0.4f;
        p[kOscLevel] = 0.3f;
        p[kOscBalance] = 0.5f;
        p[kOscOctave] = 0.5f;
        p[kOscUnison] = 0.3f;
        p[kVoicePolyphony] = 1.0f;
        p[kLowPassOn] = p[kHighPassOn] = p[kBandPassOn] = p[kNotchOn] = 1.0f;
        p[kLowPassCutoff] = 0.6f;
        p[kLowPassCutoff + 1] = 0.5f;
        p[kHighPassCutoff] = 0.1f;
        p[kBandPassCutoff] = 0.5f;
        p[kNotchCutoff] = 0.3f;
    }
    other->params[kLowPassCutoff] = 0.2f;
    other->params[kBandPassOn] = 0.0f;
    for (int32_t n = 0; n < 12; ++n) {
        noteOn(*alone, 40 + 3 * n, 100);
        noteOn(*stepped, 40 + 3 * n, 100);
        if (n < 3) noteOn(*other, 60 + n, 90);
    }
    alignas(16) float aL[512], aR[512], sL[512], sR[512], oL[512], oR[512];
    for (int b = 0; b < 40; ++b) {
        if (b == 20) {
            allNotesOff(*alone);
            allNotesOff(*stepped);
        }
        for (uint32_t i = 0; i < 512; ++i) aL[i] = aR[i] = sL[i] = sR[i] = oL[i] = oR[i] = 0.0f;
        render(*tables, *alone, BusPair{aL, aR}, 512);

        VoiceBlock steppedVoices, otherVoices;
        const uint32_t steppedLater = startVoices(*tables, *stepped, 512, 0, steppedVoices);
        const uint32_t otherLater = startVoices(*tables, *other, 512, 0, otherVoices);
        if (b < 20) {
            EXPECT_LT(steppedLater, kVoiceCount) << "block " << b;
        }
        Instrument* const batched[2] = {stepped, other};
        const VoiceBlock blocks[2] = {steppedVoices, otherVoices};
        filterVoices(*tables, batched, blocks, 2, 512);
        addVoices(*stepped, steppedVoices, BusPair{sL, sR}, 512);
        finishRender(*tables, *stepped, steppedLater, BusPair{sL, sR}, 512);
        addVoices(*other, otherVoices, BusPair{oL, oR}, 512);
        finishRender(*tables, *other, otherLater, BusPair{oL, oR}, 512);
        ASSERT_TRUE(std::equal(aL, aL + 512, sL) && std::equal(aR, aR + 512, sR)) << "block " << b;
    }
    int sounding = 0;
    for (const Voice& voice : stepped->voices) sounding += voice.sounding ? 1 : 0;
    EXPECT_EQ(sounding, 0);
    for (Instrument* instrument : {alone, stepped, other}) destroyInstrument(instrument);
    unpinCounter();
}

TEST(InstrumentSteps, LongBlocksKeepEachVoiceInItsOwnPartOfTheBuffers) {
    // Blocks longer than 512 frames hold fewer voices apart, each in a
    // longer part of the voice buffers. Three voices in one instrument must
    // give the sum, in voice order, of the same voices rendered alone in
    // three twins (no effects, so the bus is just that sum).
    auto tables = pinnedTables(47);
    constexpr uint32_t kLong = 1500;
    Instrument* all = createInstrument();
    Instrument* single[3] = {createInstrument(), createInstrument(), createInstrument()};
    ASSERT_TRUE(all != nullptr && single[0] != nullptr && single[1] != nullptr && single[2] != nullptr);
    for (Instrument* instrument : {all, single[0], single[1], single[2]}) {
        reset(*instrument);
        float* p = instrument->params;
        p[kVoiceLevel] = 0.6f;
        p[kOscPartials] = 0.3f;
        p[kOscLevel] = 0.3f;
        p[kOscBalance] = 0.5f;
        p[kOscOctave] = 0.5f;
        p[kVoicePolyphony] = 1.0f;
        p[kLowPassOn] = 1.0f;
        p[kLowPassCutoff] = 0.5f;
        p[kLowPassCutoff + 1] = 0.6f;
    }
    for (int32_t n = 0; n < 3; ++n) {
        noteOn(*all, 50 + 7 * n, 100);
        noteOn(*single[n], 50 + 7 * n, 100);
    }
    std::vector<float> allL(kLong), allR(kLong), oneL(kLong), oneR(kLong), sumL(kLong), sumR(kLong);
    for (int b = 0; b < 4; ++b) {
        std::fill(allL.begin(), allL.end(), 0.0f);
        std::fill(allR.begin(), allR.end(), 0.0f);
        std::fill(sumL.begin(), sumL.end(), 0.0f);
        std::fill(sumR.begin(), sumR.end(), 0.0f);
        render(*tables, *all, BusPair{allL.data(), allR.data()}, kLong);
        for (Instrument* twin : single) {
            std::fill(oneL.begin(), oneL.end(), 0.0f);
            std::fill(oneR.begin(), oneR.end(), 0.0f);
            render(*tables, *twin, BusPair{oneL.data(), oneR.data()}, kLong);
            for (uint32_t i = 0; i < kLong; ++i) {
                sumL[i] += oneL[i];
                sumR[i] += oneR[i];
            }
        }
        ASSERT_TRUE(allL == sumL && allR == sumR) << "block " << b;
    }
    for (Instrument* instrument : {all, single[0], single[1], single[2]}) destroyInstrument(instrument);
    unpinCounter();
}

}  // namespace
