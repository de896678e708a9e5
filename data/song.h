// The song the intro plays: the bytes of data/song.bin, which tools/songc
// compiles from the text source in data/song/ (instruments.txt, score.txt).
#pragma once
#include <cstdint>

extern const uint8_t kSong[];
extern const uint32_t kSongSize;
