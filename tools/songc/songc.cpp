// songc: the song compiler. Reads the song's text source (instruments.txt
// and score.txt in one folder) and writes the song bytes that the intro
// embeds, after checking them against the facts of the intro's piece.
//
//   songc SOURCE_DIR -o song.bin [--free]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/songc/piece_facts.h"
#include "tools/songc/song_folder.h"

namespace {

constexpr uint8_t kVelocity = 80;  // every note of the piece is struck alike

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: songc SOURCE_DIR -o song.bin [--free]\n"
                 "  SOURCE_DIR  folder with instruments.txt and score.txt\n"
                 "  -o FILE     song bytes to write\n"
                 "  --free      write any song, not only one that keeps the facts of the intro's piece\n");
}

// Writes the whole file or nothing: a short write or failed close removes it.
bool writeBytes(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::remove(path);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* source = nullptr;
    const char* output = nullptr;
    bool free = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (std::strcmp(argv[i], "--free") == 0) {
            free = true;
        } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            usage(stdout);
            return 0;
        } else if (argv[i][0] != '-' && source == nullptr) {
            source = argv[i];
        } else {
            std::fprintf(stderr, "songc: unexpected argument '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    if (source == nullptr || output == nullptr) {
        usage(stderr);
        return 2;
    }

    SongText text;
    std::vector<SectionMark> marks;
    std::string error;
    if (!readSongFolder(source, text, marks, error)) {
        std::fprintf(stderr, "songc: %s\n", error.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes = encodeSong(songSource(text, kVelocity));
    const SongFigures figures = measureSong(bytes);
    std::fputs(describe(figures).c_str(), stdout);
    if (!free) {
        std::vector<std::string> faults = pieceFaults(bytes, figures);
        for (const std::string& fault : marksOffScenes(marks, text.tempo, std::string(source) + "/score.txt"))
            faults.push_back(fault);
        for (const std::string& fault : faults) std::fprintf(stderr, "songc: %s\n", fault.c_str());
        if (!faults.empty()) {
            std::fprintf(stderr, "songc: not the intro's piece; nothing written (--free writes it anyway)\n");
            return 1;
        }
    }
    if (bytes.empty() || !writeBytes(output, bytes)) {
        std::fprintf(stderr, "songc: cannot write %s\n", output);
        return 1;
    }
    return 0;
}
