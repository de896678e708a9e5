// Flanger: the triangle, the two sweep phases and the per-frame history read.
#include "effects/flanger.h"

#include "runtime/math.h"
#include "runtime/params.h"

namespace {

// 120 / 76.39437 is pi/2, the constant pair the phase advance is written with.
constexpr float kPhaseNumerator = 120.0f;
constexpr float kPhaseDenominator = 76.39437f;

// Frames back from `position`, wrapped into the history. Delays are held
// below the history length (and a NaN delay counts as 0) so that no depth,
// rate or sample rate can read outside it.
uint32_t historyIndex(uint32_t position, float delay) {
    uint32_t frames = 0;
    if (delay > 0.0f) frames = uint32_t(minOf(delay, float(kFlangerHistory - 1)));
    return position >= frames ? position - frames : position + kFlangerHistory - frames;
}

// y = clamp(x - f h, -1, 1); zero or denormal results become exactly 0
// because they go back into the history.
float feedbackSample(float x, float f, float h) {
    return flushTiny(clamp(-1.0f, x - f * h, 1.0f));
}

}  // namespace

EffectUnit* createFlanger() {
    return allocateUnit<Flanger>();
}

void processFlanger(EffectUnit* unit, uint32_t sampleRate, const float* params, float* busL,
                    float* busR, uint32_t count) {
    auto* flanger = static_cast<Flanger*>(unit);
    const float rate = float(sampleRate);
    const float base = rate * 0.0001f;  // 0.1 ms in frames
    const float top = rate * 0.0121f;   // 12.1 ms in frames
    const float depth = (top - base) * 0.5f * params[kFlangerDepth];
    const float step = (float(count) * 0.1f) * params[kFlangerSpeed];
    const float peak = params[kFlangerTop];
    const float feedback = params[kFlangerFeedback];
    const float phaseScale = rate * kPhaseDenominator;
    const float sweepScale = float(240u * sampleRate);

    uint32_t position = flanger->position;
    uint32_t direction = flanger->direction;
    uint32_t n = flanger->frameCounter;
    float phase1 = flanger->phase1, phase2 = flanger->phase2;
    float lfo = flanger->lfo, lastG = flanger->lastG;
    // Stretches of the block: the sweep angles of every frame first (they
    // do not depend on the signal), their cosines all at once, then the
    // frames with their delays.
    constexpr uint32_t kStretch = 128;
    for (uint32_t start = 0; start < count; start += kStretch) {
        const uint32_t frames = count - start < kStretch ? count - start : kStretch;
        float angle[2 * kStretch], cosine[2 * kStretch];
        for (uint32_t j = 0; j < frames; ++j) {
            if (direction == 0) {
                lfo += step;
                if (lfo > peak) {
                    lfo = 1.0f;
                    direction = 1;
                }
            } else {
                lfo -= step;
                if (lfo < 0.0f) {
                    lfo = 0.01f;
                    direction = 0;
                }
            }
            const float g = lfo == 0.0f ? 1.0f : lfo;
            if (g != lastG) {
                // The second phase advances by (1 - g) but sweeps below by g: the
                // two channels move at different speeds, part of this sound.
                const float elapsed = float(n);
                phase1 += g * elapsed * kPhaseNumerator / phaseScale;
                phase2 += elapsed * (1.0f - g) * kPhaseNumerator / phaseScale;
                n = 0;
                lastG = g;
            }
            const float sweep = g * float(n) * kPi / sweepScale;
            angle[2 * j] = phase1 + sweep;
            angle[2 * j + 1] = phase2 + sweep;
            ++n;
        }
        cosRadBlock(angle, cosine, 2 * frames);
        for (uint32_t j = 0; j < frames; ++j) {
            const uint32_t i = start + j;
            const float d1 = float(base + (1.0L - cosine[2 * j]) * depth);
            const float d2 = float(base + (1.0L - cosine[2 * j + 1]) * depth);
            const uint32_t indexL = historyIndex(position, d1);
            const uint32_t indexR = historyIndex(position, d2);
            const float yL = feedbackSample(busL[i], feedback, flanger->leftHistory[indexL]);
            const float yR = feedbackSample(busR[i], feedback, flanger->rightHistory[indexR]);
            busL[i] = yL;
            busR[i] = yR;
            flanger->leftHistory[position] = yL;
            flanger->rightHistory[position] = yR;
            if (++position >= kFlangerHistory) position = 0;
        }
    }
    flanger->position = position;
    flanger->direction = direction;
    flanger->frameCounter = n;
    flanger->phase1 = phase1;
    flanger->phase2 = phase2;
    flanger->lfo = lfo;
    flanger->lastG = lastG;
}
