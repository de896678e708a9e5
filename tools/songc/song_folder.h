// A song's source folder (instruments.txt and score.txt) read and parsed in
// one step, for songc and for the tools that measure the source.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/songc/section_marks.h"
#include "tools/songc/song_source.h"

// Every note-on of the piece is struck alike, at this velocity: songc, the
// report and the player all store it.
constexpr uint8_t kPieceVelocity = 80;

// False with a message in `error`: a file that cannot be read, or the first
// fault of the text or of its section marks ("file:line: what").
bool readSongFolder(const std::string& folder, SongText& text, std::vector<SectionMark>& marks, std::string& error);
// readSongFolder, then the song's bytes with every note-on at `velocity`; the
// facts of the intro's piece are not checked (pieceFaults does that).
bool compileSongFolder(const std::string& folder, uint8_t velocity, std::vector<uint8_t>& bytes, std::string& error);
