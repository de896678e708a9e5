// Reading both files of a song's source and parsing them.
#include "tools/songc/song_folder.h"

#include "tools/common/text_file.h"

bool readSongFolder(const std::string& folder, SongText& text, std::vector<SectionMark>& marks, std::string& error) {
    const std::string instrumentsFile = folder + "/instruments.txt";
    const std::string scoreFile = folder + "/score.txt";
    std::string instruments, score, reason;
    if (!readTextFile(instrumentsFile, instruments, reason)) {
        error = "cannot read " + instrumentsFile + ": " + reason;
        return false;
    }
    if (!readTextFile(scoreFile, score, reason)) {
        error = "cannot read " + scoreFile + ": " + reason;
        return false;
    }
    return parseSongText(instruments, instrumentsFile, score, scoreFile, text, error) &&
           readSectionMarks(score, scoreFile, marks, error);
}

bool compileSongFolder(const std::string& folder, uint8_t velocity, std::vector<uint8_t>& bytes, std::string& error) {
    SongText text;
    std::vector<SectionMark> marks;
    if (!readSongFolder(folder, text, marks, error)) return false;
    bytes = encodeSong(songSource(text, velocity));
    return true;
}
