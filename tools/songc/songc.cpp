// songc: the song compiler. Reads the song's text source (instruments.txt
// and score.txt in one folder) and writes the song bytes that the intro
// embeds, after checking them against the facts of the intro's piece.
//
//   songc SOURCE_DIR -o song.bin [--free]
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/common/output_file.h"
#include "tools/common/tool_exit.h"
#include "tools/songc/piece_facts.h"
#include "tools/songc/song_folder.h"

namespace {


void usage(FILE* to) {
    std::fprintf(to,
                 "usage: songc SOURCE_DIR -o song.bin [--free]\n"
                 "  SOURCE_DIR  folder with instruments.txt and score.txt\n"
                 "  -o FILE     song bytes to write\n"
                 "  --free      write any song, not only one that keeps the facts of the intro's piece\n");
}

int compile(int argc, char** argv) {
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

    const std::string instrumentsFile = std::string(source) + "/instruments.txt";
    const std::string scoreFile = std::string(source) + "/score.txt";
    if (!refuseSameFiles("songc", {instrumentsFile.c_str(), scoreFile.c_str()}, {output})) return 2;
    SongText text;
    std::vector<SectionMark> marks;
    std::string error;
    if (!readSongFolder(source, text, marks, error)) {
        std::fprintf(stderr, "songc: %s\n", error.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes = encodeSong(songSource(text, kPieceVelocity));
    const SongFigures figures = measureSong(bytes);
    std::fputs(describe(figures).c_str(), stdout);
    // Even a free song must be one the program can load.
    if (!figures.decoded) {
        std::fprintf(stderr, "songc: the song does not load (more than %u instruments?); nothing written\n",
                     unsigned(kMaxInstruments));
        return 1;
    }
    if (!free) {
        std::vector<std::string> faults = pieceFaults(bytes, figures);
        for (const std::string& fault : marksOffScenes(marks, text.tempo, scoreFile))
            faults.push_back(fault);
        for (const std::string& fault : faults) std::fprintf(stderr, "songc: %s\n", fault.c_str());
        if (!faults.empty()) {
            std::fprintf(stderr, "songc: not the intro's piece; nothing written (--free writes it anyway)\n");
            return 1;
        }
    }
    return writeWholeFile("songc", output, bytes.data(), bytes.size()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    installStopHandlers();
    // The parser bounds what a source can ask for, but a machine short of
    // memory still ends the run with a message, not an abort.
    try {
        return compile(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "songc: out of memory; nothing written\n");
        return 1;
    }
}
