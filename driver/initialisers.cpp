// The initialiser table. It holds one entry: the preparation of the audio
// output's global state.
#include "driver/initialisers.h"

#include "audio/audio_output.h"

const Initialiser kInitialisers[] = {
    prepareAudioOutput,  // the audio output's global state (its source lists and exit callback)
};

const Initialiser* const kInitialisersEnd = kInitialisers + sizeof(kInitialisers) / sizeof(kInitialisers[0]);
