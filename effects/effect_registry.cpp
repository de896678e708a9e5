// The registry's rows: entry t belongs to effect type t.
#include "effects/effect_registry.h"

#include <iterator>

#include "effects/chorus.h"
#include "effects/flanger.h"
#include "effects/formant_filter.h"
#include "effects/reverb.h"
#include "effects/stereo_delay.h"
#include "effects/three_band_eq.h"
#include "effects/waveshaper.h"

// Declared extern in the header, so this constexpr definition has external
// linkage and can still be checked at compile time below.
constexpr EffectType kEffectTypes[] = {
    {"empty", nullptr, nullptr, nullptr, nullptr, 0, {}},
    {"waveshaper", createWaveshaper, destroyEffectUnit, processWaveshaper, prepareWaveshaper, 1, {kShaperAmount}},
    {"stereo_delay", createStereoDelay, destroyEffectUnit, processStereoDelay, nullptr, 3,
     {kDelayLeftTime, kDelayRightTime, kDelayFeedback}},
    {"chorus", createChorus, destroyEffectUnit, processChorus, nullptr, 3, {kChorusRate, kChorusDepth, kChorusLevel}},
    {"flanger", createFlanger, destroyEffectUnit, processFlanger, nullptr, 4,
     {kFlangerSpeed, kFlangerTop, kFlangerDepth, kFlangerFeedback}},
    {"reverb", createReverb, destroyEffectUnit, processReverb, nullptr, 4, {kReverbRoom, kReverbDamp, kReverbWet, kReverbWidth}},
    {"formant_filter", createFormantFilter, destroyEffectUnit, processFormantFilter, nullptr, 2, {kFormantVowel, kFormantBlend}},
    {"three_band_eq", createThreeBandEq, destroyEffectUnit, processThreeBandEq, nullptr, 3, {kEqLow, kEqMid, kEqHigh}},
};

namespace {

constexpr int kRowCount = int(std::size(kEffectTypes));
// A slot's type parameter reaches types 0..10 with song bytes up to 105.
static_assert(kRowCount - 1 <= 10, "more effect types than a slot parameter can name");

// Function addresses are no constants in sanitizer builds, so only the
// parameter lists are checked here; the registry test checks the functions.
constexpr bool rowsNameTheirParameters() {
    for (int t = 1; t < kRowCount; ++t) {
        const EffectType& row = kEffectTypes[t];
        if (row.paramCount == 0 || row.paramCount > kMaxEffectParams) return false;
    }
    return true;
}
static_assert(rowsNameTheirParameters(), "every effect type names the parameters it reads");

}  // namespace

const int kEffectTypeCount = kRowCount - 1;

const EffectType* effectType(int type) {
    return type >= 1 && type < kRowCount ? &kEffectTypes[type] : nullptr;
}

EffectCreateFn effectCreateFor(int type) {
    const EffectType* row = effectType(type);
    return row ? row->create : nullptr;
}

EffectDestroyFn effectDestroyFor(int type) {
    const EffectType* row = effectType(type);
    return row ? row->destroy : nullptr;
}

EffectProcessFn effectProcessFor(int type) {
    const EffectType* row = effectType(type);
    return row ? row->process : nullptr;
}

EffectPrepareFn effectPrepareFor(int type) {
    const EffectType* row = effectType(type);
    return row ? row->prepare : nullptr;
}
