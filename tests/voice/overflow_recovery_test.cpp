// What happens when an instrument's sound stops being a number: its bus is
// silenced for that block, every voice and effect memory is forgotten, and
// the next note sounds again. And over every parameter's whole byte range, no
// instrument leaves infinities or NaN in its bus or stays stuck afterwards.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/voice/voice_rig_support.h"
#include "voice/filter.h"
#include "voice/instrument.h"

namespace {

// A plain audible tone through the low-pass ladder, then a stereo delay
// (type 2) and a reverb (type 5): memories in the voice and in the effects.
void setToneWithMemories(float* params) {
    for (uint32_t i = 0; i < kParamCount; ++i) params[i] = 0.0f;
    params[0] = 0.5f;   // voice level, gain 1
    params[2] = 0.2f;   // some partials
    params[5] = 0.5f;   // oscillator level
    params[6] = 0.5f;   // centred
    params[8] = 0.5f;   // octave as played
    params[12] = 1.0f;  // 16 voices
    params[20] = 1.0f;  // low-pass on
    params[21] = 0.6f;  // cutoff
    params[74] = 0.2f;  // effect slot 0: stereo delay
    params[75] = 0.5f;  // effect slot 1: reverb
}

class OverflowRecovery : public InstrumentRig {
protected:
    OverflowRecovery() : InstrumentRig(31) {}
    bool busFinite() const {
        for (uint32_t i = 0; i < kFrames; ++i)
            if (!std::isfinite(busL[i]) || !std::isfinite(busR[i])) return false;
        return true;
    }
    float busPeak() const {
        float peak = 0.0f;
        for (uint32_t i = 0; i < kFrames; ++i) peak = std::fmax(peak, std::fmax(std::fabs(busL[i]), std::fabs(busR[i])));
        return peak;
    }
    bool anyVoiceBusy() const {
        for (const Voice& v : instrument->voices)
            if (voiceActive(v) || v.sounding) return true;
        return false;
    }
};

}  // namespace

TEST_F(OverflowRecovery, ANaNInAVoiceFilterIsForgottenAndTheNextNoteSounds) {
    setToneWithMemories(instrument->params);
    noteOn(*instrument, 60, 100);
    for (int b = 0; b < 8; ++b) renderOnce();
    ASSERT_TRUE(busFinite());
    ASSERT_GT(busPeak(), 0.01f);
    ASSERT_NE(instrument->effectUnits[0], nullptr);

    // The ladder's history turns NaN (as after an overflow): it would feed
    // itself NaN for ever, and the delay and reverb after it would keep it.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (Voice& voice : instrument->voices) voice.filters[kLowPassSlot]->ladderY1 = _mm_set1_ps(nan);
    renderOnce();
    EXPECT_TRUE(busFinite()) << "the block that went bad reaches the mix";
    EXPECT_EQ(busPeak(), 0.0f) << "the block that went bad is silenced";
    EXPECT_FALSE(anyVoiceBusy());
    for (const EffectUnit* unit : instrument->effectUnits) EXPECT_EQ(unit, nullptr) << "effect memories kept";

    // The next note is heard again, and nothing bad comes back through the
    // remade effect units, block after block.
    noteOn(*instrument, 64, 100);
    float loudest = 0.0f;
    for (int b = 0; b < 40; ++b) {
        renderOnce();
        ASSERT_TRUE(busFinite()) << "block " << b;
        loudest = std::fmax(loudest, busPeak());
    }
    EXPECT_GT(loudest, 0.01f);
    EXPECT_NE(instrument->effectUnits[0], nullptr);
    EXPECT_NE(instrument->effectUnits[1], nullptr);
}

TEST_F(OverflowRecovery, AnInfiniteLevelIsSilencedInsteadOfLatching) {
    setToneWithMemories(instrument->params);
    instrument->params[0] = std::numeric_limits<float>::max();  // voice gain overflows to infinity
    noteOn(*instrument, 60, 100);
    for (int b = 0; b < 4; ++b) {
        renderOnce();
        EXPECT_TRUE(busFinite()) << "block " << b;
        if (b > 0) {
            EXPECT_EQ(busPeak(), 0.0f) << "block " << b;
        }
    }
    instrument->params[0] = 0.5f;
    noteOn(*instrument, 60, 100);
    float loudest = 0.0f;
    for (int b = 0; b < 20; ++b) {
        renderOnce();
        ASSERT_TRUE(busFinite());
        loudest = std::fmax(loudest, busPeak());
    }
    EXPECT_GT(loudest, 0.01f);
}

// Every parameter over all 256 byte values, with a few notes, the others at
// a plain tone: the bus stays finite (an overflow is silenced), and with the
// parameter back at its tone value the next note sounds. Under
// AddressSanitizer this is also the check that no byte value reads outside a
// table or a delay line. Short blocks (128 frames) keep the 28,672 cases
// quick in sanitizer builds; every block-rate step still runs per block.
TEST_F(OverflowRecovery, EveryParameterOverItsWholeByteRangeLeavesNoLatch) {
#ifdef __SANITIZE_THREAD__
    // One thread only: nothing for ThreadSanitizer to find, and minutes of
    // its slower code. The optimised and AddressSanitizer builds run it.
    GTEST_SKIP() << "single-threaded sweep";
#endif
    constexpr uint32_t kShortBlock = 128;
    const BusPair bus{busL, busR};
    auto renderShort = [&] {
        for (uint32_t i = 0; i < kShortBlock; ++i) busL[i] = busR[i] = 0.0f;
        render(*tables, *instrument, bus, kShortBlock);
    };
    auto finite = [&] {
        for (uint32_t i = 0; i < kShortBlock; ++i)
            if (!std::isfinite(busL[i]) || !std::isfinite(busR[i])) return false;
        return true;
    };
    auto peak = [&] {
        float most = 0.0f;
        for (uint32_t i = 0; i < kShortBlock; ++i) most = std::fmax(most, std::fmax(std::fabs(busL[i]), std::fabs(busR[i])));
        return most;
    };
    // Two chains: the tone's delay and reverb, after which a note must be
    // heard again; and every effect type at once, so that every effect
    // parameter acts (some types silence the bus with their other
    // parameters at 0, so there only finite and bounded is asked).
    for (const bool everyType : {false, true}) {
        float base[kParamCount];
        setToneWithMemories(base);
        if (everyType)
            for (uint32_t slot = 0; slot < 7; ++slot) base[74 + slot] = 0.1f * float(slot + 1);
        for (uint32_t p = 0; p < kParamCount; ++p) {
            for (uint32_t byte = 0; byte < 256; ++byte) {
                // The units and voices carry over from case to case (as in a
                // song); only a case that sets a slot's type makes new units.
                for (uint32_t i = 0; i < kParamCount; ++i) instrument->params[i] = base[i];
                instrument->params[p] = float(byte) * 0.01f;
                noteOn(*instrument, 48, 127);
                noteOn(*instrument, 67, 90);
                for (int b = 0; b < 3; ++b) {
                    if (b == 2) noteOff(*instrument, 48);
                    renderShort();
                    ASSERT_TRUE(finite()) << "P" << p << " = byte " << byte << ", block " << b;
                }
                instrument->params[p] = base[p];
                noteOn(*instrument, 60, 100);
                float loudest = 0.0f;
                for (int b = 0; b < 2; ++b) {
                    renderShort();
                    ASSERT_TRUE(finite()) << "P" << p << " = byte " << byte << " afterwards";
                    loudest = std::fmax(loudest, peak());
                }
                if (!everyType) {
                    ASSERT_GT(loudest, 0.0f) << "P" << p << " = byte " << byte << ": silent afterwards";
                }
                ASSERT_LT(loudest, 1e6f) << "P" << p << " = byte " << byte << ": stuck loud afterwards";
                allNotesOff(*instrument);
            }
        }
    }
}
