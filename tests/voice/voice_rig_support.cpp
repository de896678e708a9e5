// The voice tests' shared set-up.
#include "tests/voice/voice_rig_support.h"

#include "runtime/counter.h"

std::unique_ptr<SynthTables> pinnedTables(uint64_t seed) {
    pinCounter(seed);
    auto tables = std::make_unique<SynthTables>();
    buildSynthTables(*tables);
    tables->sampleRate = 44100;
    return tables;
}

void InstrumentRig::SetUp() {
    tables = pinnedTables(seed_);
    instrument = createInstrument();
    ASSERT_NE(instrument, nullptr);
    reset(*instrument);
}

void InstrumentRig::TearDown() {
    destroyInstrument(instrument);
    unpinCounter();
}

void InstrumentRig::renderOnce() {
    for (uint32_t i = 0; i < kFrames; ++i) busL[i] = busR[i] = 0.0f;
    render(*tables, *instrument, BusPair{busL, busR}, kFrames);
}
