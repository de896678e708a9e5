// Synth start-up in the program's order.
#include "driver/music.h"

#include "synth/synth.h"

bool prepareSynth(Synth& synth, const uint8_t* song, uint32_t size) {
    init(synth);
    setSampleRate(synth, kSampleRate);
    const bool loaded = loadSong(synth, song, size, 0.0f);
    synth.masterVolume = kMasterVolume;
    return loaded;
}
