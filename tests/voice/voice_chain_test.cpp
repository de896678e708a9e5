// How an Instrument's render drives a voice's oscillator, noise and filter
// slots: the wavetable refresh rhythm and brightness, which parameters and
// filter designs each slot gets, and the noise as the block's first signal.
#include <gtest/gtest.h>

#include <xmmintrin.h>

#include "tests/voice/voice_rig_support.h"
#include "voice/instrument.h"
#include "voice/synth_tables.h"
#include "runtime/params.h"

namespace {

float lane0(__m128 v) {
    return _mm_cvtss_f32(v);
}

class VoiceChain : public InstrumentRig {
protected:
    VoiceChain() : InstrumentRig(4242) {}
    void SetUp() override {
        InstrumentRig::SetUp();
        if (instrument == nullptr) return;
        instrument->params[kVoiceLevel] = 0.5f;  // voice level, gain 1
        instrument->params[kOscPartials] = 0.3f;
        instrument->params[kOscLevel] = 0.5f;
        instrument->params[kOscBalance] = 0.5f;
        instrument->params[kOscOctave] = 0.5f;
        instrument->params[kNoiseWidth] = 1.0f;  // noise unfiltered when it plays
    }
};

}  // namespace

// The phase pattern turns by P4^3 x 0.01 at each refresh, so the rotation
// shows exactly which blocks refreshed: the first after note-on and every
// fourth after it. The bins filled follow the voice's pitch.
TEST_F(VoiceChain, WavetableRefreshesEveryFourthBlockWithPitchDependentBins) {
    instrument->params[kOscMotion] = 1.0f;
    noteOn(*instrument, 24, 80);  // 32.7 Hz: b = (1 - 24.7 x 0.0005)^3, 493 bins
    OscState& osc = instrument->voices[0].osc;
    osc.rotation = 50.0f;
    float expected = 50.0f;
    for (uint32_t block = 1; block <= 9; ++block) {
        renderOnce();
        if (block % 4 == 1) expected += 0.01f;
        ASSERT_EQ(osc.rotation, expected) << "block " << block;
    }
    EXPECT_EQ(osc.cachedBins, 493u);

    // 1046.5 Hz keeps b = 0.4807^3 = 0.111 (56 bins); from about 2 kHz on only 4.
    const struct {
        int32_t note;
        uint32_t bins;
    } cases[] = {{84, 56u}, {96, 4u}, {127, 4u}};
    for (const auto& c : cases) {
        allNotesOff(*instrument);
        instrument->voices[0].sounding = false;
        noteOn(*instrument, c.note, 80);
        renderOnce();
        EXPECT_EQ(instrument->voices[0].osc.cachedBins, c.bins) << "note " << c.note;
    }
}

// Each slot reads its own switch, cutoff and resonance and gets its own
// design; the notch alone runs the delayed form (it fills the third input
// history), and slots that are off are not touched.
TEST_F(VoiceChain, EachFilterSlotGetsItsParametersDesignAndMode) {
    const struct {
        uint32_t slot, switchParam;
        float cutoff, resonance;
        uint32_t type;
    } slots[] = {{kLowPassSlot, kLowPassOn, 0.61f, 0.42f, kFilterLadder},
                 {kHighPassSlot, kHighPassOn, 0.17f, 0.33f, kFilterHighPass},
                 {kBandPassSlot, kBandPassOn, 0.44f, 0.71f, kFilterBandPass},
                 {kNotchSlot, kNotchOn, 0.29f, 0.56f, kFilterNotch}};
    for (const auto& s : slots) {
        SCOPED_TRACE(s.slot);
        TearDown();
        SetUp();
        instrument->params[s.switchParam] = 1.0f;
        instrument->params[s.switchParam + 1] = s.cutoff;
        instrument->params[s.switchParam + 2] = s.resonance;
        noteOn(*instrument, 60, 80);
        renderOnce();

        FilterState expected;
        setFilter(expected, 44100, s.cutoff, s.resonance, s.type);
        const Voice& voice = instrument->voices[0];
        for (uint32_t other = 0; other < 4; ++other) {
            const FilterState& state = *voice.filters[other];
            const bool on = other == s.slot;
            EXPECT_EQ(state.k, on ? expected.k : 0.0f) << other;
            EXPECT_EQ(state.p, on ? expected.p : 0.0f) << other;
            EXPECT_EQ(state.r, on ? expected.r : 0.0f) << other;
            EXPECT_EQ(state.a1, on ? expected.a1 : 0.0f) << other;
            EXPECT_EQ(state.a2, on ? expected.a2 : 0.0f) << other;
            EXPECT_EQ(state.b0, on ? expected.b0 : 0.0f) << other;
            EXPECT_EQ(state.b1, on ? expected.b1 : 0.0f) << other;
            EXPECT_EQ(state.b2, on ? expected.b2 : 0.0f) << other;
            EXPECT_EQ(lane0(state.x3) != 0.0f, on && s.type == kFilterNotch) << other;
            const bool ran = lane0(state.ladderY4) != 0.0f || lane0(state.y1) != 0.0f;
            EXPECT_EQ(ran, on) << other;
        }
    }
}

// The noise writes the voice buffers before anything else: at velocity 80
// and voice gain 1 the bus is the table times P17 x 80/128, and once the
// voice is released its noise clears the buffers, so the last block of a
// silent oscillator is silent instead of repeating the previous noise.
TEST_F(VoiceChain, NoiseIsTheFirstSignalAndClearsTheBuffersWhenQuiet) {
    instrument->params[kOscLevel] = 0.0f;  // oscillator adds nothing
    instrument->params[kNoiseLevel] = 0.5f;
    noteOn(*instrument, 60, 80);
    const uint32_t posL = instrument->voices[0].noise.posL;
    const uint32_t posR = instrument->voices[0].noise.posR;
    renderOnce();
    const float level = 0.5f * (80.0f * 0.0078125f);
    for (uint32_t i = 0; i < kFrames; i += 37) {
        ASSERT_EQ(busL[i], tables->noiseTable[(posL + i) & 65535] * level) << i;
        ASSERT_EQ(busR[i], tables->noiseTable[(posR + i) & 65535] * level) << i;
    }

    noteOff(*instrument, 60);  // still sounding: rendered once more with amp 0
    ASSERT_TRUE(instrument->voices[0].sounding);
    renderOnce();
    for (uint32_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(busL[i], 0.0f) << i;
        ASSERT_EQ(busR[i], 0.0f) << i;
    }
}
