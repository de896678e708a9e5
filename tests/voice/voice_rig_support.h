// What the voice tests set up alike: the shared tables built from a pinned
// counter, and a fixture holding one Instrument with a 512-frame bus.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "voice/bus_pair.h"
#include "voice/instrument.h"
#include "voice/synth_tables.h"

// Pins the counter to `seed` (the caller unpins it) and builds the tables at
// 44,100 Hz, so every random table is the same run after run.
std::unique_ptr<SynthTables> pinnedTables(uint64_t seed);

// One zero-parameter Instrument after reset, its tables from pinnedTables.
class InstrumentRig : public ::testing::Test {
protected:
    static constexpr uint32_t kFrames = 512;

    explicit InstrumentRig(uint64_t seed) : seed_(seed) {}
    void SetUp() override;
    void TearDown() override;
    // One block into a cleared bus.
    void renderOnce();

    std::unique_ptr<SynthTables> tables;
    Instrument* instrument = nullptr;
    alignas(16) float busL[kFrames];
    alignas(16) float busR[kFrames];

private:
    uint64_t seed_;
};
