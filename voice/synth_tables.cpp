// Table build. The draw order (phase sines interleaved with the sine and
// decay loop, then note frequencies, step values, noise) fixes which random
// number lands where, so it must not change.
#include "voice/synth_tables.h"

#include "runtime/math.h"
#include "runtime/random.h"

void buildSynthTables(SynthTables& tables) {
    Random random;
    random.seedFromClock();

    for (uint32_t i = 0; i < kTableSize; ++i) {
        tables.phaseSines[i] = sinRad(random.range(0.0f, 6.2831855f));
        // The angle is built as two halves of i/4096 * pi: this rounds the
        // same way as the stored tables always have, slightly off 2pi i/4096.
        const float half = float(i) / 4096.0f * 3.1415927f;
        tables.sine[i] = sinRad(half + half);
        tables.decay[i] = exponential(float(i) * -0.001220703125f);
    }

    // Running product in double, rounded per entry: note 69 lands at
    // 440.00146 Hz, not exactly 440, and every song is tuned to that.
    double frequency = 8.175800049786536;
    for (uint32_t n = 0; n < kNoteCount; ++n) {
        tables.noteFrequency[n] = float(frequency);
        frequency *= 1.0594631433486938;
    }

    for (uint32_t i = 0; i < kStepValueCount; ++i) tables.stepValues[i] = random.nextUnit();

    // 10923 * 0.00018311106 is about 2, and 1 - 2^-15 centres the range.
    for (uint32_t i = 0; i < kNoiseTableSize; ++i)
        tables.noiseTable[i] = random.nextUnit() * 10923.0f * 0.00018311106f - 0.999969482421875f;
}
