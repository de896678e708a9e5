// The initialiser table. It holds one entry: the preparation of the audio
// output's global state, which the audio stage puts in the slot below.
#include "driver/initialisers.h"

const Initialiser kInitialisers[] = {
    nullptr,  // audio output's global state (its source list and exit callback)
};

const Initialiser* const kInitialisersEnd = kInitialisers + sizeof(kInitialisers) / sizeof(kInitialisers[0]);
