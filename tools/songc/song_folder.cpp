// Reading both files of a song's source and parsing them.
#include "tools/songc/song_folder.h"

#include <fstream>
#include <sstream>

namespace {

bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return !in.bad();
}

}  // namespace

bool readSongFolder(const std::string& folder, SongText& text, std::vector<SectionMark>& marks, std::string& error) {
    const std::string instrumentsFile = folder + "/instruments.txt";
    const std::string scoreFile = folder + "/score.txt";
    std::string instruments, score;
    if (!readText(instrumentsFile, instruments) || !readText(scoreFile, score)) {
        error = "cannot read " + instrumentsFile + " and " + scoreFile;
        return false;
    }
    return parseSongText(instruments, instrumentsFile, score, scoreFile, text, error) &&
           readSectionMarks(score, scoreFile, marks, error);
}
