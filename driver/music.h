// The show's music set-up, shared by the intro and the tools that render the
// song offline, so that both hear the same Synth from the same start.
#pragma once
#include <cstdint>

struct Synth;

constexpr uint32_t kSampleRate = 44100;  // frames per second, everywhere
constexpr float kMasterVolume = 0.4f;    // master stage gain 800
// The show's length in seconds: the frame loop ends with the first frame whose
// clock reaches it, and songrender renders this much by default.
constexpr float kShowEnd = 115.0f;

// init, setSampleRate(44100), loadSong(song, size, 0.0), master volume 0.4:
// the Synth ready to `start`. False when the song data does not load (the
// Synth is then left empty or with its previous song) or memory ran short for
// an effect unit (that slot then stays silent until a later create succeeds).
bool prepareSynth(Synth& synth, const uint8_t* song, uint32_t size);
// Whether every effect slot of the loaded instruments whose type names a
// known effect holds its unit.
bool effectUnitsMade(const Synth& synth);
