// Envelopes, LFOs and the modulation matrix. Everything here runs once per
// voice per block; nothing is evaluated per sample.
#include "voice/modulation.h"

#include "runtime/math.h"
#include "runtime/params.h"
#include "voice/synth_tables.h"

namespace {

// Rates never reach log10(0): the cube of a parameter is floored here.
constexpr float kRateFloor = 0.000000001f;
// Envelope time unit per frame: 1/2000 of a block step per 512 frames at 44.1 kHz.
constexpr float kFrameUnit = 0.000000011337869f;

int32_t roundToInt(float x) {
    return int32_t(roundHalfUp(x));
}

// 0..10 from a setting in 0..1: linear 2x to 1 at the middle, then quadratic to 10.
float slotAmount(float x) {
    if (x <= 0.5f) return 2.0f * x;
    const float t = 2.0f * (x - 0.5f);
    return 1.0f + 9.0f * (t * t);
}

float logRate(float k, float x) {
    return k * logBase10(0.94f * maxOf(kRateFloor, x * x * x));
}

}  // namespace

void resetModulation(ModState& mod) {
    for (float& s : mod.scale) s = 1.0f;
}

void startModulation(ModState& mod, float lfo1Phase, float lfo2Phase) {
    mod.env1 = {0.0f, kEnvelopeAttack};
    mod.env2 = {0.0f, kEnvelopeAttack};
    mod.lfo1.phase = lfo1Phase;
    mod.lfo2.phase = lfo2Phase;
}

void releaseModulation(ModState& mod) {
    mod.env1.stage = kEnvelopeRelease;
    mod.env2.stage = kEnvelopeRelease;
}

float stepEnvelope(Envelope& env, const float* params, uint32_t base, float decayMod, uint32_t sampleRate,
                   uint32_t count) {
    const float attack = params[base];
    const float decay = params[base + 1];
    const float sustain = params[base + 2];
    const float release = params[base + 3];
    const float curve = params[base + 4];

    // Step size per block: count / 2000 at 44.1 kHz, so 0.256 for 512 frames.
    // Each stage works out only the step it takes (an extended-precision
    // logarithm each); decay and release run at a quarter of the attack's
    // speed for the same setting.
    const float k = float(sampleRate) * kFrameUnit * float(count);
    auto decayStep = [&] { return 0.25f * logRate(k, decay * decayMod); };
    // A sustain of 1 would never end the decay: hold just below it.
    const float level = minOf(sustain, 0.99f);

    float v = env.value;
    switch (env.stage) {
    case kEnvelopeAttack:
        v = v - logRate(k, attack);
        if (v >= 1.0f) {
            v = 1.0f;
            env.stage = kEnvelopeDecay;
        }
        break;
    case kEnvelopeDecay:
        if (level > v) {
            v = level;
            env.stage = kEnvelopeSustain;
            break;
        }
        v = v + power((v - level + 0.01f) / (1.0f - level), curve) * decayStep();
        if (v <= level) {
            v = level;
            env.stage = kEnvelopeSustain;
        }
        break;
    case kEnvelopeSustain:
        // Follows a changed sustain setting at the decay rate, landing exactly on it.
        if (v < level) {
            v = minOf(v + absValue(decayStep()), level);
        } else if (v > level) {
            v = maxOf(v - absValue(decayStep()), level);
        }
        break;
    case kEnvelopeRelease:
        v = v + power(v, curve) * (0.25f * logRate(k, release));
        if (v <= 0.00001f) {
            v = 0.0f;
            env.stage = kEnvelopeFinished;
        }
        break;
    default:
        break;
    }
    env.value = v;
    return v;
}

float stepLfo(Lfo& lfo, const SynthTables& tables, const float* params, uint32_t base, uint32_t count) {
    const float rate = params[base];
    const float depth = params[base + 1];
    const int32_t shape = roundToInt(4.0f * params[base + 2]);
    const float phase = lfo.phase;

    float shaped;
    switch (shape) {
    case 0:
        shaped = (sinRad(phase) + 1.0f) * 0.5f;
        break;
    case 1:
        shaped = floorMod(phase, kTwoPi) * kInvTwoPi;
        break;
    case 2:
        shaped = 1.0f - floorMod(phase, kTwoPi) * kInvTwoPi;
        break;
    case 3:
        shaped = phase < kPi ? 1.0f : 0.0f;
        break;
    case 4: {
        // Sample and hold, one value per 1/256 cycle. A phase of exactly 2pi
        // (or one rounding up to it) wraps to the first entry.
        const int32_t index = int32_t(floorInt(phase / kTwoPi * 256.0f));
        shaped = tables.stepValues[uint32_t(index) & (kStepValueCount - 1)];
        break;
    }
    default:
        shaped = 1.0f;
        break;
    }

    // Swings between 1 - depth^2 and 1, so depth 0 is a constant factor 1.
    const float depth2 = depth * depth;
    const float output = shaped * depth2 + (1.0f - depth2);

    // 50 * rate^2 radians per second: at most about 8 Hz.
    float next = phase + rate * rate / float(tables.sampleRate) * float(count) * 50.0f;
    if (next > kTwoPi) next -= kTwoPi;
    lfo.phase = next;
    lfo.value = output;
    return output;
}

float modProduct(const ModState& mod, int32_t destination) {
    float product = 1.0f;
    for (const ModSlot& slot : mod.slots) {
        if (slot.destination == destination) product *= slot.value;
    }
    return product;
}

bool updateModulation(const SynthTables& tables, const float* params, ModState& mod, uint32_t count) {
    // Each source is stepped at most once per block, by the first slot that uses it.
    bool lfo1Done = false, lfo2Done = false, env1Done = false, env2Done = false;
    bool running1 = false, running2 = false;

    for (uint32_t k = 0; k < kModSlotCount; ++k) {
        ModSlot& slot = mod.slots[k];
        const float* p = params + kMod0Source + kModSlotStride * k;
        // The slot is rewritten before its source steps, so an envelope
        // scaled by its own slot's destination sees a factor of 1 there.
        slot.source = roundToInt(14.0f * p[0]);
        slot.destination = roundToInt(39.0f * p[2]);
        slot.amount = slotAmount(p[1]);
        slot.value = 1.0f;

        float* sourceValue = nullptr;
        switch (slot.source) {
        case kSourceLfo1:
            if (!lfo1Done) mod.sourceValue[0] = stepLfo(mod.lfo1, tables, params, kLfo1Rate, count);
            lfo1Done = true;
            sourceValue = &mod.sourceValue[0];
            break;
        case kSourceLfo2:
            if (!lfo2Done) mod.sourceValue[1] = stepLfo(mod.lfo2, tables, params, kLfo2Rate, count);
            lfo2Done = true;
            sourceValue = &mod.sourceValue[1];
            break;
        case kSourceEnv1:
            if (!env1Done) {
                running1 = mod.env1.stage != kEnvelopeFinished;
                // Slots before k already hold this block's values, the rest last block's.
                const float m = modProduct(mod, kDestEnv1Decay);
                mod.sourceValue[2] = stepEnvelope(mod.env1, params, kEnv1Attack, m, tables.sampleRate, count);
            }
            env1Done = true;
            sourceValue = &mod.sourceValue[2];
            break;
        case kSourceEnv2:
            if (!env2Done) {
                running2 = mod.env2.stage != kEnvelopeFinished;
                const float m = modProduct(mod, kDestEnv2Decay);
                mod.sourceValue[3] = stepEnvelope(mod.env2, params, kEnv2Attack, m, tables.sampleRate, count);
            }
            env2Done = true;
            sourceValue = &mod.sourceValue[3];
            break;
        default:
            break;
        }
        if (sourceValue) slot.value = *sourceValue * slot.amount * mod.scale[k];
    }

    // Scales aimed at by this block's slots take effect in the next block.
    for (uint32_t i = 0; i < kModSlotCount; ++i) {
        mod.scale[i] = modProduct(mod, kDestSlotScale0 + int32_t(i));
    }
    return running1 || running2;
}
