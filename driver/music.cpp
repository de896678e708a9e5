// Synth start-up in the program's order.
#include "driver/music.h"

#include "effects/effect_registry.h"
#include "synth/synth.h"
#include "voice/instrument.h"

bool prepareSynth(Synth& synth, const uint8_t* song, uint32_t size) {
    init(synth);
    setSampleRate(synth, kSampleRate);
    const bool loaded = loadSong(synth, song, size, 0.0f);
    synth.masterVolume = kMasterVolume;
    return loaded && effectUnitsMade(synth);
}

bool effectUnitsMade(const Synth& synth) {
    const uint32_t count = synth.instrumentCount.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < count; ++i) {
        const Instrument* instrument = synth.instruments[i].load(std::memory_order_relaxed);
        if (instrument == nullptr) return false;
        for (uint32_t s = 0; s < kEffectSlotCount; ++s) {
            // A slot whose type the registry knows but that holds no unit:
            // its create found no memory.
            const bool known = effectCreateFor(effectSlotType(instrument->params, s)) != nullptr;
            if (known && instrument->effectUnits[s] == nullptr) return false;
        }
    }
    return true;
}
