// Chorus: block-rate delay times from the LFOs, then each channel through its
// three lines in turn.
#include "effects/chorus.h"

#include "runtime/math.h"
#include "runtime/random.h"
#include "runtime/params.h"

namespace {

}  // namespace

EffectUnit* createChorus() {
    Chorus* unit = allocateUnit<Chorus>();
    if (unit == nullptr) return nullptr;
    for (DelayLine& line : unit->lines) initDelayLine(line, true);
    Random random;
    random.seedFromClock();
    for (float& phase : unit->phases) phase = random.nextUnit();
    return unit;
}

void processChorus(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                   float* busR, uint32_t count) {
    auto* chorus = static_cast<Chorus*>(unit);
    const float rate = params[kChorusRate];
    // Radians per block: rate^2 x 50 rad/s, rounded to a float once.
    const float phaseStep =
        float((long double)rate * rate / (long double)sampleRate * (long double)count * 50.0L);
    const float level = params[kChorusLevel] * 0.7f;
    const float depth = params[kChorusDepth];
    for (int i = 0; i < kChorusLines; ++i) {
        // The clamp holds the sweep inside 1..10 ms whatever the depth.
        const float ms = clamp(1.0f, (sinRad(chorus->phases[i]) + 0.5f) * depth * 9.0f + 1.0f, 10.0f);
        setTime(chorus->lines[i], sampleRate, ms);
        processDelayLine(chorus->lines[i], (i & 1) ? busR : busL, count, level);
        chorus->phases[i] += phaseStep;
    }
}
