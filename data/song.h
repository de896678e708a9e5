// The song the intro plays. PROVISIONAL: kProvisionalSong is a stand-in
// written by data/generate_song.cpp until the real piece is composed; it has
// the same format and exercises the whole engine.
#pragma once
#include <cstdint>

extern const uint8_t kProvisionalSong[];
extern const uint32_t kProvisionalSongSize;
