// The create, destroy and process tables: entry t belongs to effect type t.
#include "effects/effect_tables.h"

#include "effects/chorus.h"
#include "effects/flanger.h"
#include "effects/formant_filter.h"
#include "effects/reverb.h"
#include "effects/stereo_delay.h"
#include "effects/three_band_eq.h"
#include "effects/waveshaper.h"

const EffectCreateFn kEffectCreate[kEffectTableSize] = {
    nullptr,          createWaveshaper,    createStereoDelay,  createChorus,
    createFlanger,    createReverb,        createFormantFilter, createThreeBandEq,
    nullptr,          nullptr,             nullptr,
};

const EffectDestroyFn kEffectDestroy[kEffectTableSize] = {
    nullptr,           destroyEffectUnit, destroyEffectUnit, destroyEffectUnit,
    destroyEffectUnit, destroyEffectUnit, destroyEffectUnit, destroyEffectUnit,
    nullptr,           nullptr,           nullptr,
};

const EffectProcessFn kEffectProcess[kEffectTableSize] = {
    nullptr,        processWaveshaper,   processStereoDelay,   processChorus,
    processFlanger, processReverb,       processFormantFilter, processThreeBandEq,
    nullptr,        nullptr,             nullptr,
};

static bool hasEntry(int type) {
    return type >= 0 && type < kEffectTableSize;
}

EffectCreateFn effectCreateFor(int type) {
    return hasEntry(type) ? kEffectCreate[type] : nullptr;
}

EffectDestroyFn effectDestroyFor(int type) {
    return hasEntry(type) ? kEffectDestroy[type] : nullptr;
}

EffectProcessFn effectProcessFor(int type) {
    return hasEntry(type) ? kEffectProcess[type] : nullptr;
}
